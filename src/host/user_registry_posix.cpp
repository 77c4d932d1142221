// POSIX user registry: the registry file in the user's configuration folder,
// read and rewritten whole (atomically) through the registry-file format.
#include "host/user_registry.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>

#include "host/files.h"
#include "host/reg_file.h"

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

long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  const std::string path = UserRegistryPlace();
  if (path.empty()) return ENOENT;
  std::string bytes;
  if (const long error = ReadWholeFile(path, bytes)) return error;
  RegFileLookup lookup = LookUpRegFileValue(bytes, keyPath, valueName);
  if (lookup.status == RegFileStatus::ParseError) return EINVAL;
  if (lookup.status != RegFileStatus::Found) return ENOENT;
  out = lookup.data.substr(0, lookup.data.find('\0'));
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
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return ReplaceFileAtomically(path, newBytes);
}
