// The install and uninstall commands: through the map (Windows) or the
// managers' method links (Linux).
#include "setup/setup_install.h"

#include "common/text.h"
#include "host/files.h"
#include "host/setup_lock.h"
#include "setup/link_plan.h"
#include "setup/map_edit.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"
#include "setup/unified_diff.h"

namespace {

const long kLockWaitMillis = 2000;  // far longer than a run takes

// True when the file at `path` holds `bytes`; for no bytes, when it is absent.
bool FileHoldsBytes(const std::string& path, const std::string& bytes) {
  std::string now, ignored;
  if (bytes.empty()) return GetPathKind(path, ignored) == PathKind::Missing;
  return ReadWholeFile(path, now) == 0 && now == bytes;
}

std::string WriteFailure(const std::string& path, long error, bool landed) {
  std::string text = "cannot write " + path + ": " + ErrorText(error);
  if (IsAccessDenied(error)) text += "; " + RightsHint();
  return text + FailureEnding(landed);
}

std::string MethodListing(const std::vector<MethodState>& states) {
  std::string text;
  for (const MethodState& state : states)
    text += state.method + " -> " + DescribeMethod(state) + "\n";
  return text;
}

// Reads a file that may be absent (then empty). False after a complaint.
bool ReadOptional(const std::string& path, std::string& bytes) {
  const long error = ReadWholeFile(path, bytes);
  std::string ignored;
  if (error == 0 || GetPathKind(path, ignored) == PathKind::Missing) return true;
  PrintError("cannot read " + path + ": " + ErrorText(error));
  return false;
}

// Writes a record, or removes it when the text is empty.
long StoreRecord(const std::string& path, const std::string& text) {
  const long error = text.empty() ? RemoveFileIfPresent(path) : ReplaceFileAtomically(path, text);
  if (error == 0) NoteChange();
  return error;
}

// Removes what an interrupted run left in `folder`; false after a complaint.
bool RemoveLeftovers(const std::string& folder) {
  const long error = SweepScratchFiles(folder);
  if (error != 0) {
    PrintError("cannot clear the leftovers of an earlier run in " + folder + ": " +
               ErrorText(error) + ".");
  }
  return error == 0;
}

void PrintNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) PrintLine("  " + note);
}

// Writes the map's edit and its record. Returns 0, or 1 after a complaint.
int WriteMapAndRecord(const std::string& mapPath, const std::string& recordPath,
                      const std::string& map, const std::string& record, const MapEdit& edit) {
  // The record is written before the map and removed after it, so that no
  // changed line is ever on disk without it; if the map then cannot be
  // written, the old record comes back.
  const bool recordFirst = !edit.record.empty();
  if (recordFirst && edit.record != record) {
    if (const long error = StoreRecord(recordPath, edit.record)) {
      PrintError(WriteFailure(recordPath, error, FileHoldsBytes(recordPath, edit.record)));
      return 1;
    }
  }
  if (edit.map != map) {
    if (const long error = ReplaceFileAtomically(mapPath, edit.map)) {
      // A map that changed all the same keeps the record of what it ran.
      const bool landed = FileHoldsBytes(mapPath, edit.map);
      if (recordFirst && !landed) StoreRecord(recordPath, record);
      PrintError(WriteFailure(mapPath, error, landed));
      return 1;
    }
    NoteChange();
  }
  if (!recordFirst && edit.record != record) {
    if (const long error = StoreRecord(recordPath, edit.record)) {
      PrintError("cannot remove " + recordPath + ": " + ErrorText(error) + ".");
      return 1;
    }
  }
  return 0;
}

// The lines whose program changed, old and new.
void PrintMapChanges(const std::string& map, const std::string& newMap) {
  const std::vector<MapEntry> before = ReadMapEntries(map), after = ReadMapEntries(newMap);
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i].program != after[i].program) {
      PrintLine("  " + after[i].manager + " " + after[i].method + ": " + before[i].program +
                " -> " + after[i].program);
    }
  }
}

// Install or uninstall through the map. `install` false: uninstall.
int EditMap(const SetupOptions& options, const std::string& managers, bool install) {
  const std::string mapPath = PathInFolder(managers, "map"),
                    recordPath = PathInFolder(managers, kMapRecord);
  std::string map, record;
  if (!options.dryRun && !RemoveLeftovers(managers)) return 1;
  if (const long error = ReadWholeFile(mapPath, map)) {
    PrintError("cannot read the type-manager map " + mapPath + ": " + ErrorText(error));
    return 1;
  }
  if (!ReadOptional(recordPath, record)) return 1;
  if (!install && record.empty()) {
    PrintLine("Nothing to undo: no record of an install in " + recordPath + ".");
    return 0;
  }
  const std::string bridge = BridgePath(options);
  MapEdit edit =
      install ? InstallIntoMap(map, record, options.managers, bridge) : RemoveFromMap(map, record);
  if (!edit.ok) {
    PrintError(recordPath + ": " + edit.notes.front() + ". Nothing was changed.");
    return 1;
  }
  PrintNotes(edit.notes);
  if (install) {
    bool any = false;
    for (const MapEntry& entry : ReadMapEntries(edit.map)) any = any || entry.program == bridge;
    if (!any) {
      PrintError("none of the chosen type managers has an xcompare or xmerge line in " + mapPath +
                 ". Nothing was changed.");
      return 1;
    }
  }
  if (options.dryRun) {
    std::string diff = UnifiedDiff(map, edit.map, mapPath);
    PrintLine(diff.empty() ? "No change to " + mapPath + "." : diff.substr(0, diff.size() - 1));
    PrintLine("(dry run: nothing was changed)");
    return 0;
  }
  if (edit.map == map && edit.record == record) {
    PrintLine("Nothing to change in " + mapPath + ".");
    return 0;
  }
  if (WriteMapAndRecord(mapPath, recordPath, map, record, edit) != 0) return 1;
  PrintMapChanges(map, edit.map);
  PrintLine((install ? "Installed into " : "Uninstalled from ") + mapPath + ".");
  return 0;
}

