// Win32 registry: the current user's registry through the advapi32 wide calls.
// RegGetString shows every failure to the user where it happens; the quiet
// functions leave that to their caller.
#include "host/registry.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "host/host_reports.h"
#include "host/utf16_win32.h"

namespace {

// The size the first query starts from; the system replaces it with the
// value's real size, so longer values are read whole all the same.
constexpr DWORD kInitialSizeBytes = 512;

// The value as the narrow registry functions would give it, in UTF-8: string
// types are UTF-16 text up to their first zero character, every other type is
// its bytes up to the first zero byte.
std::string ValueText(DWORD type, const std::vector<wchar_t>& buffer) {
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    return ToUtf8(std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
  }
  const char* bytes = reinterpret_cast<const char*>(buffer.data());
  return std::string(bytes, strnlen(bytes, buffer.size() * sizeof(wchar_t)));
}

// Reads `valueName` from the open `key` into `out`. Returns the registry call's
// result. The size query's own result does not matter: a missing value makes
// the read fail, and that failure is the one that counts.
LONG ReadValue(HKEY key, const std::string& valueName, std::string& out) {
  const std::wstring name = ToUtf16(valueName);
  DWORD size = kInitialSizeBytes;
  RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);

  // One zero character more than the system will write (an odd size rounded
  // up), so that a string stored without its terminator, or binary data, still
  // ends inside the buffer.
  std::vector<wchar_t> buffer(static_cast<size_t>(size) / sizeof(wchar_t) + 2, L'\0');
  DWORD type = REG_NONE;
  const LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (status == ERROR_SUCCESS) out = ValueText(type, buffer);
  return status;
}

}  // namespace

std::string UserRegistryPlace() { return "the registry"; }

// Registry functions return their error and leave the thread's last-error
// value alone, so GetLastError() here would report whatever an earlier call
// left behind; the failing call's own result is the number shown.
int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  HKEY root = nullptr;
  LONG status = RegConnectRegistryW(L"", HKEY_CURRENT_USER, &root);
  if (status != ERROR_SUCCESS) {
    ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, status);
    return 1;
  }

  HKEY key = nullptr;
  status = RegOpenKeyExW(root, ToUtf16(keyPath).c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    ReportRegistryFailure(RegistryStep::OpenKey, keyPath, valueName, status);
    RegCloseKey(root);
    return 1;
  }

  status = ReadValue(key, valueName, out);
  if (status != ERROR_SUCCESS) {
    out.clear();
    ReportRegistryFailure(RegistryStep::ReadValue, keyPath, valueName, status);
    RegCloseKey(key);
    RegCloseKey(root);
    return 1;
  }
  RegCloseKey(key);
  RegCloseKey(root);
  return 0;
}

long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, ToUtf16(keyPath).c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  status = ReadValue(key, valueName, out);
  RegCloseKey(key);
  return status;
}

long WriteUserString(const std::string& keyPath, const std::string& valueName,
                     const std::string& value) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, ToUtf16(keyPath).c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const std::wstring data = ToUtf16(value);
  status = RegSetValueExW(key, ToUtf16(valueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}
