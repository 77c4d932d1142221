#include "setup/setup_run.h"

#include <string>

#include "host/notify.h"
#include "setup/json_text.h"
#include "setup/setup_install.h"
#include "setup/setup_register.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"
#include "setup/setup_status.h"
#include "setup/setup_try.h"

namespace mergebridge {

namespace {

Status RunCommand(const SetupOptions& options) {
  switch (options.command) {
    case SetupCommand::Help:
      PrintLine(SetupUsage());
      return {};
    case SetupCommand::Status:
      return ShowStatus(options);
    case SetupCommand::Install:
      return Install(options);
    case SetupCommand::Uninstall:
      if (!options.remembered) return Uninstall(options);
      return UninstallRemembered(options, BridgePath(options), Uninstall);
    case SetupCommand::Register:
      return Register(options);
    case SetupCommand::Unregister:
      return Unregister(options);
    case SetupCommand::Try:
      return TryMerge(options);
    case SetupCommand::Version:
      return ShowVersion(options);
  }
  return FailureStatus("no such command");
}

// The exit status of a run that got to its command: 3 when the only failure
// was a busy lock (running again will do), else 0 or 1.
int ExitStatusOf(const Status& status) {
  if (status.ok()) return kExitDone;
  bool busy = false;
  for (const SetupError& error : RunReport().errors) {
    if (error.code == kErrorLockBusy) {
      busy = true;
    } else if (error.code != kErrorWarning) {
      return kExitFailed;
    }
  }
  return busy ? kExitLockBusy : kExitFailed;
}

void WriteReportJson(bool ok) {
  WriteUtf8Line(ConsoleStream::Out, JsonObject({{"format", std::to_string(kJsonFormat)},
                                                {"ok", JsonBool(ok)},
                                                {"changed", JsonBool(RunReport().changed)},
                                                {"messages", JsonStrings(RunReport().lines)},
                                                {"errors", ErrorsJson(RunReport().errors)}}));
}

}  // namespace

int RunSetup(const std::vector<std::string>& args) {
  const Result<SetupOptions> parsed = ParseSetupOptions(args);
  if (!parsed.ok()) {
    // A script that asked for JSON gets its object here too.
    RunReport().json = AsksForJson(args);
    PrintError(parsed.status.message + ".", kErrorCommandLine);
    WriteConsoleLine(ConsoleStream::Err, SetupUsage());
    if (RunReport().json) WriteReportJson(false);
    return kExitRefused;
  }
  const SetupOptions& options = parsed.value;
  // status prints its own object; the others' is what they said and did.
  RunReport().json = options.json;
  const Status status = RunCommand(options);
  if (options.json && options.command != SetupCommand::Status) WriteReportJson(status.ok());
  // The exit status, decided here for every command (status: 0 when a merge
  // would start Velmora).
  return ExitStatusOf(status);
}

}  // namespace mergebridge
