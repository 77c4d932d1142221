// Win32 registry: the current user's and the machine's registry through the
// advapi32 wide calls. RegGetString words every failure for the user; the
// quiet functions leave that to their caller.
#include "host/registry.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "host/host_reports.h"
#include "host/utf16_win32.h"

namespace mergebridge {

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

// A value's text (ValueText) and its type.
struct TypedValue {
  std::string text;
  DWORD type = REG_NONE;
};

// Reads `valueName` from the open `key`; fails with the registry call's
// result. The size query's own result does not matter: a missing value makes
// the read fail, and that failure is the one that counts.
Result<TypedValue> ReadValue(HKEY key, const std::string& valueName) {
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
  if (status != ERROR_SUCCESS) return {{}, ErrorStatus(status)};
  return {{ValueText(type, buffer), type}, {}};
}

// The machine's views, in the order they are read: a 64-bit installer writes
// the 64-bit one; 32-bit Windows ignores the flags.
constexpr REGSAM kMachineViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// What reading one key came to: the value, or the registry call's result and
// which call it is from; `view` is the view read.
struct KeyRead {
  Result<std::string> read;
  RegistryStep step = RegistryStep::OpenKey;
  REGSAM view = 0;
  DWORD type = REG_NONE;
};

// Reads the value under `root`\`keyPath` in `view`.
KeyRead ReadFromKey(HKEY root, REGSAM view, const std::string& keyPath,
                    const std::string& valueName) {
  KeyRead result;
  result.view = view;
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(root, ToUtf16(keyPath).c_str(), 0, KEY_READ | view, &key);
  if (status != ERROR_SUCCESS) {
    result.read.status = ErrorStatus(status);
    return result;
  }
  result.step = RegistryStep::ReadValue;
  Result<TypedValue> read = ReadValue(key, valueName);
  result.read = {std::move(read.value.text), read.status};
  result.type = read.value.type;
  RegCloseKey(key);
  return result;
}

// The machine's value, from the first view that has it.
KeyRead ReadMachine(const std::string& keyPath, const std::string& valueName) {
  KeyRead result;
  result.read.status = ErrorStatus(ERROR_FILE_NOT_FOUND);
  for (REGSAM view : kMachineViews) {
    result = ReadFromKey(HKEY_LOCAL_MACHINE, view, keyPath, valueName);
    if (result.read.status.error != ERROR_FILE_NOT_FOUND) break;
  }
  return result;
}

HKEY RootOf(RegistryScope scope) {
  return IsAccountScope(scope) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Writes go to the machine's 64-bit view, where a 64-bit Velmora's own
// installer keeps the value and where it is read first. Software\Policies is
// not shared between the views: Group Policy writes the 64-bit one, so this
// 32-bit program asks for it by name. HKEY_CURRENT_USER's Software is shared.
REGSAM ViewOf(RegistryScope scope) {
  return IsAccountScope(scope) ? 0 : KEY_WOW64_64KEY;
}

}  // namespace

std::string RegistryPlace(RegistryScope) {
  return "the registry";
}

std::string MachineRegistryOwner() {
  return "an administrator";
}

// Registry functions return their error and leave the thread's last-error
// value alone, so GetLastError() here would report whatever an earlier call
// left behind; the failing call's own result is the number shown.
Result<std::string> RegGetString(const std::string& keyPath, const std::string& valueName) {
  HKEY root = nullptr;
  const LONG status = RegConnectRegistryW(L"", HKEY_CURRENT_USER, &root);
  if (status != ERROR_SUCCESS) {
    return {{}, RegistryFailure(RegistryStep::Connect, keyPath, valueName, status)};
  }
  const KeyRead user = ReadFromKey(root, 0, keyPath, valueName);
  RegCloseKey(root);
  if (user.read.ok()) return user.read;
  // Only an absent key or value falls through to the machine's; whatever else
  // went wrong with the user's is the user's to see.
  if (user.read.status.error == ERROR_FILE_NOT_FOUND) {
    const KeyRead machine = ReadMachine(keyPath, valueName);
    if (machine.read.ok()) return machine.read;
    if (machine.read.status.error != ERROR_FILE_NOT_FOUND) {
      return {{}, RegistryFailure(machine.step, keyPath, valueName, machine.read.status.error)};
    }
  }
  return {{}, RegistryFailure(user.step, keyPath, valueName, user.read.status.error)};
}

Result<RegistryRead> ReadRegistryString(RegistryScope scope, const std::string& keyPath,
                                        const std::string& valueName) {
  std::string place = RegistryPlace(scope);
  const KeyRead found = scope != RegistryScope::Machine
                            ? ReadFromKey(RootOf(scope), ViewOf(scope), keyPath, valueName)
                            : ReadMachine(keyPath, valueName);
  if (scope == RegistryScope::Machine && found.read.ok() && found.view == KEY_WOW64_32KEY) {
    place += "'s 32-bit view";
  }
  return {{found.read.value, place, found.type == REG_EXPAND_SZ}, found.read.status};
}

bool IsAbsentFromRegistry(const Status& status) {
  return status.error == ERROR_FILE_NOT_FOUND;
}

Status WriteRegistryString(RegistryScope scope, const std::string& keyPath,
                           const std::string& valueName, const std::string& value,
                           bool expandable) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(RootOf(scope), ToUtf16(keyPath).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | ViewOf(scope), nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return ErrorStatus(status);
  const std::wstring data = ToUtf16(value);
  status = RegSetValueExW(key, ToUtf16(valueName).c_str(), 0, expandable ? REG_EXPAND_SZ : REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return ErrorStatus(status);
}

Result<bool> RemoveRegistryValue(RegistryScope scope, const std::string& keyPath,
                                 const std::string& valueName) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(RootOf(scope), ToUtf16(keyPath).c_str(), 0,
                              KEY_SET_VALUE | ViewOf(scope), &key);
  if (status == ERROR_SUCCESS) {
    status = RegDeleteValueW(key, ToUtf16(valueName).c_str());
    RegCloseKey(key);
  }
  if (status == ERROR_FILE_NOT_FOUND) return {false, {}};
  return {status == ERROR_SUCCESS, ErrorStatus(status)};
}

Result<LockState> LockRegistry(RegistryScope, long) {
  return {LockState::Held, {}};
}

std::vector<RegistryFileFault> RegistryFileFaults() {
  return {};  // the registry itself has no lines to get wrong
}

}  // namespace mergebridge
