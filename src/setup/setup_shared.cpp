#include "setup/setup_shared.h"

#include "common/text.h"
#include "host/files.h"
#include "host/notify.h"

namespace {

const char* const kMethods[] = {"xcompare", "xmerge"};

}  // namespace

void Say(const std::string& text) {
  WriteConsoleLine(ConsoleStream::Out, text);
}
void Complain(const std::string& text) {
  WriteConsoleLine(ConsoleStream::Err, "mergebridge-setup: " + text);
}

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

std::string DescribeMethod(const MethodState& state) {
  switch (state.kind) {
    case MethodKind::Missing:
      return "(none)";
    case MethodKind::Link:
      return state.target;
    case MethodKind::File:
      return "(a program file)";
    case MethodKind::Other:
      return "(not a program)";
    case MethodKind::Unknown:
      return "(cannot be looked at)";
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
      case PathKind::Missing:
        state.kind = MethodKind::Missing;
        break;
      case PathKind::Link:
        state.kind = MethodKind::Link;
        state.target = target;
        break;
      case PathKind::File:
        state.kind = MethodKind::File;
        break;
      case PathKind::Unreadable:
        state.kind = MethodKind::Unknown;
        break;
      default:
        state.kind = MethodKind::Other;
        break;
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

std::string Whom(RegistryScope scope) {
  return scope == RegistryScope::User ? "for this user" : "for all users of this computer";
}

std::string Where(RegistryScope scope, const std::string& place) {
  const char* root = scope == RegistryScope::User ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  return std::string(kToolValue) + " under " + root + "\\" + kToolKey + " in " +
         (place.empty() ? "no registry file (see HOME and XDG_CONFIG_DIRS)" : place);
}
