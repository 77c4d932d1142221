#include "setup/setup_run.h"

#include "common/text.h"
#include "host/files.h"
#include "host/notify.h"
#include "host/registry.h"
#include "host/setup_lock.h"
#include "setup/link_plan.h"
#include "setup/map_edit.h"
#include "setup/setup_options.h"
#include "setup/unified_diff.h"

namespace {

const char kToolKey[] = "SOFTWARE\\Harnvik\\Velmora";
const char kToolValue[] = "ExePath";
const char* const kMethods[] = {"xcompare", "xmerge"};
const char kMapRecord[] = "map.mergebridge";        // beside the map
const char kLinkRecord[] = ".mergebridge-setup";    // in a manager's folder
const long kLockWaitMillis = 2000;  // far longer than a run takes

void Say(const std::string& text) { WriteConsoleLine(ConsoleStream::Out, text); }
void Complain(const std::string& text) { WriteConsoleLine(ConsoleStream::Err, "mergebridge-setup: " + text); }

std::string Join(const std::string& folder, const std::string& name) {
  return folder + PathSeparator() + name;
}

// The system's text ends in a line break on Windows.
std::string ErrorText(long error) {
  std::string text = SystemErrorText(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
    text.pop_back();
  }
  return Format("%s (error %ld)", text.c_str(), error);
}

// How a failure's report ends. A change can be in place although the write
// failed: the rename went through and only the flush of its folder did not.
std::string Aftermath(bool landed) {
  return landed ? ". The change is in place but may not be on disk yet; run this again."
                : ". Nothing was changed.";
}

// True when the file at `path` holds `bytes`; for no bytes, when it is absent.
bool Holds(const std::string& path, const std::string& bytes) {
  std::string now, ignored;
  if (bytes.empty()) return GetPathKind(path, ignored) == PathKind::Missing;
  return ReadWholeFile(path, now) == 0 && now == bytes;
}

std::string WriteFailure(const std::string& path, long error, bool landed) {
  std::string text = "cannot write " + path + ": " + ErrorText(error);
  if (IsAccessDenied(error)) text += "; " + RightsHint();
  return text + Aftermath(landed);
}

// lib/mgrs of the ClearCase installation, or empty after saying why not.
std::string FindManagers(const SetupOptions& options, std::string& reason) {
  std::string home = options.clearcase;
  if (home.empty()) {
    const std::string cleartool = SearchProgramPath("cleartool");
    if (cleartool.empty()) {
      reason = "ClearCase not found: no cleartool on PATH (give --clearcase DIR)";
      return std::string();
    }
    home = FolderOf(FolderOf(cleartool));
  }
  const std::string managers = Join(Join(AbsolutePath(home), "lib"), "mgrs");
  std::string ignored;
  if (GetPathKind(managers, ignored) != PathKind::Folder) {
    reason = "ClearCase's type managers not found: no folder " + managers;
    return std::string();
  }
  return managers;
}

std::string BridgePath(const SetupOptions& options) {
  if (!options.bridge.empty()) return AbsolutePath(options.bridge);
  return Join(FolderOf(OwnProgramPath()), ManagersUseMap() ? "mergebridge.exe" : "mergebridge");
}

// What a method in a manager's folder runs, in words, for status and diffs.
std::string DescribeMethod(const MethodState& state) {
  switch (state.kind) {
    case MethodKind::Missing: return "(none)";
    case MethodKind::Link: return state.target;
    case MethodKind::File: return "(a program file)";
    case MethodKind::Other: return "(not a program)";
    case MethodKind::Unknown: return "(cannot be looked at)";
  }
  return std::string();
}

std::vector<MethodState> ReadMethods(const std::string& folder) {
  std::vector<MethodState> states;
  for (const char* method : kMethods) {
    MethodState state;
    state.method = method;
    std::string target;
    switch (GetPathKind(Join(folder, method), target)) {
      case PathKind::Missing: state.kind = MethodKind::Missing; break;
      case PathKind::Link: state.kind = MethodKind::Link; state.target = target; break;
      case PathKind::File: state.kind = MethodKind::File; break;
      case PathKind::Unreadable: state.kind = MethodKind::Unknown; break;
      default: state.kind = MethodKind::Other; break;
    }
    std::string ignored, bytes, backupBytes;
    const PathKind backup = GetPathKind(Join(folder, BackupName(method)), ignored);
    state.backupTaken = backup != PathKind::Missing;
    if (backup == PathKind::Unreadable) state.kind = MethodKind::Unknown;
    if (state.kind == MethodKind::File && backup == PathKind::File) {
      // An interrupted install leaves the backup as a second name of the
      // method file: the same bytes.
      if (ReadWholeFile(Join(folder, method), bytes) != 0 ||
          ReadWholeFile(Join(folder, BackupName(method)), backupBytes) != 0) {
        state.kind = MethodKind::Unknown;
      }
      state.backupIsCopy = bytes == backupBytes;
    }
    states.push_back(state);
  }
  return states;
}

std::string Listing(const std::vector<MethodState>& states) {
  std::string text;
  for (const MethodState& state : states) text += state.method + " -> " + DescribeMethod(state) + "\n";
  return text;
}

// Reads a file that may be absent (then empty). False after a complaint.
bool ReadOptional(const std::string& path, std::string& bytes) {
  const long error = ReadWholeFile(path, bytes);
  std::string ignored;
  if (error == 0 || GetPathKind(path, ignored) == PathKind::Missing) return true;
  Complain("cannot read " + path + ": " + ErrorText(error));
  return false;
}

// Writes a record, or removes it when the text is empty.
long StoreRecord(const std::string& path, const std::string& text) {
  return text.empty() ? RemoveFileIfPresent(path) : ReplaceFileAtomically(path, text);
}

// Removes what an interrupted run left in `folder`; false after a complaint.
bool Sweep(const std::string& folder) {
  const long error = SweepScratchFiles(folder);
  if (error != 0) {
    Complain("cannot clear the leftovers of an earlier run in " + folder + ": " + ErrorText(error) + ".");
  }
  return error == 0;
}

void SayNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) Say("  " + note);
}

