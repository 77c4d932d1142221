// Win32: a named mutex, which the system removes with its last handle and
// hands on (abandoned) when a run holding it is killed.
#include "host/setup_lock.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "common/text.h"
#include "host/files.h"
#include "host/utf16_win32.h"

long LockManagers(const std::string& managers, long waitMillis) {
  // A mutex name may not hold a backslash and is limited in length: the map's
  // full path, letter case folded as the file system folds it, is hashed
  // (FNV-1a) into the name. Global: one lock for every session on the machine.
  std::string path = AbsolutePath(managers + "\\map");
  LowerCaseAscii(path);
  uint64_t hash = 14695981039346656037ull;
  for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[64];
  std::snprintf(name, sizeof name, "Global\\mergebridge-setup-%016llx",
                static_cast<unsigned long long>(hash));
  // Never closed: the lock lasts as long as the handle, that is the run.
  // Waiting needs no more than SYNCHRONIZE; CreateMutexW asks for all access
  // to a mutex that exists, which one made by another account (the
  // installer's service, say) refuses, hiding that a run is busy.
  const std::wstring wideName = ToUtf16(name);
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, wideName.c_str());
  if (mutex == nullptr && GetLastError() == ERROR_FILE_NOT_FOUND) {
    mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
  }
  if (mutex == nullptr) return static_cast<long>(GetLastError());
  long error = 0;
  switch (WaitForSingleObject(mutex, static_cast<DWORD>(waitMillis))) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: return 0;  // abandoned: a killed run, whose work the rerun finishes
    case WAIT_TIMEOUT: error = kLockBusy; break;
    default: error = static_cast<long>(GetLastError());
  }
  CloseHandle(mutex);
  return error;
}
