// The install and uninstall commands: through the map (Windows) or the
// managers' method links (Linux).
#include "setup/setup_install.h"

#include <utility>

#include "common/text.h"
#include "host/files.h"
#include "host/setup_lock.h"
#include "setup/link_plan.h"
#include "setup/map_edit.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"
#include "setup/unified_diff.h"

namespace mergebridge {

namespace {

const long kLockWaitMillis = 2000;  // far longer than a run takes

// True when the file at `path` holds `bytes`; for no bytes, when it is absent.
bool FileHoldsBytes(const std::string& path, const std::string& bytes) {
  if (bytes.empty()) return GetPathKind(path).kind == PathKind::Missing;
  const Result<std::string> now = ReadWholeFile(path);
  return now.ok() && now.value == bytes;
}

std::string WriteFailure(const std::string& path, const Status& error, bool landed) {
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

// Reads a file that may be absent (then empty); a failure is printed.
Result<std::string> ReadOptional(const std::string& path) {
  Result<std::string> bytes = ReadWholeFile(path);
  if (bytes.ok() || GetPathKind(path).kind == PathKind::Missing)
    return {std::move(bytes.value), {}};
  return {{}, PrintFailure("cannot read " + path + ": " + ErrorText(bytes.status))};
}

// Writes a record, or removes it when the text is empty.
Status StoreRecord(const std::string& path, const std::string& text) {
  Status status = text.empty() ? RemoveFileIfPresent(path) : ReplaceFileAtomically(path, text);
  if (status.ok()) NoteChange();
  return status;
}

// Removes what an interrupted run left in `folder`; a failure is printed.
Status RemoveLeftovers(const std::string& folder) {
  const Status swept = SweepScratchFiles(folder);
  if (swept.ok()) return swept;
  return PrintFailure("cannot clear the leftovers of an earlier run in " + folder + ": " +
                      ErrorText(swept) + ".");
}

void PrintNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) PrintLine("  " + note);
}

// The map and its record as they are, and where.
struct MapFiles {
  std::string mapPath, recordPath;
  std::string map, record;
};

// Writes the map's edit and its record; a failure is printed.
Status WriteMapAndRecord(const MapFiles& files, const MapEdit& edit) {
  const std::string& recordPath = files.recordPath;
  // The record is written before the map and removed after it, so that no
  // changed line is ever on disk without it; if the map then cannot be
  // written, the old record comes back.
  const bool recordFirst = !edit.record.empty();
  if (recordFirst && edit.record != files.record) {
    if (Status stored = StoreRecord(recordPath, edit.record); !stored.ok()) {
      return PrintFailure(
          WriteFailure(recordPath, stored, FileHoldsBytes(recordPath, edit.record)));
    }
  }
  if (edit.map != files.map) {
    if (Status written = ReplaceFileAtomically(files.mapPath, edit.map); !written.ok()) {
      // A map that changed all the same keeps the record of what it ran.
      const bool landed = FileHoldsBytes(files.mapPath, edit.map);
      if (recordFirst && !landed) (void)StoreRecord(recordPath, files.record);
      return PrintFailure(WriteFailure(files.mapPath, written, landed));
    }
    NoteChange();
  }
  if (!recordFirst && edit.record != files.record) {
    if (Status removed = StoreRecord(recordPath, edit.record); !removed.ok()) {
      return PrintFailure("cannot remove " + recordPath + ": " + ErrorText(removed) + ".");
    }
  }
  return {};
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

// Reads the map and its record (after sweeping what an interrupted run left,
// unless `dryRun`); a failure is printed.
Result<MapFiles> ReadMapFiles(const std::string& managers, bool dryRun) {
  Result<MapFiles> files;
  MapFiles& read = files.value;
  read.mapPath = PathInFolder(managers, "map");
  read.recordPath = PathInFolder(managers, kMapRecord);
  if (!dryRun) files.status = RemoveLeftovers(managers);
  if (!files.ok()) return files;
  Result<std::string> map = ReadWholeFile(read.mapPath);
  if (!map.ok()) {
    files.status = PrintFailure("cannot read the type-manager map " + read.mapPath + ": " +
                                ErrorText(map.status));
    return files;
  }
  read.map = std::move(map.value);
  Result<std::string> record = ReadOptional(read.recordPath);
  files.status = record.status;
  read.record = std::move(record.value);
  return files;
}

// Install or uninstall through the map. `install` false: uninstall.
Status EditMap(const SetupOptions& options, const std::string& managers, bool install) {
  const Result<MapFiles> files = ReadMapFiles(managers, options.dryRun);
  if (!files.ok()) return files.status;
  const std::string &mapPath = files.value.mapPath, &map = files.value.map;
  const std::string& record = files.value.record;
  if (!install && record.empty()) {
    PrintLine("Nothing to undo: no record of an install in " + files.value.recordPath + ".");
    return {};
  }
  const std::string bridge = BridgePath(options);
  MapEdit edit =
      install ? InstallIntoMap(map, record, options.managers, bridge) : RemoveFromMap(map, record);
  if (!edit.status.ok()) {
    return PrintFailure(files.value.recordPath + ": " + edit.status.message +
                        ". Nothing was changed.");
  }
  PrintNotes(edit.notes);
  if (install) {
    bool any = false;
    for (const MapEntry& entry : ReadMapEntries(edit.map)) any = any || entry.program == bridge;
    if (!any) {
      return PrintFailure("none of the chosen type managers has an xcompare or xmerge line in " +
                          mapPath + ". Nothing was changed.");
    }
  }
  if (options.dryRun) {
    if (edit.map != map || edit.record != record) NoteChange();  // would change
    std::string diff = UnifiedDiff(map, edit.map, mapPath);
    PrintLine(diff.empty() ? "No change to " + mapPath + "." : diff.substr(0, diff.size() - 1));
    PrintLine("(dry run: nothing was changed)");
    return {};
  }
  if (edit.map == map && edit.record == record) {
    PrintLine("Nothing to change in " + mapPath + ".");
    return {};
  }
  if (Status written = WriteMapAndRecord(files.value, edit); !written.ok()) return written;
  PrintMapChanges(map, edit.map);
  PrintLine((install ? "Installed into " : "Uninstalled from ") + mapPath + ".");
  return {};
}

Status CarryOut(const std::string& folder, const LinkAction& action, const std::string& bridge) {
  const std::string path = PathInFolder(folder, action.method);
  switch (action.step) {
    case LinkStep::LinkToBridge:
      return ReplaceWithLink(path, bridge);
    case LinkStep::BackUpThenLink: {
      if (Status kept = KeepCopy(path, PathInFolder(folder, action.value)); !kept.ok()) return kept;
      return ReplaceWithLink(path, bridge);
    }
    case LinkStep::RestoreLink:
      return ReplaceWithLink(path, action.value);
    case LinkStep::RestoreBackup:
      return MovePath(PathInFolder(folder, action.value), path);
    case LinkStep::DropCopy:
      return RemoveFileIfPresent(PathInFolder(folder, action.value));
  }
  return {};
}

// uninstall: every manager with a record, whatever was chosen at install time;
// what an install stopped before its record left is swept from the others.
// A failure is printed.
Result<std::vector<std::string>> RecordedNames(const SetupOptions& options,
                                               const std::string& managers) {
  const Result<std::vector<std::string>> listed = ListFolder(managers);
  if (!listed.ok()) {
    return {{},
            PrintFailure("cannot list " + managers + ": " + ErrorText(listed.status) +
                         ". Nothing was changed.")};
  }
  Result<std::vector<std::string>> names;
  for (const std::string& name : listed.value) {
    const PathKind kind = GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord)).kind;
    if (kind == PathKind::Unreadable) {
      return {
          {},
          PrintFailure("cannot look at " + PathInFolder(PathInFolder(managers, name), kLinkRecord) +
                       ". Nothing was changed.")};
    }
    if (kind == PathKind::File) {
      names.value.push_back(name);
    } else if (!options.dryRun &&
               GetPathKind(PathInFolder(managers, name)).kind == PathKind::Folder) {
      if (Status swept = RemoveLeftovers(PathInFolder(managers, name)); !swept.ok())
        return {{}, swept};
    }
  }
  if (names.value.empty())
    PrintLine("Nothing to undo: no manager in " + managers + " has a record of an install.");
  return names;
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

// What one manager's change came to: done, or failed there (printed),
// and with `stop` so that the run stops (else the others go on). `linked`: a
// method there runs the bridge, or will; `changed`: a method was changed.
struct ManagerEdit {
  Status status;
  bool stop = false;
  bool linked = false, changed = false;
};

ManagerEdit Stopped(const Status& status) {
  return {status, true};
}

// One manager's folder, its record's text and what is to be done there.
struct ManagerWork {
  std::string name, folder, record, bridge;
  bool install = true;
};

// Carries out a manager's plan: the record before the first change of an
// install, after the last of an uninstall (removed).
ManagerEdit CarryOutPlan(const ManagerWork& work, const LinkPlan& plan) {
  ManagerEdit result;
  const std::string recordPath = PathInFolder(work.folder, kLinkRecord);
  if (work.install && plan.record != work.record) {
    if (Status stored = StoreRecord(recordPath, plan.record); !stored.ok()) {
      return Stopped(
          PrintFailure(WriteFailure(recordPath, stored, FileHoldsBytes(recordPath, plan.record))));
    }
  }
  for (const LinkAction& action : plan.actions) {
    if (Status done = CarryOut(work.folder, action, work.bridge); !done.ok()) {
      return Stopped(PrintFailure(
          "cannot change " + PathInFolder(work.folder, action.method) + ": " + ErrorText(done) +
          (IsAccessDenied(done) ? "; " + RightsHint() : std::string()) + "."));
    }
    NoteChange();
    result.changed = true;
    PrintLine("  " + work.name + " " + action.method + ": now " +
              (action.step == LinkStep::RestoreBackup || action.step == LinkStep::DropCopy
                   ? "the kept original"
               : action.step == LinkStep::RestoreLink ? "-> " + action.value
                                                      : "-> " + work.bridge));
  }
  if (!work.install) {
    if (Status removed = RemoveFileIfPresent(recordPath); !removed.ok()) {
      result.status = PrintFailure("cannot remove " + recordPath + ": " + ErrorText(removed) + ".");
    }
  }
  return result;
}

// The methods in the manager's folder, each of which can be looked at, and its
// record's text (after sweeping what an interrupted run left, unless
// `dryRun`); a failure is printed.
Result<std::vector<MethodState>> ReadManager(ManagerWork& work, bool dryRun) {
  if (!dryRun) {
    if (Status swept = RemoveLeftovers(work.folder); !swept.ok()) return {{}, swept};
  }
  Result<std::string> record = ReadOptional(PathInFolder(work.folder, kLinkRecord));
  if (!record.ok()) return {{}, record.status};
  work.record = std::move(record.value);
  Result<std::vector<MethodState>> states{ReadMethods(work.folder), {}};
  for (const MethodState& state : states.value) {
    if (state.kind != MethodKind::Unknown) continue;
    states.status = PrintFailure("cannot look at " + PathInFolder(work.folder, state.method) +
                                 " or its kept copy. Nothing was changed there.");
    break;
  }
  return states;
}

// Installs into or uninstalls from one manager's folder.
ManagerEdit EditManager(const SetupOptions& options, const std::string& managers,
                        const std::string& name, bool install) {
  ManagerWork work{name, PathInFolder(managers, name), std::string(), BridgePath(options), install};
  const PathKind kind = GetPathKind(work.folder).kind;
  if (kind == PathKind::Unreadable) {
    return Stopped(PrintFailure("cannot look at " + work.folder + ". Nothing was changed there."));
  }
  if (kind != PathKind::Folder) {
    PrintLine("  " + name + ": no such type manager in " + managers + "; left alone");
    return {};
  }
  const Result<std::vector<MethodState>> states = ReadManager(work, options.dryRun);
  if (!states.ok()) return Stopped(states.status);
  const LinkPlan plan = install ? PlanLinkInstall(name, states.value, work.record, work.bridge)
                                : PlanLinkRemoval(name, states.value, work.record);
  if (!plan.status.ok()) {
    return {PrintFailure(PathInFolder(work.folder, kLinkRecord) + ": " + plan.status.message +
                         ". Nothing was changed there.")};
  }
  PrintNotes(plan.notes);
  bool linked = !plan.actions.empty();
  for (const MethodState& state : states.value) {
    linked = linked || (state.kind == MethodKind::Link && state.target == work.bridge);
  }
  if (options.dryRun) {
    if (!plan.actions.empty() || plan.record != work.record) NoteChange();  // would change
    PrintPlannedLinks(work.folder, states.value, plan, work.bridge);
    return {Status(), false, linked};
  }
  if (plan.actions.empty() && plan.record == work.record) return {Status(), false, linked};
  ManagerEdit result = CarryOutPlan(work, plan);
  result.linked = linked;
  return result;
}

// Install or uninstall through the managers' method links.
Status EditLinks(const SetupOptions& options, const std::string& managers, bool install) {
  Result<std::vector<std::string>> names{options.managers, {}};
  if (!install) names = RecordedNames(options, managers);
  if (!names.ok()) return names.status;
  Status status;
  bool linked = false, changed = false;
  for (const std::string& name : names.value) {
    const ManagerEdit edit = EditManager(options, managers, name, install);
    if (edit.stop) return edit.status;
    if (!edit.status.ok()) status = edit.status;
    linked = linked || edit.linked;
    changed = changed || edit.changed;
  }
  if (install && !linked && status.ok()) {
    return PrintFailure("none of the chosen type managers has an xcompare or xmerge method in " +
                        managers + ". Nothing was changed.");
  }
  if (options.dryRun) {
    PrintLine("(dry run: nothing was changed)");
  } else if (status.ok()) {
    PrintLine(changed ? (install ? "Installed into " : "Uninstalled from ") + managers + "."
                      : "Nothing to change in " + managers + ".");
  }
  return status;
}

// Takes the installation's lock, or says why not; a busy lock or a failure
// is printed.
Status LockInstallation(const std::string& managers) {
  const Result<LockState> lock = LockManagers(managers, kLockWaitMillis);
  if (lock.ok() && lock.value == LockState::Unavailable) {
    PrintError("warning: " + managers +
               " cannot be locked on its file system; going on "
               "without keeping other runs of mergebridge-setup out.");
  } else if (!lock.ok() || lock.value == LockState::Busy) {
    return PrintFailure(lock.ok() ? "another mergebridge-setup is changing " + managers +
                                        "; run this again when it has finished. Nothing was "
                                        "changed."
                                  : "cannot lock " + managers + ": " + ErrorText(lock.status) +
                                        ". Nothing was changed.",
                        lock.ok() ? kErrorLockBusy : kErrorFailed);
  }
  return {};
}

// Install or uninstall (`install` false) under the installation's lock.
Status ChangeUnderLock(const SetupOptions& options, bool install) {
  const Result<std::string> found = FindManagers(options);
  if (!found.ok()) return PrintFailure(found.status.message + ".", kErrorNoClearCase);
  const std::string& managers = found.value;
  if (install && !IsStartableProgram(BridgePath(options))) {
    return PrintFailure("mergebridge not found at " + BridgePath(options) +
                        " (give --bridge PATH).");
  }
  if (!options.dryRun) {
    if (Status locked = LockInstallation(managers); !locked.ok()) return locked;
  }
  if (install && !options.dryRun) RememberInstallation(managers);
  const Status status = ManagersUseMap() ? EditMap(options, managers, install)
                                         : EditLinks(options, managers, install);
  if (!options.dryRun) ForgetIfUninstalled(managers);
  return status;
}

}  // namespace

Status Install(const SetupOptions& options) {
  return ChangeUnderLock(options, true);
}

Status Uninstall(const SetupOptions& options) {
  return ChangeUnderLock(options, false);
}

}  // namespace mergebridge