// Install or uninstall through the map. `install` false: uninstall.
int EditMap(const SetupOptions& options, const std::string& managers, bool install) {
  const std::string mapPath = Join(managers, "map"), recordPath = Join(managers, kMapRecord);
  std::string map, record;
  if (!options.dryRun && !Sweep(managers)) return 1;
  if (const long error = ReadWholeFile(mapPath, map)) {
    Complain("cannot read the type-manager map " + mapPath + ": " + ErrorText(error));
    return 1;
  }
  if (!ReadOptional(recordPath, record)) return 1;
  if (!install && record.empty()) {
    Say("Nothing to undo: no record of an install in " + recordPath + ".");
    return 0;
  }
  const std::string bridge = BridgePath(options);
  MapEdit edit = install ? InstallIntoMap(map, record, options.managers, bridge)
                         : RemoveFromMap(map, record);
  if (!edit.ok) {
    Complain(recordPath + ": " + edit.notes.front() + ". Nothing was changed.");
    return 1;
  }
  SayNotes(edit.notes);
  if (install) {
    bool any = false;
    for (const MapEntry& entry : ReadMapEntries(edit.map)) any = any || entry.program == bridge;
    if (!any) {
      Complain("none of the chosen type managers has an xcompare or xmerge line in " + mapPath +
               ". Nothing was changed.");
      return 1;
    }
  }
  if (options.dryRun) {
    std::string diff = UnifiedDiff(map, edit.map, mapPath);
    Say(diff.empty() ? "No change to " + mapPath + "." : diff.substr(0, diff.size() - 1));
    Say("(dry run: nothing was changed)");
    return 0;
  }
  if (edit.map == map && edit.record == record) {
    Say("Nothing to change in " + mapPath + ".");
    return 0;
  }
  // The record is written before the map and removed after it, so that no
  // changed line is ever on disk without it; if the map then cannot be
  // written, the old record comes back.
  const bool recordFirst = !edit.record.empty();
  if (recordFirst && edit.record != record) {
    if (const long error = StoreRecord(recordPath, edit.record)) {
      Complain(WriteFailure(recordPath, error, Holds(recordPath, edit.record)));
      return 1;
    }
  }
  if (edit.map != map) {
    if (const long error = ReplaceFileAtomically(mapPath, edit.map)) {
      // A map that changed all the same keeps the record of what it ran.
      const bool landed = Holds(mapPath, edit.map);
      if (recordFirst && !landed) StoreRecord(recordPath, record);
      Complain(WriteFailure(mapPath, error, landed));
      return 1;
    }
  }
  if (!recordFirst && edit.record != record) {
    if (const long error = StoreRecord(recordPath, edit.record)) {
      Complain("cannot remove " + recordPath + ": " + ErrorText(error) + ".");
      return 1;
    }
  }
  const std::vector<MapEntry> before = ReadMapEntries(map), after = ReadMapEntries(edit.map);
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i].program != after[i].program) {
      Say("  " + after[i].manager + " " + after[i].method + ": " + before[i].program + " -> " +
          after[i].program);
    }
  }
  Say((install ? "Installed into " : "Uninstalled from ") + mapPath + ".");
  return 0;
}

