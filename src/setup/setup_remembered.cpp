#include "setup/setup_remembered.h"

#include <algorithm>
#include <map>
#include <vector>

#include "common/text.h"
#include "host/files.h"
#include "host/notify.h"
#include "setup/setup_record.h"
#include "setup/setup_shared.h"

namespace mergebridge {

namespace {

// A record's first line names the format; the second is the installation's
// lib/mgrs folder.
const char kHeader[] = "mergebridge-setup installation 1\n";

// An installer's record of Velmora's value: this and its name. No record of an
// installation is named so (theirs are absolute paths, escaped).
const char kVelmoraRecordPrefix[] = "velmora.";

// An absolute path without doubled separators or "." steps, so that one
// installation given as /opt/cc/ and as /opt/cc has one record (Windows:
// either separator, written as '\\'; a share's name keeps its two).
std::string NormalizedPath(const std::string& path) {
  const char separator = PathSeparator();
  const std::string separators = separator == '/' ? "/" : "/\\";
  const bool share = separator != '/' && path.size() > 1 &&
                     separators.find(path[0]) != std::string::npos &&
                     separators.find(path[1]) != std::string::npos;
  std::string tidy = share ? std::string(2, separator) : std::string();
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find_first_of(separators, start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    const bool first = tidy.empty() || (tidy.size() == 2 && share);
    if (!part.empty() && part != ".")
      tidy += (first && separator != '/' ? "" : std::string(1, separator)) + part;
    start = end + 1;
  }
  return tidy.empty() ? std::string(1, separator) : tidy;
}

// The record's file: the folder's path as one name, its separators, ':' and
// "%" escaped.
std::string RecordPath(const std::string& state, const std::string& managers) {
  std::string name, tidy = NormalizedPath(managers);
  if (ManagersUseMap()) LowerCaseAscii(tidy);  // Windows: C:\CC and c:\cc are one folder
  for (const char c : tidy) {
    name += c == '/'    ? "%2F"
            : c == '%'  ? "%25"
            : c == '\\' ? "%5C"
            : c == ':'  ? "%3A"
                        : std::string(1, c);
  }
  return PathInFolder(state, name);
}

// True when a type manager of the installation keeps a record of an install
// (or may: one that cannot be looked at).
bool KeepsRecord(const std::string& managers) {
  if (ManagersUseMap())
    return GetPathKind(PathInFolder(managers, kMapRecord)).kind != PathKind::Missing;
  const Result<std::vector<std::string>> names = ListFolder(managers);
  if (!names.ok()) return true;
  for (const std::string& name : names.value) {
    if (GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord)).kind !=
        PathKind::Missing)
      return true;
  }
  return false;
}

// What looking through an installation's type managers found. `running`: the
// first method that is a link to the bridge, or one that cannot be looked at
// (its uninstall will say why); `recorded`: a manager keeps a record of an
// install (or may).
struct InstallationState {
  std::string running;
  bool recorded = false;
};

// Looks through the installation's type managers for methods that run `bridge`.
Result<InstallationState> SurveyManagers(const std::string& managers, const std::string& bridge) {
  Result<InstallationState> found;
  std::string& running = found.value.running;
  bool& recorded = found.value.recorded;
  const Result<std::vector<std::string>> names = ListFolder(managers);
  if (!names.ok()) return {{}, names.status};
  for (const std::string& name : names.value) {
    const std::string folder = managers + "/" + name;
    const PathKind kind = GetPathKind(folder).kind;
    if (kind != PathKind::Folder && kind != PathKind::Unreadable) continue;
    recorded = recorded || GetPathKind(folder + "/" + kLinkRecord).kind != PathKind::Missing;
    for (const MethodState& method : ReadMethods(folder)) {
      if (running.empty() && (method.kind == MethodKind::Unknown ||
                              (method.kind == MethodKind::Link && method.target == bridge))) {
        running = folder + "/" + method.method;
      }
    }
  }
  return found;
}

