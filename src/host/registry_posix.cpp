// POSIX registry: the current user's registry is a registry export file in the
// user's configuration folder, read and rewritten whole (atomically). File
// access and failure reports live here; the format is reg_file.cpp's business.
#include "host/registry.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>
#include <utility>

#include "common/text.h"
#include "host/files.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/reg_file.h"

namespace {

// Reads the registry file at `path` and looks the value up in it. Returns 0,
// or the errno value of the read. A FIFO or device in the file's place cannot
// hang or exhaust the merge: ReadWholeFile does not wait and has a size limit.
long LookUp(const std::string& path, const std::string& keyPath, const std::string& valueName,
            RegFileLookup& lookup) {
  std::string bytes;
  if (const long error = ReadWholeFile(path, bytes)) return error;
  lookup = LookUpRegFileValue(bytes, keyPath, valueName);
  return 0;
}

// Whatever a value holds is text up to its first zero byte.
std::string TextOf(std::string data) {
  const size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

}  // namespace

std::string UserRegistryPlace() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && *config != '\0') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::string();
    folder = std::string(home) + "/.config";
  }
  return folder + "/mergebridge/registry.reg";
}

int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  // Failures map onto the Windows steps: a registry that cannot be reached or
  // understood is the connect failure, a missing file or key the open
  // failure, a missing value the read failure.
  const std::string path = UserRegistryPlace();
  if (path.empty()) {
    ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, ENOENT);
    return 1;
  }
  RegFileLookup lookup;
  if (const long error = LookUp(path, keyPath, valueName, lookup)) {
    const bool missing = error == ENOENT || error == ENOTDIR;
    ReportRegistryFailure(missing ? RegistryStep::OpenKey : RegistryStep::Connect, keyPath,
                          valueName, error);
    return 1;
  }
  // A broken line far from the value does not stop the merge, but the user
  // still learns about it.
  for (const RegFileSkip& skipped : lookup.skipped) {
    WriteConsoleLine(ConsoleStream::Err,
                     Format("%s:%ld: %s", path.c_str(), skipped.line, skipped.reason.c_str()));
  }
  switch (lookup.status) {
    case RegFileStatus::ParseError:
      WriteConsoleLine(ConsoleStream::Err,
                       Format("%s:%ld: %s", path.c_str(), lookup.line, lookup.reason.c_str()));
      ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, EINVAL);
      return 1;
    case RegFileStatus::NoKey:
      ReportRegistryFailure(RegistryStep::OpenKey, keyPath, valueName, ENOENT);
      return 1;
    case RegFileStatus::NoValue:
      out.clear();
      ReportRegistryFailure(RegistryStep::ReadValue, keyPath, valueName, ENOENT);
      return 1;
    case RegFileStatus::Found:
      break;
  }
  out = TextOf(std::move(lookup.data));
  return 0;
}

long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  const std::string path = UserRegistryPlace();
  if (path.empty()) return ENOENT;
  RegFileLookup lookup;
  if (const long error = LookUp(path, keyPath, valueName, lookup)) return error;
  if (lookup.status == RegFileStatus::ParseError) return EINVAL;
  if (lookup.status != RegFileStatus::Found) return ENOENT;
  out = TextOf(std::move(lookup.data));
  return 0;
}

long WriteUserString(const std::string& keyPath, const std::string& valueName,
                     const std::string& value) {
  const std::string path = UserRegistryPlace();
  if (path.empty()) return ENOENT;
  std::string bytes;
  const long readError = ReadWholeFile(path, bytes);
  if (readError != 0 && readError != ENOENT) return readError;
  std::string newBytes, fault;
  if (!SetRegFileValue(bytes, keyPath, valueName, value, newBytes, fault)) return EINVAL;
  // The folders up to the file, as an import would create the key.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return ReplaceFileAtomically(path, newBytes);
}