long CarryOut(const std::string& folder, const LinkAction& action, const std::string& bridge) {
  const std::string path = Join(folder, action.method);
  switch (action.step) {
    case LinkStep::LinkToBridge: return ReplaceWithLink(path, bridge);
    case LinkStep::BackUpThenLink: {
      if (const long error = KeepCopy(path, Join(folder, action.value))) return error;
      return ReplaceWithLink(path, bridge);
    }
    case LinkStep::RestoreLink: return ReplaceWithLink(path, action.value);
    case LinkStep::RestoreBackup: return MovePath(Join(folder, action.value), path);
    case LinkStep::DropCopy: return RemoveFileIfPresent(Join(folder, action.value));
  }
  return 0;
}

// Install or uninstall through the managers' method links.
int EditLinks(const SetupOptions& options, const std::string& managers, bool install) {
  const std::string bridge = BridgePath(options);
  std::vector<std::string> names = options.managers;
  if (!install) {
    // Every manager with a record, whatever was chosen at install time.
    std::vector<std::string> listed;
    if (const long error = ListFolder(managers, listed)) {
      Complain("cannot list " + managers + ": " + ErrorText(error) + ". Nothing was changed.");
      return 1;
    }
    names.clear();
    for (const std::string& name : listed) {
      std::string ignored;
      const PathKind kind = GetPathKind(Join(Join(managers, name), kLinkRecord), ignored);
      if (kind == PathKind::Unreadable) {
        Complain("cannot look at " + Join(Join(managers, name), kLinkRecord) + ". Nothing was changed.");
        return 1;
      }
      if (kind == PathKind::File) {
        names.push_back(name);
      } else if (!options.dryRun && GetPathKind(Join(managers, name), ignored) == PathKind::Folder &&
                 !Sweep(Join(managers, name))) {
        return 1;  // what an install stopped before its record left
      }
    }
    if (names.empty()) Say("Nothing to undo: no manager in " + managers + " has a record of an install.");
  }
  int status = 0;
  bool changed = false, linked = false;
  for (const std::string& name : names) {
    const std::string folder = Join(managers, name), recordPath = Join(folder, kLinkRecord);
    std::string ignored, record;
    const PathKind kind = GetPathKind(folder, ignored);
    if (kind == PathKind::Unreadable) {
      Complain("cannot look at " + folder + ". Nothing was changed there.");
      return 1;
    }
    if (kind != PathKind::Folder) {
      Say("  " + name + ": no such type manager in " + managers + "; left alone");
      continue;
    }
    if (!options.dryRun && !Sweep(folder)) return 1;
    if (!ReadOptional(recordPath, record)) return 1;
    const std::vector<MethodState> states = ReadMethods(folder);
    for (const MethodState& state : states) {
      if (state.kind != MethodKind::Unknown) continue;
      Complain("cannot look at " + Join(folder, state.method) +
               " or its kept copy. Nothing was changed there.");
      return 1;
    }
    const LinkPlan plan = install ? PlanLinkInstall(name, states, record, bridge)
                                  : PlanLinkRemoval(name, states, record);
    if (!plan.ok) {
      Complain(recordPath + ": " + plan.notes.front() + ". Nothing was changed there.");
      status = 1;
      continue;
    }
    SayNotes(plan.notes);
    for (const MethodState& state : states) {
      linked = linked || (state.kind == MethodKind::Link && state.target == bridge);
    }
    linked = linked || !plan.actions.empty();
    if (options.dryRun) {
      std::vector<MethodState> planned = states;
      for (const LinkAction& action : plan.actions) {
        for (MethodState& state : planned) {
          if (state.method != action.method || action.step == LinkStep::DropCopy) continue;
          const bool toBridge = action.step == LinkStep::LinkToBridge || action.step == LinkStep::BackUpThenLink;
          state.kind = action.step == LinkStep::RestoreBackup ? MethodKind::File : MethodKind::Link;
          state.target = toBridge ? bridge : action.value;
        }
      }
      const std::string diff = UnifiedDiff(Listing(states), Listing(planned), folder);
      if (!diff.empty()) Say(diff.substr(0, diff.size() - 1));
      continue;
    }
    if (plan.actions.empty() && plan.record == record) continue;
    if (install && plan.record != record) {
      if (const long error = StoreRecord(recordPath, plan.record)) {
        Complain(WriteFailure(recordPath, error, Holds(recordPath, plan.record)));
        return 1;
      }
    }
    for (const LinkAction& action : plan.actions) {
      if (const long error = CarryOut(folder, action, bridge)) {
        Complain("cannot change " + Join(folder, action.method) + ": " + ErrorText(error) +
                 (IsAccessDenied(error) ? "; " + RightsHint() : std::string()) + ".");
        return 1;
      }
      Say("  " + name + " " + action.method + ": now " +
          (action.step == LinkStep::RestoreBackup || action.step == LinkStep::DropCopy ? "the kept original"
           : action.step == LinkStep::RestoreLink ? "-> " + action.value
                                                  : "-> " + bridge));
      changed = true;
    }
    if (!install) {
      if (const long error = RemoveFileIfPresent(recordPath)) {
        Complain("cannot remove " + recordPath + ": " + ErrorText(error) + ".");
        status = 1;
      }
    }
  }
  if (install && !linked && status == 0) {
    Complain("none of the chosen type managers has an xcompare or xmerge method in " + managers +
             ". Nothing was changed.");
    return 1;
  }
  if (options.dryRun) {
    Say("(dry run: nothing was changed)");
  } else if (status == 0) {
    Say(changed ? (install ? "Installed into " : "Uninstalled from ") + managers + "."
                : "Nothing to change in " + managers + ".");
  }
  return status;
}

