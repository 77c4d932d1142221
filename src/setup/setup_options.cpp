#include "setup/setup_options.h"

#include <algorithm>
#include <iterator>

#include "common/text.h"

namespace mergebridge {

namespace {

// The commands an option goes with, as bits.
enum : unsigned {
  kStatus = 1u << static_cast<unsigned>(SetupCommand::Status),
  kInstall = 1u << static_cast<unsigned>(SetupCommand::Install),
  kUninstall = 1u << static_cast<unsigned>(SetupCommand::Uninstall),
  kRegister = 1u << static_cast<unsigned>(SetupCommand::Register),
  kUnregister = 1u << static_cast<unsigned>(SetupCommand::Unregister),
  kVersion = 1u << static_cast<unsigned>(SetupCommand::Version),
  kTry = 1u << static_cast<unsigned>(SetupCommand::Try),
};

// Reads --managers' list; fails with what is wrong with it.
Status ReadManagers(SetupOptions& options, const std::string& list) {
  options.managers.clear();
  for (size_t start = 0; start <= list.size();) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string manager = list.substr(start, comma - start);
    // A name is one map column or one folder name.
    if (manager.empty() || manager == "." || manager == ".." ||
        manager.find_first_of(" \t/\\") != std::string::npos) {
      return FailureStatus("'" + manager + "' is not a type manager's name");
    }
    options.managers.push_back(manager);
    start = comma + 1;
  }
  return {};
}

enum class Takes { Nothing, Value, MaybeEmpty };  // MaybeEmpty: a value, "" too

struct OptionRule {
  const char* name;
  Takes takes;
  unsigned commands;
  Status (*apply)(SetupOptions&, const std::string&);
};

// An installer's name for its record: a file name's part in any file system.
Status ReadRecordName(SetupOptions& options, const std::string& name) {
  for (const char c : name) {
    if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9') && c != '-')
      return FailureStatus("'" + name + "' is not an installer's name (a-z, 0-9, -)");
  }
  options.record = name;
  return {};
}

const OptionRule kOptions[] = {
    {"--managers", Takes::Value, kInstall, ReadManagers},
    {"--bridge", Takes::Value, kStatus | kInstall | kUninstall | kVersion,
     [](SetupOptions& o, const std::string& v) { return o.bridge = v, Status(); }},
    {"--clearcase", Takes::Value, kStatus | kInstall | kUninstall | kTry,
     [](SetupOptions& o, const std::string& v) { return o.clearcase = v, Status(); }},
    {"--dry-run", Takes::Nothing, kInstall | kUninstall,
     [](SetupOptions& o, const std::string&) { return o.dryRun = true, Status(); }},
    {"--force", Takes::Nothing, kRegister,
     [](SetupOptions& o, const std::string&) { return o.force = true, Status(); }},
    {"--all-users", Takes::Nothing, kStatus | kRegister | kUnregister,
     [](SetupOptions& o, const std::string&) { return o.allUsers = true, Status(); }},
    {"--policy", Takes::Nothing, kRegister | kUnregister,
     [](SetupOptions& o, const std::string&) { return o.policy = true, Status(); }},
    {"--remembered", Takes::Nothing, kUninstall,
     [](SetupOptions& o, const std::string&) { return o.remembered = true, Status(); }},
    {"--json", Takes::Nothing, kStatus | kInstall | kUninstall | kRegister | kUnregister | kTry,
     [](SetupOptions& o, const std::string&) { return o.json = true, Status(); }},
    {"--if-value", Takes::MaybeEmpty, kRegister | kUnregister,
     [](SetupOptions& o, const std::string& v) { return o.ifValue = v, Status(); }},
    {"--record", Takes::Value, kRegister, ReadRecordName},
    {"--if-recorded", Takes::Value, kUnregister, ReadRecordName},
};

const struct {
  const char* word;
  SetupCommand command;
} kCommands[] = {{"status", SetupCommand::Status},
                 {"install", SetupCommand::Install},
                 {"uninstall", SetupCommand::Uninstall},
                 {"register", SetupCommand::Register},
                 {"unregister", SetupCommand::Unregister},
                 {"help", SetupCommand::Help},
                 {"try", SetupCommand::Try},
                 {"version", SetupCommand::Version},
                 {"--version", SetupCommand::Version},
                 {"--help", SetupCommand::Help},
                 {"-h", SetupCommand::Help}};

// Reads the option at args[i] (and its value), moving `i` past what it took.
Status ReadOption(const std::vector<std::string>& args, size_t& i, SetupOptions& options) {
  std::string name = args[i], value;
  const size_t equals = name.find('=');
  const bool inlineValue = equals != std::string::npos;
  if (inlineValue) {
    value = name.substr(equals + 1);
    name.resize(equals);
  }
  const OptionRule* rule = nullptr;
  for (const OptionRule& candidate : kOptions) {
    if (name == candidate.name) rule = &candidate;
  }
  if (rule == nullptr) return FailureStatus("unknown option '" + name + "'");
  if ((rule->commands & (1u << static_cast<unsigned>(options.command))) == 0)
    return FailureStatus("option '" + name + "' does not go with " + args[0]);
  if (rule->takes == Takes::Nothing) {
    if (inlineValue) return FailureStatus("option '" + name + "' takes no value");
  } else if (!inlineValue) {
    if (i + 1 >= args.size()) return FailureStatus("option '" + name + "' needs a value");
    value = args[++i];
  }
  if (rule->takes == Takes::Value && value.empty())
    return FailureStatus("option '" + name + "' needs a value");
  return rule->apply(options, value);
}

// What the options say together, once all are read.
Status CheckTogether(const SetupOptions& options, bool havePath) {
  if (options.command == SetupCommand::Register && !havePath)
    return FailureStatus("register needs Velmora's path");
  if (options.command == SetupCommand::Uninstall && !options.remembered &&
      !options.bridge.empty()) {
    return FailureStatus("option '--bridge' does not go with uninstall without --remembered");
  }
  if (options.remembered && !options.clearcase.empty())
    return FailureStatus("--remembered and --clearcase do not go together");
  if (options.allUsers && options.policy) {
    return FailureStatus("--all-users and --policy do not go together");
  }
  if (!options.record.empty() && !options.allUsers) {
    return FailureStatus(
        std::string(options.command == SetupCommand::Register ? "--record" : "--if-recorded") +
        " goes with --all-users");
  }
  if (!options.record.empty() && options.ifValue)
    return FailureStatus("--if-value does not go with an installer's record");
  return {};
}

}  // namespace

