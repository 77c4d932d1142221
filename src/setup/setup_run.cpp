#include "setup/setup_run.h"

#include "host/notify.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"

int RunSetup(const std::vector<std::string>& args) {
  SetupOptions options;
  const std::string fault = ParseSetupOptions(args, options);
  if (!fault.empty()) {
    Complain(fault + ".");
    WriteConsoleLine(ConsoleStream::Err, SetupUsage());
    return 1;
  }
  switch (options.command) {
    case SetupCommand::Help:
      Say(SetupUsage());
      return 0;
    case SetupCommand::Status:
      return Status(options);
    case SetupCommand::Install:
      return Install(options, true);
    case SetupCommand::Uninstall:
      if (!options.remembered) return Install(options, false);
      return UninstallRemembered(options, BridgePath(options),
                                 [](const SetupOptions& one) { return Install(one, false); });
    case SetupCommand::Register:
      return Register(options);
    case SetupCommand::Unregister:
      return Unregister(options);
  }
  return 1;
}