int Install(const SetupOptions& options, bool install) {
  std::string reason;
  const std::string managers = FindManagers(options, reason);
  if (managers.empty()) {
    Complain(reason + ".");
    return 1;
  }
  if (install && !IsStartableProgram(BridgePath(options))) {
    Complain("mergebridge not found at " + BridgePath(options) + " (give --bridge PATH).");
    return 1;
  }
  if (!options.dryRun) {
    const long error = LockManagers(managers, kLockWaitMillis);
    if (error == kLockUnavailable) {
      Complain("warning: " + managers + " cannot be locked on its file system; going on "
               "without keeping other runs of mergebridge-setup out.");
    } else if (error != 0) {
      Complain(error == kLockBusy
                   ? "another mergebridge-setup is changing " + managers +
                         "; run this again when it has finished. Nothing was changed."
                   : "cannot lock " + managers + ": " + ErrorText(error) + ". Nothing was changed.");
      return 1;
    }
  }
  return ManagersUseMap() ? EditMap(options, managers, install) : EditLinks(options, managers, install);
}

// The (un)register commands and the registrations in status.

std::string Whom(RegistryScope scope) {
  return scope == RegistryScope::User ? "for this user" : "for all users of this computer";
}

// The value's full name and the place it is in, in words.
std::string Where(RegistryScope scope, const std::string& place) {
  const char* root = scope == RegistryScope::User ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  return std::string(kToolValue) + " under " + root + "\\" + kToolKey + " in " +
         (place.empty() ? "no registry file (see HOME and XDG_CONFIG_DIRS)" : place);
}