const std::vector<std::string>& DefaultManagers() {
  static const std::vector<std::string> managers = {"text_file_delta", "z_text_file_delta",
                                                    "whole_copy", "z_whole_copy"};
  return managers;
}

const std::vector<std::string>& BridgedMethods() {
  static const std::vector<std::string> methods = {"xcompare", "xmerge"};
  return methods;
}

const std::vector<SetupExitRow>& SetupExitTable() {
  static const std::vector<SetupExitRow> rows = {
      {kExitDone, "done; status: a merge would start Velmora"},
      {kExitFailed, "failed, or status: a merge would not start Velmora"},
      {kExitRefused, "the command line was refused; nothing was done"},
      {kExitLockBusy, "another mergebridge-setup was changing this ClearCase; run again"},
  };
  return rows;
}

namespace {

std::string ExitStatusLines() {
  std::string text = "\nexit status:";
  for (const SetupExitRow& row : SetupExitTable())
    text += Format("\n  %d  %s", row.status, row.meaning);
  return text;
}

}  // namespace

bool AsksForJson(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--json") != args.end();
}

std::string SetupUsage() {
  std::string list;
  for (const std::string& manager : DefaultManagers()) list += (list.empty() ? "" : ",") + manager;
  return "usage: mergebridge-setup status [--clearcase DIR] [--bridge PATH] [--all-users] "
         "[--json]\n"
         "       mergebridge-setup install [--managers LIST] [--bridge PATH] [--clearcase DIR]"
         " [--dry-run] [--json]\n"
         "       mergebridge-setup uninstall [--clearcase DIR | --remembered [--bridge PATH]]"
         " [--dry-run] [--json]\n"
         "       mergebridge-setup register [--all-users | --policy] VELMORA_PATH [--force]"
         " [--if-value OLD] [--json]\n"
         "       mergebridge-setup register --all-users VELMORA_PATH --record INSTALLER [--force]"
         " [--json]\n"
         "       mergebridge-setup unregister [--all-users | --policy] [--if-value OLD] [--json]\n"
         "       mergebridge-setup unregister --all-users --if-recorded INSTALLER [--json]\n"
         "       mergebridge-setup try [--clearcase DIR] [--json]\n"
         "       mergebridge-setup --version [--bridge PATH]\n"
         "       mergebridge-setup --help\n"
         "LIST is comma-separated; the default is " +
         list + "." + ExitStatusLines();
}

namespace {

// Reads `args` into `options`, which starts as the defaults.
Status ReadArguments(const std::vector<std::string>& args, SetupOptions& options) {
  options.managers = DefaultManagers();
  if (args.empty()) return FailureStatus("no command given");
  auto command = std::begin(kCommands);
  while (command != std::end(kCommands) && args[0] != command->word) ++command;
  if (command == std::end(kCommands)) return FailureStatus("unknown command '" + args[0] + "'");
  options.command = command->command;
  if (options.command == SetupCommand::Help) return {};
  bool havePath = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      if (Status read = ReadOption(args, i, options); !read.ok()) return read;
    } else if (options.command == SetupCommand::Register && !havePath) {
      options.velmora = args[i];
      havePath = true;
    } else {
      return FailureStatus("unexpected argument '" + args[i] + "'");
    }
  }
  return CheckTogether(options, havePath);
}

}  // namespace

Result<SetupOptions> ParseSetupOptions(const std::vector<std::string>& args) {
  Result<SetupOptions> parsed;
  parsed.status = ReadArguments(args, parsed.value);
  return parsed;
}

}  // namespace mergebridge
