#include "setup/setup_remembered.h"

#include <algorithm>
#include <map>
#include <vector>

#include "common/text.h"
#include "host/files.h"
#include "host/notify.h"
#include "setup/setup_record.h"
#include "setup/setup_shared.h"

namespace {

// A record's first line names the format; the second is the installation's
// lib/mgrs folder.
const char kHeader[] = "mergebridge-setup installation 1\n";

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
  std::string ignored;
  if (ManagersUseMap())
    return GetPathKind(PathInFolder(managers, kMapRecord), ignored) != PathKind::Missing;
  std::vector<std::string> names;
  if (ListFolder(managers, names) != 0) return true;
  for (const std::string& name : names) {
    if (GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord), ignored) !=
        PathKind::Missing)
      return true;
  }
  return false;
}

// Looks through the installation's type managers. `running`: the first method
// that is a link to `bridge`, or one that cannot be looked at (its uninstall
// will say why); `recorded`: a manager keeps a record of an install (or may).
long SurveyManagers(const std::string& managers, const std::string& bridge, std::string& running,
                    bool& recorded) {
  running.clear();
  recorded = false;
  std::vector<std::string> names;
  if (const long error = ListFolder(managers, names)) return error;
  for (const std::string& name : names) {
    const std::string folder = managers + "/" + name;
    std::string target;
    const PathKind kind = GetPathKind(folder, target);
    if (kind != PathKind::Folder && kind != PathKind::Unreadable) continue;
    recorded = recorded || GetPathKind(folder + "/" + kLinkRecord, target) != PathKind::Missing;
    for (const MethodState& method : ReadMethods(folder)) {
      if (running.empty() && (method.kind == MethodKind::Unknown ||
                              (method.kind == MethodKind::Link && method.target == bridge))) {
        running = folder + "/" + method.method;
      }
    }
  }
  return 0;
}

// The remembered installations' lib/mgrs folders, each with its record's
// file, and the one cleartool on PATH belongs to (no file). False after a
// complaint.
bool ReadRemembered(const std::string& state, std::map<std::string, std::string>& installations) {
  std::vector<std::string> names;
  std::string ignored;
  const long listError = ListFolder(state, names);
  if (listError != 0 && GetPathKind(state, ignored) != PathKind::Missing) {
    PrintError("cannot list " + state + ": " + ErrorText(listError) + ". Nothing was changed.");
    return false;
  }
  for (const std::string& name : names) {
    const std::string path = PathInFolder(state, name);
    std::string text;
    if (name.find(kScratchMark) != std::string::npos) continue;  // an interrupted write's
    if (const long error = ReadWholeFile(path, text)) {
      PrintError("cannot read " + path + ": " + ErrorText(error) + ". Nothing was changed.");
      return false;
    }
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
  return true;
}

// After the package's removal, a method that still runs `bridge` fails.
void WarnIfRunning(const std::string& managers, const std::string& bridge) {
  std::string running;
  bool recorded = false;
  if (SurveyManagers(managers, bridge, running, recorded) == 0 && !running.empty()) {
    PrintError("warning: " + running + " still runs " + bridge +
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
  std::string now;
  if (ReadWholeFile(path, now) == 0 && now == text) return;
  long error = MakeFolder(state);
  if (error == 0) error = ReplaceFileAtomically(path, text);
  if (error != 0) {
    PrintError("warning: cannot remember " + managers + " in " + state + ": " + ErrorText(error) +
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
  std::string ignored;
  return !state.empty() && GetPathKind(RecordPath(state, managers), ignored) == PathKind::File;
}

std::vector<std::string> RecordedManagers(const std::string& managers) {
  std::vector<std::string> names;
  if (ManagersUseMap()) {
    std::string text, fault;
    SetupRecord record;
    if (ReadWholeFile(PathInFolder(managers, kMapRecord), text) == 0 &&
        ParseSetupRecord(text, record, fault)) {
      for (const RecordRow& row : record.rows) {
        if (std::find(names.begin(), names.end(), row.first) == names.end())
          names.push_back(row.first);
      }
    }
    return names;
  }
  std::vector<std::string> listed;
  ListFolder(managers, listed);
  for (const std::string& name : listed) {
    std::string ignored;
    if (GetPathKind(PathInFolder(PathInFolder(managers, name), kLinkRecord), ignored) ==
        PathKind::File)
      names.push_back(name);
  }
  return names;
}

void ForgetIfUninstalled(const std::string& managers) {
  const std::string state = SetupStateFolder();
  if (state.empty() || KeepsRecord(managers)) return;
  if (const long error = RemoveFileIfPresent(RecordPath(state, managers))) {
    PrintError("warning: cannot forget " + managers + " in " + state + ": " + ErrorText(error) +
               ".");
  }
}

int UninstallRemembered(const SetupOptions& options, const std::string& bridge,
                        const std::function<int(const SetupOptions&)>& uninstall) {
  const std::string state = SetupStateFolder();
  if (ManagersUseMap()) {
    PrintError(
        "--remembered is not needed here: removing mergebridge with its installer takes it "
        "out of ClearCase.");
    return 1;
  }
  // Each installation's lib/mgrs with its record's file (none: found through PATH).
  std::map<std::string, std::string> installations;
  if (!ReadRemembered(state, installations)) return 1;
  std::string ignored;
  int status = 0;
  bool any = false;
  for (const auto& [managers, record] : installations) {
    std::string running;
    bool recorded = false;
    const bool gone = GetPathKind(managers, ignored) == PathKind::Missing;
    if (const long error = gone ? 0 : SurveyManagers(managers, bridge, running, recorded)) {
      PrintError("cannot look at " + managers + ": " + ErrorText(error) + ".");
      status = 1;
      continue;
    }
    // Without a manager's record there is nothing to put back: a method that
    // runs the bridge all the same was linked by hand.
    if (running.empty() || !recorded) {
      if (recorded) {
        PrintLine(managers + ": no method runs " + bridge + "; left alone.");
      } else if (!record.empty() && !options.dryRun && RemoveFileIfPresent(record) == 0) {
        PrintLine(managers + ": " + (gone ? "no longer there" : "mergebridge no longer installed") +
                  "; forgotten.");
      }
      if (!gone) WarnIfRunning(managers, bridge);
      continue;
    }
    any = true;
    SetupOptions one = options;
    one.remembered = false;
    one.bridge.clear();
    one.clearcase = FolderOf(FolderOf(managers));
    PrintLine("ClearCase in " + one.clearcase + ":");
    if (uninstall(one) != 0) {
      status = 1;
    } else if (!options.dryRun) {
      WarnIfRunning(managers, bridge);
    }
  }
  if (!any) {
    PrintLine("Nothing to undo: no ClearCase installation known here has an install that runs " +
              bridge + ".");
  }
  if (status != 0) {
    PrintError(
        "mergebridge is still in ClearCase where said above; put that right and run this again.");
  }
  return status;
}
