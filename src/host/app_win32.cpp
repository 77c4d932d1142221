// Win32 start-up: the module handle and the command line are what the message
// boxes and the rest of the program rely on; without them nothing can be shown.
#include "host/app.h"

#include <windows.h>

namespace mergebridge {

bool StartFramework() {
  return GetModuleHandleW(nullptr) != nullptr && GetCommandLineW() != nullptr;
}

// Looked up rather than imported: Windows 7 has it only with KB2533623, and a
// program that imported it would not start there at all.
void RestrictLibrarySearch() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set != nullptr) set(kSearchSystem32);
}

}  // namespace mergebridge
