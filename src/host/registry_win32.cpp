// Win32 registry reader: the current user's registry through the advapi32
// calls, with every failure shown to the user where it happens.
#include "host/registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "host/host_reports.h"

namespace {

// The size the first query starts from; the system replaces it with the
// value's real size, so longer values are read whole all the same.
constexpr DWORD kInitialSizeBytes = 512;

}  // namespace

// Registry functions return their error and leave the thread's last-error
// value alone, so GetLastError() here would report whatever an earlier call
// left behind; the failing call's own result is the number shown.
int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  HKEY root = nullptr;
  LONG status = RegConnectRegistryA("", HKEY_CURRENT_USER, &root);
  if (status != ERROR_SUCCESS) {
    ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, status);
    return 1;
  }

  HKEY key = nullptr;
  status = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    ReportRegistryFailure(RegistryStep::OpenKey, keyPath, valueName, status);
    RegCloseKey(root);
    return 1;
  }

  // The size query's own result does not matter: a missing value makes the
  // read below fail, and that failure is the one reported.
  DWORD size = kInitialSizeBytes;
  RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, nullptr, &size);

  // One zero byte more than the system will write, so that a string stored
  // without its terminator, or binary data, still ends inside the buffer.
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  status = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr,
                            reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (status != ERROR_SUCCESS) {
    out.clear();
    ReportRegistryFailure(RegistryStep::ReadValue, keyPath, valueName, status);
    RegCloseKey(key);
    RegCloseKey(root);
    return 1;
  }
  out.assign(buffer.data(), std::strlen(buffer.data()));

  RegCloseKey(key);
  RegCloseKey(root);
  return 0;
}
