// Win32 user registry: HKEY_CURRENT_USER through the wide advapi32 calls.
#include "host/user_registry.h"

#include <windows.h>

#include <vector>

#include "host/utf16_win32.h"

std::string UserRegistryPlace() { return "the registry"; }

// Registry functions return their error rather than setting the last error.
long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, ToUtf16(keyPath).c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  const std::wstring name = ToUtf16(valueName);
  DWORD size = 0;
  status = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);
  // One character more than the system writes, so that a string stored without
  // its terminator still ends inside the buffer.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  if (status == ERROR_SUCCESS) {
    size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    status = RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer.data()), &size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  out = ToUtf8(std::wstring(buffer.data()));
  return 0;
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
