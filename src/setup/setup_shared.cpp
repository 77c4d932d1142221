#include "setup/setup_shared.h"

#include "common/text.h"
#include "host/files.h"
#include "host/notify.h"
#include "setup/json_text.h"

namespace mergebridge {

SetupReport& RunReport() {
  static SetupReport report;
  return report;
}

void NoteChange() {
  RunReport().changed = true;
}

void PrintLine(const std::string& text) {
  if (!RunReport().json) return WriteConsoleLine(ConsoleStream::Out, text);
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    RunReport().lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

void PrintError(const std::string& text, const char* code) {
  const std::string line = "mergebridge-setup: " + text;
  WriteConsoleLine(ConsoleStream::Err, line);
  // Kept with or without --json: the exit status is decided from the codes.
  if (code == nullptr) code = text.rfind("warning: ", 0) == 0 ? kErrorWarning : kErrorFailed;
  RunReport().errors.push_back({code, line});
  if (RunReport().json) RunReport().lines.push_back(line);
}

Status PrintFailure(const std::string& text, const char* code) {
  PrintError(text, code);
  return FailureStatus(text);
}

std::string ErrorsJson(const std::vector<SetupError>& errors) {
  std::vector<std::string> objects;
  for (const SetupError& error : errors) {
    objects.push_back(
        JsonObject({{"code", JsonString(error.code)}, {"message", JsonString(error.message)}}));
  }
  return JsonList(objects);
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
  return folder + PathSeparator() + name;
}

std::string LinkTargetPath(const std::string& folder, const std::string& target) {
  return !target.empty() && target[0] == '/' ? target : PathInFolder(folder, target);
}

std::string ErrorText(const Status& status) {
  return Format("%s (error %ld)", SystemErrorTextInSentence(status.error).c_str(), status.error);
}

// How a failure's report ends. A change can be in place although the write
// failed: the rename went through and only the flush of its folder did not.
std::string FailureEnding(bool landed) {
  return landed ? ". The change is in place but may not be on disk yet; run this again."
                : ". Nothing was changed.";
}

Result<std::string> FindManagers(const SetupOptions& options) {
  std::string home = options.clearcase;
  if (home.empty()) {
    const std::string cleartool = SearchProgramPath("cleartool");
    if (cleartool.empty()) {
      return {{},
              FailureStatus("ClearCase not found: no cleartool on PATH (give --clearcase DIR)")};
    }
    home = FolderOf(FolderOf(cleartool));
  }
  const std::string managers = PathInFolder(PathInFolder(AbsolutePath(home), "lib"), "mgrs");
  if (GetPathKind(managers).kind != PathKind::Folder) {
    return {{}, FailureStatus("ClearCase's type managers not found: no folder " + managers)};
  }
  return {managers, {}};
}

std::string BridgePath(const SetupOptions& options) {
  if (!options.bridge.empty()) return AbsolutePath(options.bridge);
  return PathInFolder(FolderOf(OwnProgramPath()),
                      ManagersUseMap() ? "mergebridge.exe" : "mergebridge");
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
  for (const std::string& method : BridgedMethods()) {
    MethodState state;
    state.method = method;
    const PathState found = GetPathKind(PathInFolder(folder, method));
    switch (found.kind) {
      case PathKind::Missing:
        state.kind = MethodKind::Missing;
        break;
      case PathKind::Link:
        state.kind = MethodKind::Link;
        state.target = found.linkTarget;
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
    const PathKind backup = GetPathKind(PathInFolder(folder, BackupName(method))).kind;
    state.backupTaken = backup != PathKind::Missing;
    if (backup == PathKind::Unreadable) state.kind = MethodKind::Unknown;
    if (state.kind == MethodKind::File && backup == PathKind::File) {
      // An interrupted install leaves the backup as a second name of the
      // method file: the same bytes.
      const Result<std::string> bytes = ReadWholeFile(PathInFolder(folder, method));
      const Result<std::string> backupBytes =
          ReadWholeFile(PathInFolder(folder, BackupName(method)));
      if (!bytes.ok() || !backupBytes.ok()) state.kind = MethodKind::Unknown;
      state.backupIsCopy = bytes.value == backupBytes.value;
    }
    states.push_back(state);
  }
  return states;
}

std::string DescribeScope(RegistryScope scope) {
  switch (scope) {
    case RegistryScope::User:
      return "for this user";
    case RegistryScope::Machine:
      return "for all users of this computer";
    case RegistryScope::MachinePolicy:
      return "by this computer's policy";
    case RegistryScope::UserPolicy:
      return "by this user's policy";
  }
  return std::string();
}

std::string DescribeValuePlace(RegistryScope scope, const std::string& place) {
  const char* root = IsAccountScope(scope) ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  return std::string(kVelmoraValue) + " under " + root + "\\" + VelmoraKeyOf(scope) + " in " +
         (place.empty() ? "no registry file (see HOME and XDG_CONFIG_DIRS)" : place);
}

}  // namespace mergebridge
