// POSIX registry: the current user's registry is a registry export file in the
// user's configuration folder, the machine's one in each system configuration
// folder; each is read and rewritten whole (atomically). File access, the
// order of the places and failure reports live here; the format is
// reg_file.cpp's business.
#include "host/registry.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "common/text.h"
#include "host/files.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/setup_lock.h"
#include "regfile/reg_file.h"

namespace {

constexpr char kFileName[] = "/mergebridge/registry.reg";
// The computer's policy: a fixed place, never looked up through the XDG
// folders, which the user may set.
constexpr char kPolicyFile[] = "/etc/mergebridge/policy.reg";

// Reads the registry file at `path` and looks the value up in it. Returns 0,
// or the errno value of the read. A FIFO or device in the file's place cannot
// hang or exhaust the merge: ReadWholeFile does not wait and has a size limit.
long LookUp(const std::string& path, RegFileRoot root, const std::string& keyPath,
            const std::string& valueName, RegFileLookup& lookup) {
  std::string bytes;
  if (const long error = ReadWholeFile(path, bytes)) return error;
  lookup = LookUpRegFileValue(bytes, root, keyPath, valueName);
  return 0;
}

// Whatever a value holds is text up to its first zero byte.
std::string TextOf(std::string data) {
  const size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

std::string UserPlace() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && *config != '\0') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::string();
    folder = std::string(home) + "/.config";
  }
  return folder + kFileName;
}

// The machine's registry files, most important first. A relative folder is
// passed over, as the base directory rules say: the merge runs in whatever
// folder ClearCase chose, and no file there may speak for the machine.
std::vector<std::string> MachinePlaces() {
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  const std::string list = dirs != nullptr && *dirs != '\0' ? dirs : "/etc/xdg";
  std::vector<std::string> places;
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start && list[start] == '/') {
      places.push_back(list.substr(start, end - start) + kFileName);
    }
    start = end + 1;
  }
  return places;
}

enum class Outcome { Found, Absent, Failed };

// Looks in one place. Failures map onto the Windows steps: a registry that
// cannot be reached or understood is the connect failure (EINVAL when not
// understood), a missing file or key the open failure, a missing value the
// read failure (ENOENT). `lookup` keeps what the file said, for a report.
Outcome LookIn(const std::string& path, RegFileRoot root, const std::string& keyPath,
               const std::string& valueName, std::string& out, RegistryStep& step, long& error,
               RegFileLookup& lookup) {
  step = RegistryStep::Connect;
  error = path.empty() ? ENOENT : LookUp(path, root, keyPath, valueName, lookup);
  if (error != 0) {
    const bool missing = error == ENOENT || error == ENOTDIR;
    if (missing && !path.empty()) step = RegistryStep::OpenKey;
    return missing ? Outcome::Absent : Outcome::Failed;
  }
  error = ENOENT;
  switch (lookup.status) {
    case RegFileStatus::ParseError:
      error = EINVAL;
      return Outcome::Failed;
    case RegFileStatus::NoKey:
      step = RegistryStep::OpenKey;
      return Outcome::Absent;
    case RegFileStatus::NoValue:
      step = RegistryStep::ReadValue;
      return Outcome::Absent;
    case RegFileStatus::Found:
      break;
  }
  error = 0;
  out = TextOf(std::move(lookup.data));
  return Outcome::Found;
}

// A broken line far from the value does not stop the merge, but the user
// still learns about it; a file that cannot be understood says where.
void ShowFileFaults(const std::string& path, const RegFileLookup& lookup) {
  for (const RegFileSkip& skipped : lookup.skipped) {
    WriteConsoleLine(ConsoleStream::Err,
                     Format("%s:%ld: %s", path.c_str(), skipped.line, skipped.reason.c_str()));
  }
  if (lookup.status == RegFileStatus::ParseError) {
    WriteConsoleLine(ConsoleStream::Err,
                     Format("%s:%ld: %s", path.c_str(), lookup.line, lookup.reason.c_str()));
  }
}

// The quiet lookup in one place: 0 or the error number.
long ReadFrom(const std::string& path, RegFileRoot root, const std::string& keyPath,
              const std::string& valueName, std::string& out) {
  RegistryStep step;
  long error;
  RegFileLookup lookup;
  LookIn(path, root, keyPath, valueName, out, step, error, lookup);
  return error;
}

RegFileRoot RootOf(RegistryScope scope) {
  return IsAccountScope(scope) ? RegFileRoot::CurrentUser : RegFileRoot::LocalMachine;
}

std::string PolicyPlace() {
  const char* file = std::getenv("MERGEBRIDGE_POLICY_FILE");
  return file != nullptr && *file != '\0' ? file : kPolicyFile;
}

