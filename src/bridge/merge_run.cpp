#include "bridge/merge_run.h"

#include <cstdint>

#include "common/text.h"
#include "host/file_probe.h"
#include "host/launcher.h"
#include "host/notify.h"

namespace mergebridge {

namespace {

// The tool's result as the exit status takes it, after telling the user what
// kept the tool from running: a registry failure in a message box, a failed
// start as a line on stdout (ClearCase reads it there, also in status-only
// mode) with the error number as the result. No path at all is 1. The status
// words the failure for the record.
Result<long> ToolResult(const ToolRun& run) {
  if (!run.lookup.ok()) {
    ShowMessage(run.lookup.message, kStyleOk);
    return {1, FailureStatus(run.lookup.message)};
  }
  if (!run.start.ok()) {
    WriteConsoleLine(ConsoleStream::Out, run.start.message);
    return {run.start.error, FailureStatus(run.start.message)};
  }
  if (!run.ran) return {1, FailureStatus("the registration of Velmora is empty")};
  if (run.exitCode == 0) return {0, {}};
  return {run.exitCode, FailureStatus(Format("Velmora ended with status %ld", run.exitCode))};
}

}  // namespace

Result<int> RunMerge(const MergeRequest& request) {
  const std::string ofPhrase =
      request.targetName.empty() ? std::string() : Format(" of '%s'", request.targetName.c_str());

  if (request.abortSeen) {
    ShowMessage(Format("Automerge %s did not work\nVelmora will now be run so that you can "
                       "manually merge\n",
                       ofPhrase.c_str()),
                kStyleOk);
  }

  // The status is a signed 32-bit value whatever the width of long: a Windows
  // exit code with the top bit set stays negative and passes through unchanged.
  const Result<long> tool = ToolResult(LaunchCompareTool(request.toolArgs, request.statusOnly));
  int32_t status = static_cast<int32_t>(tool.value);
  if (status > 1) status = 1;

  if (request.outGiven && status == 0 && IsFileMissing(request.outputPath)) {
    const std::string warning = Format(
        "Manual merge %s either did not work or was cancelled\nClearCase may now "
        "say operation successful, but the merge arrow will not be drawn\nYou "
        "will need to undo the checkout",
        ofPhrase.c_str());
    ShowMessage(warning, kStyleError);
    return {status, FailureStatus(warning)};
  }
  return {status, tool.status};
}

}  // namespace mergebridge
