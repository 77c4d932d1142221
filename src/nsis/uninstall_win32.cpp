// uninstall.exe, which the Add/Remove Programs entry of the NSIS installation
// runs. For the Windows build only.
//
// NSIS's own uninstaller, run without _?=, copies itself to TEMP, starts the
// copy and returns at once, so that its caller (a deployment tool) sees 0
// while the removal has not even begun. Run in place with _?=, it waits, but
// cannot remove its own file or the folder: it keeps its file open without
// sharing deletion, so it cannot even move it out. This program runs it in
// place, waits, passes its status on and, when it removed everything, takes
// away what it could not: its file, this program (moved out of the folder,
// then deleted at the next restart, as NSIS does with its copy) and the
// folder. Arguments: /S for a silent removal; anything else (_?=folder) is
// ignored, the folder being this program's own.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/status.h"
#include "host/app.h"
#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

const wchar_t kSteps[] = L"uninstall-steps.exe";  // NSIS's uninstaller, beside this program

std::wstring ParentFolder(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

// Moves this program to a new name in `folder`, which it gives: on the same
// volume a running program can be renamed, though not deleted.
Result<std::wstring> MoveOut(const std::wstring& self, const std::wstring& folder) {
  wchar_t name[MAX_PATH];
  if (GetTempFileNameW(folder.c_str(), L"mbu", 0, name) == 0) {
    return {{}, ErrorStatus(static_cast<long>(GetLastError()))};
  }
  if (MoveFileExW(self.c_str(), name, MOVEFILE_REPLACE_EXISTING)) return {name, {}};
  const Status failed = ErrorStatus(static_cast<long>(GetLastError()));
  DeleteFileW(name);
  return {{}, failed};
}

// On standard error where the caller gave one, and in a message box unless silent.
void ReportFailure(const std::wstring& text, bool silent) {
  const std::string bytes = ToUtf8(text);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
  if (!silent) MessageBoxW(nullptr, text.c_str(), L"mergebridge", MB_OK | MB_ICONSTOP);
}

// Runs NSIS's uninstaller in place and takes away what it leaves; the status
// is the uninstaller's, or 2 when it cannot be started.
int RemoveInstallation() {
  const std::wstring self = OwnModuleFileName(), folder = ParentFolder(self),
                     steps = folder + L"\\" + kSteps;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  bool silent = false;
  for (int i = 1; i < count; ++i) silent = silent || std::wstring(args[i]) == L"/S";
  LocalFree(args);

  // _?= last and unquoted, as NSIS reads it.
  std::wstring command = L"\"" + steps + L"\"" + (silent ? L" /S" : L"") + L" _?=" + folder;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    const DWORD error = GetLastError();
    ReportFailure(L"mergebridge uninstall: cannot start " + steps + L" (error " +
                      std::to_wstring(error) + L"); nothing was removed.\r\n",
                  silent);
    return 2;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  if (status != 0) return static_cast<int>(status);  // failed or cancelled: all is still there

  // Beside the folder where TEMP is on another volume. The folder cannot go
  // while it is this program's working folder.
  wchar_t temp[MAX_PATH + 1];
  const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring elsewhere =
      tempLength > 0 ? std::wstring(temp, tempLength) : ParentFolder(folder);
  SetCurrentDirectoryW(elsewhere.c_str());
  DeleteFileW(steps.c_str());
  Result<std::wstring> moved = MoveOut(self, elsewhere);
  if (!moved.ok()) moved = MoveOut(self, ParentFolder(folder));
  MoveFileExW((moved.ok() ? moved.value : self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (!RemoveDirectoryW(folder.c_str()))
    MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return 0;
}

}  // namespace

}  // namespace mergebridge

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  mergebridge::RestrictLibrarySearch();
  return mergebridge::RemoveInstallation();
}