// `landed`: the registration reads as the command meant it all the same.
std::string RegistrationFailure(const std::string& verb, const std::string& doing,
                                RegistryScope scope, long error, bool landed) {
  std::string text =
      "cannot " + verb + " " + Where(scope, RegistryPlace(scope)) + ": " + ErrorText(error);
  if (scope == RegistryScope::Machine && IsAccessDenied(error)) {
    text += "; " + doing + " Velmora " + Whom(scope) + " needs " + MachineRegistryOwner();
  }
  return text + Aftermath(landed);
}

// Shows both registrations and the one a merge of this user takes, looked up
// as the bridge looks. Returns what keeps the merge from starting Velmora, or
// an empty string.
std::string ShowRegistrations() {
  std::string problem, taken;
  bool decided = false;  // a registration was taken, or stopped the merge
  for (RegistryScope scope : {RegistryScope::User, RegistryScope::Machine}) {
    std::string velmora, place;
    const long error = ReadRegistryString(scope, kToolKey, kToolValue, velmora, place);
    const std::string where = Where(scope, place);
    if (error == 0) {
      Say("Velmora " + Whom(scope) + " (" + where + "): " + velmora);
    } else if (IsAbsentFromRegistry(error)) {
      Say("Velmora " + Whom(scope) + ": not registered (no " + where + ")");
    } else {
      Say("Velmora " + Whom(scope) + ": cannot read " + where + ": " + ErrorText(error));
    }
    if (decided || IsAbsentFromRegistry(error)) continue;
    decided = true;
    if (error != 0) {
      // The bridge stops at a registration it cannot read, as here.
      problem = "cannot read " + where + ": " + ErrorText(error);
      continue;
    }
    taken = Whom(scope);
    std::string ignored;
    if (velmora.empty()) {
      problem = "the registration " + Whom(scope) + " is empty";
    } else if (GetPathKind(velmora, ignored) == PathKind::Missing) {
      problem = "Velmora's program " + velmora + " does not exist";
    } else if (!IsStartableProgram(velmora)) {
      problem = "Velmora's program " + velmora + " cannot be started";
    }
  }
  if (!taken.empty()) Say("A merge of this user takes the registration " + taken + ".");
  if (!decided) {
    problem = "Velmora is not registered "
              "(run mergebridge-setup register [--all-users] VELMORA_PATH)";
  }
  return problem;
}

int Status(const SetupOptions& options) {
  std::string problem;
  auto fail = [&](const std::string& text) {
    Say("  " + text);
    if (problem.empty()) problem = text;
  };
  std::string reason;
  const std::string managers = FindManagers(options, reason);
  if (managers.empty()) {
    fail(reason);
  } else {
    Say("ClearCase type managers: " + managers);
    const std::string bridge = BridgePath(options);
    std::vector<std::string> bridges;  // the mergebridge programs methods run, as found
    if (ManagersUseMap()) {
      const std::string mapPath = Join(managers, "map");
      std::string map;
      if (const long error = ReadWholeFile(mapPath, map)) {
        fail("cannot read " + mapPath + ": " + ErrorText(error));
      }
      for (const MapEntry& entry : ReadMapEntries(map)) {
        if (entry.method != "xcompare" && entry.method != "xmerge") continue;
        const bool ours = RunsBridge(entry.program, bridge);
        Say("  " + entry.manager + " " + entry.method + ": " + entry.program +
            (ours ? "  [mergebridge]" : ""));
        // A relative program is found from ClearCase's own folders; only a
        // full path can be checked from here.
        if (ours) bridges.push_back(entry.program);
      }
    } else {
      std::vector<std::string> names;
      if (const long error = ListFolder(managers, names)) {
        fail("cannot list " + managers + ": " + ErrorText(error));
      }
      for (const std::string& name : names) {
        std::string ignored;
        if (GetPathKind(Join(managers, name), ignored) != PathKind::Folder) continue;
        for (const MethodState& state : ReadMethods(Join(managers, name))) {
          if (state.kind == MethodKind::Missing) continue;
          const bool ours = state.kind == MethodKind::Link && RunsBridge(state.target, bridge);
          Say("  " + name + " " + state.method + ": " + DescribeMethod(state) +
              (ours ? "  [mergebridge]" : ""));
          if (ours) {
            const bool absolute = !state.target.empty() && state.target[0] == '/';
            bridges.push_back(absolute ? state.target : Join(Join(managers, name), state.target));
          }
        }
      }
    }
    if (bridges.empty()) fail("no xcompare or xmerge method runs mergebridge (run mergebridge-setup install)");
    for (const std::string& program : bridges) {
      const bool full = program.find_first_of("\\/") != std::string::npos &&
                        AbsolutePath(program) == program;
      if (full && !IsStartableProgram(program)) {
        fail("the methods run " + program + ", which cannot be started");
        break;
      }
    }
  }
  const std::string velmoraProblem = ShowRegistrations();
  if (!velmoraProblem.empty()) fail(velmoraProblem);
  if (!problem.empty()) {
    Say("A merge through mergebridge will not start Velmora: " + problem + ".");
    return 1;
  }
  Say("A merge through mergebridge will start Velmora.");
  return 0;
}