long CarryOut(const std::string& folder, const LinkAction& action, const std::string& bridge) {
  const std::string path = PathInFolder(folder, action.method);
  switch (action.step) {
    case LinkStep::LinkToBridge:
      return ReplaceWithLink(path, bridge);
    case LinkStep::BackUpThenLink: {
      if (const long error = KeepCopy(path, PathInFolder(folder, action.value))) return error;
      return ReplaceWithLink(path, bridge);
    }
    case LinkStep::RestoreLink:
      return ReplaceWithLink(path, action.value);
    case LinkStep::RestoreBackup:
      return MovePath(PathInFolder(folder, action.value), path);
    case LinkStep::DropCopy:
      return RemoveFileIfPresent(PathInFolder(folder, action.value));
  }
  return 0;
}

// uninstall: every manager with a record, whatever was chosen at install time;
// what an install stopped before its record left is swept from the others.
// False after a complaint.
bool RecordedNames(const SetupOptions& options, const std::string& managers,
                   std::vector<std::string>& names) {
  std::vector<std::string> listed;
  if (const long error = ListFolder(managers, listed)) {
    PrintError("cannot list " + managers + ": " + ErrorText(error) + ". Nothing was changed.");
    return false;
  }
  names.clear();
  for (const std::string& name : listed) {
    std::string ignored;
    const PathKind kind =
        GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord), ignored);
    if (kind == PathKind::Unreadable) {
      PrintError("cannot look at " + PathInFolder(PathInFolder(managers, name), kLinkRecord) +
                 ". Nothing was changed.");
      return false;
    }
    if (kind == PathKind::File) {
      names.push_back(name);
    } else if (!options.dryRun &&
               GetPathKind(PathInFolder(managers, name), ignored) == PathKind::Folder &&
               !RemoveLeftovers(PathInFolder(managers, name))) {
      return false;
    }
  }
  if (names.empty())
    PrintLine("Nothing to undo: no manager in " + managers + " has a record of an install.");
  return true;
}

// --dry-run: the plan as a diff of the folder's methods.
void PrintPlannedLinks(const std::string& folder, const std::vector<MethodState>& states,
                       const LinkPlan& plan, const std::string& bridge) {
  std::vector<MethodState> planned = states;
  for (const LinkAction& action : plan.actions) {
    for (MethodState& state : planned) {
      if (state.method != action.method || action.step == LinkStep::DropCopy) continue;
      const bool toBridge =
          action.step == LinkStep::LinkToBridge || action.step == LinkStep::BackUpThenLink;
      state.kind = action.step == LinkStep::RestoreBackup ? MethodKind::File : MethodKind::Link;
      state.target = toBridge ? bridge : action.value;
    }
  }
  const std::string diff = UnifiedDiff(MethodListing(states), MethodListing(planned), folder);
  if (!diff.empty()) PrintLine(diff.substr(0, diff.size() - 1));
}

// What one manager's change came to: done, failed there (the others go on),
// or failed so that the run stops.
enum class Outcome { Done, Failed, Stop };

// Carries out a manager's plan: the record before the first change of an
// install, after the last of an uninstall (removed).
Outcome CarryOutPlan(const std::string& name, const std::string& folder, const std::string& record,
                     const LinkPlan& plan, bool install, const std::string& bridge, bool& changed) {
  const std::string recordPath = PathInFolder(folder, kLinkRecord);
  if (install && plan.record != record) {
    if (const long error = StoreRecord(recordPath, plan.record)) {
      PrintError(WriteFailure(recordPath, error, FileHoldsBytes(recordPath, plan.record)));
      return Outcome::Stop;
    }
  }
  for (const LinkAction& action : plan.actions) {
    if (const long error = CarryOut(folder, action, bridge)) {
      PrintError("cannot change " + PathInFolder(folder, action.method) + ": " + ErrorText(error) +
                 (IsAccessDenied(error) ? "; " + RightsHint() : std::string()) + ".");
      return Outcome::Stop;
    }
    NoteChange();
    changed = true;
    PrintLine("  " + name + " " + action.method + ": now " +
              (action.step == LinkStep::RestoreBackup || action.step == LinkStep::DropCopy
                   ? "the kept original"
               : action.step == LinkStep::RestoreLink ? "-> " + action.value
                                                      : "-> " + bridge));
  }
  if (!install) {
    if (const long error = RemoveFileIfPresent(recordPath)) {
      PrintError("cannot remove " + recordPath + ": " + ErrorText(error) + ".");
      return Outcome::Failed;
    }
  }
  return Outcome::Done;
}

