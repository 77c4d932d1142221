#include "setup/setup_run.h"

#include "host/notify.h"
#include "setup/json_text.h"
#include "setup/setup_install.h"
#include "setup/setup_register.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"
#include "setup/setup_status.h"

namespace {

int RunCommand(const SetupOptions& options) {
  switch (options.command) {
    case SetupCommand::Help:
      PrintLine(SetupUsage());
      return 0;
    case SetupCommand::Status:
      return Status(options);
    case SetupCommand::Install:
      return Install(options);
    case SetupCommand::Uninstall:
      if (!options.remembered) return Uninstall(options);
      return UninstallRemembered(options, BridgePath(options), Uninstall);
    case SetupCommand::Register:
      return Register(options);
    case SetupCommand::Unregister:
      return Unregister(options);
  }
  return 1;
}

}  // namespace

int RunSetup(const std::vector<std::string>& args) {
  SetupOptions options;
  const std::string fault = ParseSetupOptions(args, options);
  if (!fault.empty()) {
    PrintError(fault + ".");
    WriteConsoleLine(ConsoleStream::Err, SetupUsage());
    return 1;
  }
  // status prints its own object; the others' is what they said and did.
  RunReport().json = options.json;
  const int status = RunCommand(options);
  if (options.json && options.command != SetupCommand::Status) {
    WriteUtf8Line(ConsoleStream::Out, JsonObject({{"ok", JsonBool(status == 0)},
                                                  {"changed", JsonBool(RunReport().changed)},
                                                  {"messages", JsonStrings(RunReport().lines)},
                                                  {"errors", JsonStrings(RunReport().errors)}}));
  }
  return status;
}
