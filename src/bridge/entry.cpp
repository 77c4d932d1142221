#include "bridge/entry.h"

#include "bridge/merge_request.h"
#include "bridge/merge_run.h"
#include "common/text.h"
#include "host/app.h"
#include "host/failure_record.h"
#include "host/notify.h"

namespace mergebridge {

namespace {

// Kept in the program's file for mergebridge-setup --version (BridgeVersion).
[[gnu::used]] const char kVersionMark[] = "mergebridge version " MB_VERSION "\n";

// A refused command line is reported like ClearCase's own errors: to stdout when
// ClearCase only wants a status, otherwise in a message box.
void ReportCommandLineError(const MergeRequest& request, const std::string& text) {
  if (request.statusOnly) {
    WriteConsoleLine(ConsoleStream::Out, text);
  } else {
    ShowMessage(text, kStyleOk);
  }
}

}  // namespace

Status CommandLineFault(const MergeRequest& request) {
  if (request.badOption) {
    return FailureStatus(
        Format("Command Line error.\nOption '%s' is not recognised\n(command line = '%s')",
               request.badOptions.c_str(), request.echoLine.c_str()));
  }
  if (request.badValue) {
    return FailureStatus(
        Format("Command Line error.\nValue '%s' contains a double quote and cannot "
               "be passed on safely\n(command line = '%s')",
               request.badValues.c_str(), request.echoLine.c_str()));
  }
  return {};
}

int RunEntry(int argc, const char* const* argv) {
  int status = 1;
  if (!StartFramework()) {
    WriteConsoleLine(ConsoleStream::Err, "Fatal Error: MFC initialization failed");
  } else {
    const MergeRequest request = TranslateArguments(argc, argv);
    if (traceEnabled) {
      ShowMessage(Format("command line = '%s'", request.echoLine.c_str()), kStyleOk);
    }
    Result<int> run = {1, CommandLineFault(request)};
    if (run.ok()) {
      run = RunMerge(request);
    } else {
      ReportCommandLineError(request, run.status.message);
    }
    status = run.value;
    // Only a failed run writes its record: one that works opens nothing.
    if (!run.ok()) RecordFailure(status, run.status.message, NamedFiles(argc, argv));
  }
  if (traceEnabled) {
    ShowMessage(Format("return code = '%ld'", static_cast<long>(status)), kStyleOk);
  }
  return status;
}

}  // namespace mergebridge