// The remembered installations' lib/mgrs folders, each with its record's
// file, and the one cleartool on PATH belongs to (no file). A failure is
// printed.
Result<std::map<std::string, std::string>> ReadRemembered(const std::string& state) {
  Result<std::map<std::string, std::string>> remembered;
  std::map<std::string, std::string>& installations = remembered.value;
  const Result<std::vector<std::string>> names = ListFolder(state);
  if (!names.ok() && GetPathKind(state).kind != PathKind::Missing) {
    return {{},
            PrintFailure("cannot list " + state + ": " + ErrorText(names.status) +
                         ". Nothing was changed.")};
  }
  for (const std::string& name : names.value) {
    const std::string path = PathInFolder(state, name);
    if (name.find(kScratchMark) != std::string::npos) continue;  // an interrupted write's
    if (name.rfind(kVelmoraRecordPrefix, 0) == 0) continue;
    const Result<std::string> read = ReadWholeFile(path);
    if (!read.ok()) {
      return {{},
              PrintFailure("cannot read " + path + ": " + ErrorText(read.status) +
                           ". Nothing was changed.")};
    }
    const std::string& text = read.value;
    const size_t header = sizeof kHeader - 1;
    if (text.size() <= header + 1 || text.compare(0, header, kHeader) != 0 || text.back() != '\n') {
      PrintError("warning: " + path + " is not a record of mergebridge-setup; left alone.");
      continue;
    }
    installations[text.substr(header, text.size() - header - 1)] = path;
  }
  const std::string cleartool = SearchProgramPath("cleartool");
  if (!cleartool.empty())
    installations.emplace(NormalizedPath(FolderOf(FolderOf(cleartool)) + "/lib/mgrs"), "");
  return remembered;
}

// The words for a failure of the state folder's checks or a file call.
std::string StateFailureText(const std::string& path, const Status& status) {
  return status.message.empty() ? ErrorText(status) : path + " " + status.message;
}

// The state folder and the record of `managers` in it, checked as SYSTEM and
// administrators may trust them (CheckStateEntry); the record's path.
Result<std::string> TrustedRecord(const std::string& state, const std::string& managers) {
  const std::string path = RecordPath(state, managers);
  Status status = CheckStateEntry(state);
  const std::string failed = status.ok() ? path : state;
  if (status.ok()) status = CheckStateEntry(path);
  return {path, status.ok() ? status : FailureStatus(StateFailureText(failed, status))};
}

// After the package's removal, a method that still runs `bridge` fails.
void WarnIfRunning(const std::string& managers, const std::string& bridge) {
  const Result<InstallationState> found = SurveyManagers(managers, bridge);
  if (found.ok() && !found.value.running.empty()) {
    PrintError("warning: " + found.value.running + " still runs " + bridge +
               " (a type manager of your own?); "
               "ClearCase cannot run it once the package is removed.");
  }
}

}  // namespace

void RememberInstallation(const std::string& managers) {
  const std::string state = SetupStateFolder();
  if (state.empty()) return;
  const std::string path = RecordPath(state, managers),
                    text = kHeader + NormalizedPath(managers) + "\n";
  // Made, or checked and its access list given again (Windows), also where the
  // record is there already: an earlier version made the folder with the
  // list it inherited, which let every user add to it.
  Status status = MakeStateFolder(state);
  const Result<std::string> now = ReadWholeFile(path);
  if (status.ok() && now.ok() && now.value == text) return;
  if (status.ok()) status = ReplaceFileAtomically(path, text);
  if (!status.ok()) {
    PrintError("warning: cannot remember " + managers + " in " + state + ": " +
               StateFailureText(state, status) +
               (ManagersUseMap() ? "; status will not notice when ClearCase puts its own methods "
                                   "back. Going on."
                                 : "; removing the mergebridge package will not take mergebridge "
                                   "out of it, so run mergebridge-setup uninstall before that. "
                                   "Going on."));
  } else {
    NoteChange();
  }
}

bool IsRemembered(const std::string& managers) {
  const std::string state = SetupStateFolder();
  if (state.empty()) return false;
  const Result<std::string> record = TrustedRecord(state, managers);
  return record.ok() && GetPathKind(record.value).kind == PathKind::File;
}

std::vector<std::string> RecordedManagers(const std::string& managers) {
  std::vector<std::string> names;
  if (ManagersUseMap()) {
    const Result<std::string> text = ReadWholeFile(PathInFolder(managers, kMapRecord));
    const Result<SetupRecord> record =
        text.ok() ? ParseSetupRecord(text.value) : Result<SetupRecord>{{}, text.status};
    if (record.ok()) {
      for (const RecordRow& row : record.value.rows) {
        if (std::find(names.begin(), names.end(), row.first) == names.end())
          names.push_back(row.first);
      }
    }
    return names;
  }
  // A folder that cannot be listed has no records to name.
  const Result<std::vector<std::string>> listed = ListFolder(managers);
  for (const std::string& name : listed.value) {
    if (GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord)).kind == PathKind::File)
      names.push_back(name);
  }
  return names;
}

std::string VelmoraRecordPath(const std::string& installer) {
  const std::string state = SetupStateFolder();
  return state.empty() ? state : PathInFolder(state, kVelmoraRecordPrefix + installer);
}

std::vector<std::string> VelmoraRecordInstallers() {
  std::vector<std::string> installers;
  const std::string prefix = kVelmoraRecordPrefix;
  for (const std::string& name : ListFolder(SetupStateFolder()).value) {
    if (name.rfind(prefix, 0) == 0 && name.find(kScratchMark) == std::string::npos)
      installers.push_back(name.substr(prefix.size()));
  }
  return installers;
}

