#include "setup/setup_run.h"

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

}  // namespace

int RunSetup(const std::vector<std::string>& args) {
  const Result<SetupOptions> parsed = ParseSetupOptions(args);
  if (!parsed.ok()) {
    PrintError(parsed.status.message + ".");
    WriteConsoleLine(ConsoleStream::Err, SetupUsage());
    return 1;
  }
  const SetupOptions& options = parsed.value;
  // status prints its own object; the others' is what they said and did.
  RunReport().json = options.json;
  const Status status = RunCommand(options);
  if (options.json && options.command != SetupCommand::Status) {
    WriteUtf8Line(ConsoleStream::Out, JsonObject({{"ok", JsonBool(status.ok())},
                                                  {"changed", JsonBool(RunReport().changed)},
                                                  {"messages", JsonStrings(RunReport().lines)},
                                                  {"errors", JsonStrings(RunReport().errors)}}));
  }
  // The exit status, decided here for every command: 0 when it did its work
  // (status: a merge would start Velmora), 1 otherwise.
  return status.ok() ? 0 : 1;
}

}  // namespace mergebridge
