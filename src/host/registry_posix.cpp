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

namespace mergebridge {

namespace {

constexpr char kFileName[] = "/mergebridge/registry.reg";
// Reads the registry file at `path` and looks the value up in it; fails with
// the errno value of the read. A FIFO or device in the file's place cannot
// hang or exhaust the merge: ReadWholeFile does not wait and has a size limit.
Result<RegFileLookup> LookUp(const std::string& path, RegFileRoot root, const std::string& keyPath,
                             const std::string& valueName) {
  const Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes.ok()) return {{}, bytes.status};
  return {LookUpRegFileValue(bytes.value, root, keyPath, valueName), {}};
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

// What looking in one place came to: the value when Found, else the step that
// failed and the error number; `lookup` keeps what the file said, for a report.
struct PlaceRead {
  Outcome outcome = Outcome::Found;
  RegistryStep step = RegistryStep::Connect;
  long error = 0;
  std::string value;
  RegFileLookup lookup;
};

// Failures map onto the Windows steps: a registry that cannot be reached or
// understood is the connect failure (EINVAL when not understood), a missing
// file or key the open failure, a missing value the read failure (ENOENT).
PlaceRead LookIn(const std::string& path, RegFileRoot root, const std::string& keyPath,
                 const std::string& valueName) {
  PlaceRead read;
  RegistryStep& step = read.step;
  long& error = read.error;
  Result<RegFileLookup> found = path.empty() ? Result<RegFileLookup>{{}, ErrorStatus(ENOENT)}
                                             : LookUp(path, root, keyPath, valueName);
  error = found.status.error;
  RegFileLookup& lookup = read.lookup = std::move(found.value);
  if (error != 0) {
    const bool missing = error == ENOENT || error == ENOTDIR;
    if (missing && !path.empty()) step = RegistryStep::OpenKey;
    read.outcome = missing ? Outcome::Absent : Outcome::Failed;
    return read;
  }
  error = ENOENT;
  read.outcome = Outcome::Absent;
  switch (lookup.status) {
    case RegFileStatus::ParseError:
      error = EINVAL;
      read.outcome = Outcome::Failed;
      return read;
    case RegFileStatus::NoKey:
      step = RegistryStep::OpenKey;
      return read;
    case RegFileStatus::NoValue:
      step = RegistryStep::ReadValue;
      return read;
    case RegFileStatus::Found:
      break;
  }
  error = 0;
  read.outcome = Outcome::Found;
  read.value = TextOf(std::move(lookup.data));
  return read;
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

// The quiet lookup in one place: the value, or the error number.
Result<std::string> ReadFrom(const std::string& path, RegFileRoot root, const std::string& keyPath,
                             const std::string& valueName) {
  PlaceRead read = LookIn(path, root, keyPath, valueName);
  return {std::move(read.value), ErrorStatus(read.error)};
}

RegFileRoot RootOf(RegistryScope scope) {
  return IsAccountScope(scope) ? RegFileRoot::CurrentUser : RegFileRoot::LocalMachine;
}

// Creates the missing folders above `path`, as an import would create the
// key; the machine's are made readable by every user whatever the umask.
// The value lists the new ones, also after a failure, so that a failed change
// can take them away.
Result<std::vector<std::string>> CreateFolders(const std::string& path, RegistryScope scope) {
  Result<std::vector<std::string>> created;
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    const Result<bool> made = MakeFolder(folder, IsAccountScope(scope));
    if (made.value) created.value.push_back(folder);
    if (!made.ok()) {
      created.status = made.status;
      return created;
    }
  }
  return created;
}

}  // namespace

std::string RegistryPlace(RegistryScope scope) {
  switch (scope) {
    case RegistryScope::User:
      return UserPlace();
    case RegistryScope::MachinePolicy:
      return ComputerPolicyFile();
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

Result<std::string> RegGetString(const std::string& keyPath, const std::string& valueName) {
  // Without HOME the user has no registry file, and so no value.
  const std::string path = UserPlace();
  PlaceRead user = LookIn(path, RegFileRoot::CurrentUser, keyPath, valueName);
  ShowFileFaults(path, user.lookup);
  if (user.outcome == Outcome::Found) return {std::move(user.value), {}};
  if (user.outcome == Outcome::Absent) {
    for (const std::string& place : MachinePlaces()) {
      PlaceRead machine = LookIn(place, RegFileRoot::LocalMachine, keyPath, valueName);
      // A file that had nothing to say leaves the report as it is without
      // the machine's places.
      if (machine.outcome != Outcome::Absent) ShowFileFaults(place, machine.lookup);
      if (machine.outcome == Outcome::Found) return {std::move(machine.value), {}};
      if (machine.outcome == Outcome::Failed) {
        return {{}, RegistryFailure(machine.step, keyPath, valueName, machine.error)};
      }
    }
  }
  return {{}, RegistryFailure(user.step, keyPath, valueName, user.error)};
}

Result<RegistryRead> ReadRegistryString(RegistryScope scope, const std::string& keyPath,
                                        const std::string& valueName) {
  if (scope != RegistryScope::Machine) {
    const std::string place = RegistryPlace(scope);
    Result<std::string> read = ReadFrom(place, RootOf(scope), keyPath, valueName);
    return {{std::move(read.value), place}, read.status};
  }
  Status status = ErrorStatus(ENOENT);
  for (const std::string& candidate : MachinePlaces()) {
    Result<std::string> read = ReadFrom(candidate, RegFileRoot::LocalMachine, keyPath, valueName);
    if (!IsAbsentFromRegistry(read.status))
      return {{std::move(read.value), candidate}, read.status};
    status = read.status;
  }
  return {{std::string(), RegistryPlace(scope)}, status};
}

bool IsAbsentFromRegistry(const Status& status) {
  return status.error == ENOENT || status.error == ENOTDIR;
}

Status WriteRegistryString(RegistryScope scope, const std::string& keyPath,
                           const std::string& valueName, const std::string& value, bool) {
  const std::string path = RegistryPlace(scope);
  if (path.empty()) return ErrorStatus(ENOENT);
  const Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes.ok() && bytes.status.error != ENOENT) return bytes.status;
  const Result<std::string> newBytes =
      SetRegFileValue(bytes.value, RootOf(scope), keyPath, valueName, value);
  if (!newBytes.ok()) return ErrorStatus(EINVAL);
  const Result<std::vector<std::string>> created = CreateFolders(path, scope);
  Status status = created.status;
  if (status.ok()) status = ReplaceFileAtomically(path, newBytes.value);
  for (auto folder = created.value.rbegin(); !status.ok() && folder != created.value.rend();
       ++folder) {
    rmdir(folder->c_str());
  }
  return status;
}

Result<bool> RemoveRegistryValue(RegistryScope scope, const std::string& keyPath,
                                 const std::string& valueName) {
  const std::string path = RegistryPlace(scope);
  if (path.empty()) return {false, {}};
  const Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes.ok()) return {false, IsAbsentFromRegistry(bytes.status) ? Status() : bytes.status};
  const Result<std::string> newBytes =
      RemoveRegFileValue(bytes.value, RootOf(scope), keyPath, valueName);
  if (!newBytes.ok()) return {false, ErrorStatus(EINVAL)};
  if (newBytes.value == bytes.value) return {false, {}};
  if (Status status = ReplaceFileAtomically(path, newBytes.value); !status.ok()) {
    return {false, status};
  }
  return {true, {}};
}

Result<LockState> LockRegistry(RegistryScope scope, long waitMillis) {
  const std::string path = RegistryPlace(scope);
  if (path.empty()) return {LockState::Held, {}};
  // A folder reached through a link is locked like any other.
  Result<LockState> lock = LockManagers(FolderOf(path), waitMillis);
  if (lock.value == LockState::Unavailable) lock.value = LockState::Held;
  if (lock.status.error == ENOENT || lock.status.error == ENOTDIR) lock.status = {};
  return lock;
}

std::vector<RegistryFileFault> RegistryFileFaults() {
  std::vector<RegistryFileFault> faults;
  std::vector<std::string> places = {ComputerPolicyFile(), UserPlace()};
  for (const std::string& place : MachinePlaces()) places.push_back(place);
  for (size_t i = 0; i < places.size(); ++i) {
    const RegFileRoot root = i == 1 ? RegFileRoot::CurrentUser : RegFileRoot::LocalMachine;
    const PlaceRead read =
        LookIn(places[i], root, i == 0 ? kVelmoraPolicyKey : kVelmoraKey, kVelmoraValue);
    for (const RegFileSkip& skipped : read.lookup.skipped) {
      faults.push_back({places[i], skipped.line, skipped.reason});
    }
    if (read.lookup.status == RegFileStatus::ParseError && read.error == EINVAL) {
      faults.push_back({places[i], read.lookup.line, read.lookup.reason});
    }
  }
  return faults;
}

}  // namespace mergebridge
