#include "setup/setup_options.h"

std::vector<std::string> DefaultManagers() {
  return {"text_file_delta", "z_text_file_delta", "whole_copy", "z_whole_copy"};
}

std::string SetupUsage() {
  return "usage: mergebridge-setup status [--clearcase DIR] [--bridge PATH]\n"
         "       mergebridge-setup install [--managers LIST] [--bridge PATH] [--clearcase DIR]"
         " [--dry-run]\n"
         "       mergebridge-setup uninstall [--clearcase DIR | --remembered [--bridge PATH]]"
         " [--dry-run]\n"
         "       mergebridge-setup register [--all-users] VELMORA_PATH [--force]\n"
         "       mergebridge-setup unregister [--all-users]\n"
         "LIST is comma-separated; the default is " +
         std::string("text_file_delta,z_text_file_delta,whole_copy,z_whole_copy.");
}

std::string ParseSetupOptions(const std::vector<std::string>& args, SetupOptions& options) {
  options = SetupOptions();
  options.managers = DefaultManagers();
  if (args.empty()) return "no command given";
  const std::string& command = args[0];
  if (command == "status") {
    options.command = SetupCommand::Status;
  } else if (command == "install") {
    options.command = SetupCommand::Install;
  } else if (command == "uninstall") {
    options.command = SetupCommand::Uninstall;
  } else if (command == "register") {
    options.command = SetupCommand::Register;
  } else if (command == "unregister") {
    options.command = SetupCommand::Unregister;
  } else if (command == "help" || command == "--help" || command == "-h") {
    return std::string();
  } else {
    return "unknown command '" + command + "'";
  }
  bool havePath = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i], value;
    const bool isOption = arg.rfind("--", 0) == 0;
    const size_t equals = arg.find('=');
    const bool inlineValue = isOption && equals != std::string::npos;
    if (inlineValue) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    const bool takesValue = arg == "--managers" || arg == "--bridge" || arg == "--clearcase";
    const bool allowed = (arg == "--managers" && options.command == SetupCommand::Install) ||
                         (arg == "--bridge" && options.command != SetupCommand::Register &&
                          options.command != SetupCommand::Unregister) ||
                         (arg == "--clearcase" && options.command != SetupCommand::Register &&
                          options.command != SetupCommand::Unregister) ||
                         (arg == "--dry-run" && (options.command == SetupCommand::Install ||
                                                 options.command == SetupCommand::Uninstall)) ||
                         (arg == "--force" && options.command == SetupCommand::Register) ||
                         (arg == "--all-users" && (options.command == SetupCommand::Register ||
                                                   options.command == SetupCommand::Unregister)) ||
                         (arg == "--remembered" && options.command == SetupCommand::Uninstall);
    if (!isOption && options.command == SetupCommand::Register && !havePath) {
      options.velmora = arg;
      havePath = true;
      continue;
    }
    if (!isOption) return "unexpected argument '" + arg + "'";
    if (!allowed) return "option '" + arg + "' does not go with " + command;
    if (takesValue && !inlineValue) {
      if (i + 1 >= args.size()) return "option '" + arg + "' needs a value";
      value = args[++i];
    } else if (!takesValue && inlineValue) {
      return "option '" + arg + "' takes no value";
    }
    if (takesValue && value.empty()) return "option '" + arg + "' needs a value";
    if (arg == "--managers") {
      options.managers.clear();
      for (size_t start = 0; start <= value.size();) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        const std::string manager = value.substr(start, comma - start);
        // A name is one map column or one folder name.
        if (manager.empty() || manager == "." || manager == ".." ||
            manager.find_first_of(" \t/\\") != std::string::npos) {
          return "'" + manager + "' is not a type manager's name";
        }
        options.managers.push_back(manager);
        start = comma + 1;
      }
    } else if (arg == "--bridge") {
      options.bridge = value;
    } else if (arg == "--clearcase") {
      options.clearcase = value;
    } else if (arg == "--dry-run") {
      options.dryRun = true;
    } else if (arg == "--all-users") {
      options.allUsers = true;
    } else if (arg == "--remembered") {
      options.remembered = true;
    } else {
      options.force = true;
    }
  }
  if (options.command == SetupCommand::Register && !havePath)
    return "register needs Velmora's path";
  if (options.command == SetupCommand::Uninstall && !options.remembered &&
      !options.bridge.empty()) {
    return "option '--bridge' does not go with uninstall without --remembered";
  }
  if (options.remembered && !options.clearcase.empty()) {
    return "--remembered and --clearcase do not go together";
  }
  return std::string();
}