// Installs into or uninstalls from one manager's folder. `linked`: a method
// there runs the bridge, or will; `changed`: a method was changed.
Outcome EditManager(const SetupOptions& options, const std::string& managers,
                    const std::string& name, bool install, bool& linked, bool& changed) {
  const std::string bridge = BridgePath(options), folder = PathInFolder(managers, name);
  const std::string recordPath = PathInFolder(folder, kLinkRecord);
  std::string ignored, record;
  const PathKind kind = GetPathKind(folder, ignored);
  if (kind == PathKind::Unreadable) {
    PrintError("cannot look at " + folder + ". Nothing was changed there.");
    return Outcome::Stop;
  }
  if (kind != PathKind::Folder) {
    PrintLine("  " + name + ": no such type manager in " + managers + "; left alone");
    return Outcome::Done;
  }
  if (!options.dryRun && !RemoveLeftovers(folder)) return Outcome::Stop;
  if (!ReadOptional(recordPath, record)) return Outcome::Stop;
  const std::vector<MethodState> states = ReadMethods(folder);
  for (const MethodState& state : states) {
    if (state.kind != MethodKind::Unknown) continue;
    PrintError("cannot look at " + PathInFolder(folder, state.method) +
               " or its kept copy. Nothing was changed there.");
    return Outcome::Stop;
  }
  const LinkPlan plan = install ? PlanLinkInstall(name, states, record, bridge)
                                : PlanLinkRemoval(name, states, record);
  if (!plan.ok) {
    PrintError(recordPath + ": " + plan.notes.front() + ". Nothing was changed there.");
    return Outcome::Failed;
  }
  PrintNotes(plan.notes);
  for (const MethodState& state : states) {
    linked = linked || (state.kind == MethodKind::Link && state.target == bridge);
  }
  linked = linked || !plan.actions.empty();
  if (options.dryRun) {
    PrintPlannedLinks(folder, states, plan, bridge);
    return Outcome::Done;
  }
  if (plan.actions.empty() && plan.record == record) return Outcome::Done;
  return CarryOutPlan(name, folder, record, plan, install, bridge, changed);
}

// Install or uninstall through the managers' method links.
int EditLinks(const SetupOptions& options, const std::string& managers, bool install) {
  std::vector<std::string> names = options.managers;
  if (!install && !RecordedNames(options, managers, names)) return 1;
  int status = 0;
  bool linked = false, changed = false;
  for (const std::string& name : names) {
    const Outcome outcome = EditManager(options, managers, name, install, linked, changed);
    if (outcome == Outcome::Stop) return 1;
    if (outcome == Outcome::Failed) status = 1;
  }
  if (install && !linked && status == 0) {
    PrintError("none of the chosen type managers has an xcompare or xmerge method in " + managers +
               ". Nothing was changed.");
    return 1;
  }
  if (options.dryRun) {
    PrintLine("(dry run: nothing was changed)");
  } else if (status == 0) {
    PrintLine(changed ? (install ? "Installed into " : "Uninstalled from ") + managers + "."
                      : "Nothing to change in " + managers + ".");
  }
  return status;
}

// Install or uninstall (`install` false) under the installation's lock.
int ChangeUnderLock(const SetupOptions& options, bool install) {
  std::string reason;
  const std::string managers = FindManagers(options, reason);
  if (managers.empty()) {
    PrintError(reason + ".");
    return 1;
  }
  if (install && !IsStartableProgram(BridgePath(options))) {
    PrintError("mergebridge not found at " + BridgePath(options) + " (give --bridge PATH).");
    return 1;
  }
  if (!options.dryRun) {
    const long error = LockManagers(managers, kLockWaitMillis);
    if (error == kLockUnavailable) {
      PrintError("warning: " + managers +
                 " cannot be locked on its file system; going on "
                 "without keeping other runs of mergebridge-setup out.");
    } else if (error != 0) {
      PrintError(error == kLockBusy
                     ? "another mergebridge-setup is changing " + managers +
                           "; run this again when it has finished. Nothing was changed."
                     : "cannot lock " + managers + ": " + ErrorText(error) +
                           ". Nothing was changed.");
      return 1;
    }
  }
  if (install && !options.dryRun) RememberInstallation(managers);
  const int status = ManagersUseMap() ? EditMap(options, managers, install)
                                      : EditLinks(options, managers, install);
  if (!options.dryRun) ForgetIfUninstalled(managers);
  return status;
}

}  // namespace

int Install(const SetupOptions& options) {
  return ChangeUnderLock(options, true);
}

int Uninstall(const SetupOptions& options) {
  return ChangeUnderLock(options, false);
}