void ForgetIfUninstalled(const std::string& managers) {
  const std::string state = SetupStateFolder();
  if (state.empty() || KeepsRecord(managers)) return;
  const Result<std::string> record = TrustedRecord(state, managers);
  if (!record.ok()) {
    PrintError("warning: cannot forget " + managers + " in " + state + ": " +
               record.status.message + "; left alone.");
  } else if (Status removed = RemoveFileIfPresent(record.value); !removed.ok()) {
    PrintError("warning: cannot forget " + managers + " in " + state + ": " + ErrorText(removed) +
               ".");
  }
}

namespace {

// One remembered installation: forgotten where nothing is installed any more,
// else uninstalled. The value: whether it was uninstalled; a failure is
// printed.
Result<bool> UninstallOne(const SetupOptions& options, const std::string& bridge,
                          const std::pair<const std::string, std::string>& installation,
                          const std::function<Status(const SetupOptions&)>& uninstall) {
  const auto& [managers, record] = installation;
  const bool gone = GetPathKind(managers).kind == PathKind::Missing;
  // The map's record names no program: an installation with one runs ours.
  const bool mapped = !gone && ManagersUseMap() && KeepsRecord(managers);
  const Result<InstallationState> found = gone || ManagersUseMap()
                                              ? Result<InstallationState>{{managers, mapped}, {}}
                                              : SurveyManagers(managers, bridge);
  if (!found.ok()) {
    return {false,
            PrintFailure("cannot look at " + managers + ": " + ErrorText(found.status) + ".")};
  }
  // Without a manager's record there is nothing to put back: a method that
  // runs the bridge all the same was linked by hand.
  if (found.value.running.empty() || !found.value.recorded) {
    if (found.value.recorded) {
      PrintLine(managers + ": no method runs " + bridge + "; left alone.");
    } else if (!record.empty() && !options.dryRun && RemoveFileIfPresent(record).ok()) {
      PrintLine(managers + ": " +
                (gone ? "no longer there, so nothing of mergebridge's is left in it to give back"
                      : "mergebridge no longer installed") +
                "; forgotten.");
    }
    if (!gone) WarnIfRunning(managers, bridge);
    return {false, {}};
  }
  SetupOptions one = options;
  one.remembered = false;
  one.bridge.clear();
  one.clearcase = FolderOf(FolderOf(managers));
  PrintLine("ClearCase in " + one.clearcase + ":");
  const Status status = uninstall(one);
  if (status.ok() && !options.dryRun) WarnIfRunning(managers, bridge);
  return {true, status};
}

}  // namespace

Status UninstallRemembered(const SetupOptions& options, const std::string& bridge,
                           const std::function<Status(const SetupOptions&)>& uninstall) {
  // Each installation's lib/mgrs with its record's file (none: found through PATH).
  const Result<std::map<std::string, std::string>> installations =
      ReadRemembered(SetupStateFolder());
  if (!installations.ok()) return installations.status;
  Status status;
  bool any = false;
  for (const auto& installation : installations.value) {
    const Result<bool> done = UninstallOne(options, bridge, installation, uninstall);
    any = any || done.value;
    if (!done.ok()) status = done.status;
  }
  if (!any) {
    PrintLine("Nothing to undo: no ClearCase installation known here has an install that runs " +
              bridge + ".");
  }
  if (!status.ok()) {
    PrintError(
        "mergebridge is still in ClearCase where said above; put that right and run this again.");
  }
  return status;
}

std::vector<std::string> RememberedManagers() {
  const std::string state = SetupStateFolder();
  std::vector<std::string> found;
  const Result<std::vector<std::string>> names = ListFolder(state);
  for (const std::string& name : state.empty() ? std::vector<std::string>() : names.value) {
    const Result<std::string> read = ReadWholeFile(PathInFolder(state, name));
    const std::string& text = read.value;
    const size_t header = sizeof kHeader - 1;
    if (read.ok() && text.size() > header + 1 && text.compare(0, header, kHeader) == 0 &&
        text.back() == '\n') {
      found.push_back(text.substr(header, text.size() - header - 1));
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

SetupOptions WithRememberedClearCase(SetupOptions options) {
  if (!options.clearcase.empty() || !SearchProgramPath("cleartool").empty()) return options;
  const std::vector<std::string> remembered = RememberedManagers();
  if (remembered.empty()) return options;
  options.clearcase = FolderOf(FolderOf(remembered.front()));
  PrintLine("ClearCase as install remembered it (no cleartool on PATH): " + options.clearcase);
  return options;
}

}  // namespace mergebridge
