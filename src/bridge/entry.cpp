#include "bridge/entry.h"

#include "bridge/merge_request.h"
#include "bridge/merge_run.h"
#include "common/text.h"
#include "host/app.h"
#include "host/notify.h"

namespace {

// A refused command line is reported like ClearCase's own errors: to stdout when
// ClearCase only wants a status, otherwise in a message box.
void ReportCommandLineError(const MergeRequest& request, const std::string& text) {
  if (request.statusOnly) {
    WriteConsoleLine(ConsoleStream::Out, text);
  } else {
    ShowMessage(text, kStyleOk);
  }
}

int TranslateAndReport(int argc, const char* const* argv, MergeRequest& request) {
  TranslateArguments(argc, argv, request);
  if (traceEnabled) {
    ShowMessage(Format("command line = '%s'", request.echoLine.c_str()), kStyleOk);
  }
  if (request.badOption) {
    ReportCommandLineError(
        request, Format("Command Line error.\nOption '%s' is not recognised\n(command line = '%s')",
                        request.badOptions.c_str(), request.echoLine.c_str()));
    return 1;
  }
  if (request.badValue) {
    ReportCommandLineError(
        request, Format("Command Line error.\nValue '%s' contains a double quote and cannot be "
                        "passed on safely\n(command line = '%s')",
                        request.badValues.c_str(), request.echoLine.c_str()));
    return 1;
  }
  return RunMerge(request);
}

}  // namespace

int RunEntry(int argc, const char* const* argv) {
  MergeRequest request;
  int status;
  if (!StartFramework()) {
    WriteConsoleLine(ConsoleStream::Err, "Fatal Error: MFC initialization failed");
    status = 1;
  } else {
    status = TranslateAndReport(argc, argv, request);
  }
  if (traceEnabled) {
    ShowMessage(Format("return code = '%ld'", static_cast<long>(status)), kStyleOk);
  }
  return status;
}