// Creates the missing folders above `path`, as an import would create the
// key; the machine's are made readable by every user whatever the umask.
// `created` lists the new ones, so that a failed change can take them away.
long CreateFolders(const std::string& path, RegistryScope scope,
                   std::vector<std::string>& created) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    bool made = false;
    const long error = MakeFolder(folder, IsAccountScope(scope), &made);
    if (made) created.push_back(folder);
    if (error != 0) return error;
  }
  return 0;
}

}  // namespace

std::string RegistryPlace(RegistryScope scope) {
  switch (scope) {
    case RegistryScope::User:
      return UserPlace();
    case RegistryScope::MachinePolicy:
      return PolicyPlace();
    case RegistryScope::UserPolicy:
      return std::string();  // Linux has no user policy
    case RegistryScope::Machine:
      break;
  }
  const std::vector<std::string> places = MachinePlaces();
  return places.empty() ? std::string() : places.front();
}

std::string MachineRegistryOwner() {
  return "root";
}

int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  // Without HOME the user has no registry file, and so no value.
  const std::string path = UserPlace();
  RegistryStep step;
  long error;
  RegFileLookup lookup;
  const Outcome outcome =
      LookIn(path, RegFileRoot::CurrentUser, keyPath, valueName, out, step, error, lookup);
  ShowFileFaults(path, lookup);
  if (outcome == Outcome::Found) return 0;
  if (outcome == Outcome::Absent) {
    for (const std::string& place : MachinePlaces()) {
      RegistryStep machineStep;
      long machineError;
      RegFileLookup machineLookup;
      std::string value;
      const Outcome machine = LookIn(place, RegFileRoot::LocalMachine, keyPath, valueName, value,
                                     machineStep, machineError, machineLookup);
      // A file that had nothing to say leaves the report as it is without
      // the machine's places.
      if (machine != Outcome::Absent) ShowFileFaults(place, machineLookup);
      if (machine == Outcome::Found) {
        out = std::move(value);
        return 0;
      }
      if (machine == Outcome::Failed) {
        ReportRegistryFailure(machineStep, keyPath, valueName, machineError);
        return 1;
      }
    }
  }
  if (step == RegistryStep::ReadValue) out.clear();
  ReportRegistryFailure(step, keyPath, valueName, error);
  return 1;
}

long ReadRegistryString(RegistryScope scope, const std::string& keyPath,
                        const std::string& valueName, std::string& out, std::string& place) {
  if (scope != RegistryScope::Machine) {
    place = RegistryPlace(scope);
    return ReadFrom(place, RootOf(scope), keyPath, valueName, out);
  }
  long error = ENOENT;
  for (const std::string& candidate : MachinePlaces()) {
    place = candidate;
    error = ReadFrom(candidate, RegFileRoot::LocalMachine, keyPath, valueName, out);
    if (!IsAbsentFromRegistry(error)) return error;
  }
  place = RegistryPlace(scope);
  return error;
}

bool IsAbsentFromRegistry(long error) {
  return error == ENOENT || error == ENOTDIR;
}

long WriteRegistryString(RegistryScope scope, const std::string& keyPath,
                         const std::string& valueName, const std::string& value) {
  const std::string path = RegistryPlace(scope);
  if (path.empty()) return ENOENT;
  std::string bytes;
  const long readError = ReadWholeFile(path, bytes);
  if (readError != 0 && readError != ENOENT) return readError;
  std::string newBytes, fault;
  if (!SetRegFileValue(bytes, RootOf(scope), keyPath, valueName, value, newBytes, fault)) {
    return EINVAL;
  }
  std::vector<std::string> created;
  long error = CreateFolders(path, scope, created);
  if (error == 0) error = ReplaceFileAtomically(path, newBytes);
  for (auto folder = created.rbegin(); error != 0 && folder != created.rend(); ++folder) {
    rmdir(folder->c_str());
  }
  return error;
}

long RemoveRegistryValue(RegistryScope scope, const std::string& keyPath,
                         const std::string& valueName, bool& removed) {
  removed = false;
  const std::string path = RegistryPlace(scope);
  if (path.empty()) return 0;
  std::string bytes;
  if (const long error = ReadWholeFile(path, bytes)) return IsAbsentFromRegistry(error) ? 0 : error;
  std::string newBytes, fault;
  if (!RemoveRegFileValue(bytes, RootOf(scope), keyPath, valueName, newBytes, fault)) return EINVAL;
  if (newBytes == bytes) return 0;
  if (const long error = ReplaceFileAtomically(path, newBytes)) return error;
  removed = true;
  return 0;
}

long LockRegistry(RegistryScope scope, long waitMillis) {
  const std::string path = RegistryPlace(scope);
  std::string ignored;
  if (path.empty() || GetPathKind(FolderOf(path), ignored) != PathKind::Folder) return 0;
  const long error = LockManagers(FolderOf(path), waitMillis);
  return error == kLockUnavailable ? 0 : error;
}