int Register(const SetupOptions& options) {
  const std::string path = AbsolutePath(options.velmora);
  const bool startable = IsStartableProgram(path);
  if (!startable && !options.force) {
    Complain(path + " is not a program that can be started; nothing was registered "
             "(--force registers it all the same).");
    return 1;
  }
  const RegistryScope scope = options.allUsers ? RegistryScope::Machine : RegistryScope::User;
  if (const long error = WriteRegistryString(scope, kToolKey, kToolValue, path)) {
    std::string now, place;
    const bool landed = ReadRegistryString(scope, kToolKey, kToolValue, now, place) == 0 && now == path;
    Complain(RegistrationFailure("write", "registering", scope, error, landed));
    return 1;
  }
  Say("Registered Velmora " + Whom(scope) + ": " + path);
  // Forced, as the installers do where Velmora is to be installed later.
  if (!startable) {
    Complain("warning: " + path + " is not a program that can be started yet; a merge starts it once it is.");
  }
  return 0;
}

int Unregister(const SetupOptions& options) {
  const RegistryScope scope = options.allUsers ? RegistryScope::Machine : RegistryScope::User;
  bool removed = false;
  if (const long error = RemoveRegistryValue(scope, kToolKey, kToolValue, removed)) {
    std::string now, place;
    const bool landed =
        IsAbsentFromRegistry(ReadRegistryString(scope, kToolKey, kToolValue, now, place));
    Complain(RegistrationFailure("remove", "unregistering", scope, error, landed));
    return 1;
  }
  const std::string where = Where(scope, RegistryPlace(scope));
  Say(removed ? "Unregistered Velmora " + Whom(scope) + ": removed " + where + "."
              : "Nothing to remove: Velmora was not registered " + Whom(scope) + " (no " + where +
                    ").");
  // The machine's registration that serves now: for all users, one in a place
  // register does not write (another configuration folder, Windows' 32-bit
  // view).
  std::string velmora, place;
  if (ReadRegistryString(RegistryScope::Machine, kToolKey, kToolValue, velmora, place) == 0) {
    Say((options.allUsers ? "Velmora is still registered "
                          : "A merge of this user now takes the registration ") +
        Whom(RegistryScope::Machine) + " (" + Where(RegistryScope::Machine, place) +
        "): " + velmora);
  }
  return 0;
}

}  // namespace

int RunSetup(const std::vector<std::string>& args) {
  SetupOptions options;
  const std::string fault = ParseSetupOptions(args, options);
  if (!fault.empty()) {
    Complain(fault + ".");
    WriteConsoleLine(ConsoleStream::Err, SetupUsage());
    return 1;
  }
  switch (options.command) {
    case SetupCommand::Help: Say(SetupUsage()); return 0;
    case SetupCommand::Status: return Status(options);
    case SetupCommand::Install: return Install(options, true);
    case SetupCommand::Uninstall: return Install(options, false);
    case SetupCommand::Register: return Register(options);
    case SetupCommand::Unregister: return Unregister(options);
  }
  return 1;
}
