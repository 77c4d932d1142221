// The Windows Installer package's custom actions, in a DLL the package carries
// in its Binary table. For the Windows build only.
//
// RunSetupStep (deferred, rollback): runs the command line the package passed in
// CustomActionData (mergebridge-setup with its arguments), copies every line it
// prints into the installer's log, and fails the step unless it exits with 0.
// FindClearCase (immediate): sets CLEARCASE to 1 or 0, as cleartool.exe is on
// PATH or not, where nothing set it before.
// CheckVelmora (immediate): fails the installation, before anything is done,
// when VELMORA cannot be a program's full path. A program not there (yet) is
// no failure: the register step is forced and warns.
// ReadVelmora (immediate): Velmora's value for all users as the installation finds it, type and
// text, for RestoreVelmora, and the package's record of it (mergebridge-setup register --record
// msi) for RestoreRecord.
// RestoreVelmora (rollback, and deferred in an upgrade): puts Velmora's value for all users back as
// the installation found it, writing the registry itself: where a rollback runs after the files
// have gone (Wine), there is no program to run.
// RestoreRecord (deferred in an upgrade told no VELMORA): puts the package's record back where the
// older version's removal took it away (Wine, which does not tell that one it is upgraded, lets it
// give the value back), as RestoreVelmora puts the value back.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "host/app.h"
#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return L"";
  std::wstring value(++size, L'\0');
  if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) return L"";
  value.resize(size);
  return value;
}

void Log(MSIHANDLE install, const std::wstring& text) {
  const MSIHANDLE record = MsiCreateRecord(1);
  // Field 0 is a template; the text goes in as a field so that brackets in
  // a path are not formatted.
  MsiRecordSetStringW(record, 0, L"[1]");
  MsiRecordSetStringW(record, 1, text.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

// The program writes its active code page: UTF-8 where its manifest is
// honoured, the system's ANSI code page before Windows 10 1903.
std::wstring Decode(const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  UINT codePage = CP_UTF8;
  int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length == 0) {
    codePage = CP_ACP;
    length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  }
  std::wstring text(length, L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, &text[0], length);
  return text;
}

void LogLines(MSIHANDLE install, std::string& pending, bool flush) {
  size_t start = 0;
  for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
    size_t stop = end;
    if (stop > start && pending[stop - 1] == '\r') --stop;
    Log(install, Decode(pending.substr(start, stop - start)));
  }
  pending.erase(0, start);
  if (flush && !pending.empty()) Log(install, Decode(pending));
}

std::wstring ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = text != nullptr ? text : L"";
  LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
  return result + L" (error " + std::to_wstring(error) + L")";
}

// A drive's (C:\...) or a share's (\\server\share\...) full path of a file, holding
// no double quote, which would end the quoted argument the register step gets,
// nor another character no file name holds. The setup step would make a
// relative path absolute against the installer's own working folder.
bool IsFullProgramPath(const std::wstring& path) {
  const bool drive = path.size() > 3 && iswalpha(path[0]) && path[1] == L':' &&
                     (path[2] == L'\\' || path[2] == L'/');
  const bool share = path.size() > 4 && path[0] == L'\\' && path[1] == L'\\';
  for (const wchar_t c : path) {
    if (c < L' ' || wcschr(L"\"<>|*?", c) != nullptr) return false;
  }
  return (drive || share) && path.back() != L'\\' && path.back() != L'/';
}

// The file of the package's record of Velmora's value, where mergebridge-setup keeps it: in its
// state folder (MERGEBRIDGE_STATE_DIR, else mergebridge in the ProgramData known folder, never
// taken from the environment).
std::wstring VelmoraRecordPath() {
  wchar_t folder[MAX_PATH];
  const DWORD size = GetEnvironmentVariableW(L"MERGEBRIDGE_STATE_DIR", folder, MAX_PATH);
  if (size > 0 && size < MAX_PATH) return std::wstring(folder) + L"\\velmora.msi";
  wchar_t* data = nullptr;
  std::wstring path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) {
    path = std::wstring(data) + L"\\mergebridge\\velmora.msi";
  }
  CoTaskMemFree(data);
  return path;
}

// The UTF-8 file at `path` as text; empty when it cannot be read.
std::wstring ReadText(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return L"";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return ToUtf16(bytes);
}

// `name` in PATH's folders: SearchPathW without them would search msiexec's
// folder and the current one first.
std::wstring FindOnPath(const wchar_t* name) {
  const std::wstring path = GrowingWideText([](wchar_t* buffer, unsigned long size) {
    return GetEnvironmentVariableW(L"PATH", buffer, size);
  });
  if (path.empty()) return path;
  return GrowingWideText([&](wchar_t* buffer, unsigned long size) {
    return SearchPathW(path.c_str(), name, nullptr, size, buffer, nullptr);
  });
}

// Starts `command` with `output` as its standard output and error, the one
// handle it inherits: whatever else the installer's process holds open (its
// database, its log, the other end of the pipe) stays out of the child.
BOOL StartWithOutput(std::wstring& command, HANDLE output, PROCESS_INFORMATION& process) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return FALSE;
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = INVALID_HANDLE_VALUE;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = output;
  startup.lpAttributeList = list;
  // CreateProcessW may write into the command line: it gets a copy it owns.
  const BOOL started = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                 &output, sizeof output, nullptr, nullptr) &&
                       CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                      nullptr, &startup.StartupInfo, &process);
  const DWORD error = GetLastError();
  DeleteProcThreadAttributeList(list);
  SetLastError(error);
  return started;
}

}  // namespace

}  // namespace mergebridge

extern "C" __declspec(dllexport) UINT __stdcall RunSetupStep(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  std::wstring command = mergebridge::Property(install, L"CustomActionData");
  mergebridge::Log(install, L"mergebridge: running " + command);

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    mergebridge::Log(
        install, L"mergebridge: no pipe for its output: " + mergebridge::ErrorText(GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  PROCESS_INFORMATION process = {};
  const BOOL started = mergebridge::StartWithOutput(command, writeEnd, process);
  const DWORD startError = GetLastError();
  // Only the child may hold the write end now, so that the reads below end
  // when it exits.
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    mergebridge::Log(install,
                     L"mergebridge: cannot start it: " + mergebridge::ErrorText(startError));
    return ERROR_INSTALL_FAILURE;
  }
  CloseHandle(process.hThread);

  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    mergebridge::LogLines(install, pending, false);
  }
  mergebridge::LogLines(install, pending, true);
  CloseHandle(readEnd);

  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  mergebridge::Log(install, L"mergebridge: exit status " + std::to_wstring(status));
  return status == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall FindClearCase(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  if (!mergebridge::Property(install, L"CLEARCASE").empty()) return ERROR_SUCCESS;
  const std::wstring found = mergebridge::FindOnPath(L"cleartool.exe");
  MsiSetPropertyW(install, L"CLEARCASE", found.empty() ? L"0" : L"1");
  mergebridge::Log(install, !found.empty()
                                ? L"mergebridge: ClearCase found: " + found
                                : L"mergebridge: cleartool.exe is not on PATH; CLEARCASE=0");
  return ERROR_SUCCESS;
}

// The value NAME under HKEY_LOCAL_MACHINE\KEY, in the 64-bit view where there is one, as
// "KEY|NAME|" and then nothing (no value), "s" and its text (REG_SZ) or "e" and its raw text
// (REG_EXPAND_SZ); MbVelmoraPlace gives "KEY|NAME". Other types are given back as REG_SZ.
extern "C" __declspec(dllexport) UINT __stdcall ReadVelmora(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  const std::wstring place = mergebridge::Property(install, L"MbVelmoraPlace");
  const size_t bar = place.find(L'|');
  if (bar == std::wstring::npos) return ERROR_INSTALL_FAILURE;
  std::wstring found = place + L"|";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, place.substr(0, bar).c_str(), 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    const std::wstring name = place.substr(bar + 1);
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
      RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
      text.resize(wcsnlen(text.c_str(), text.size()));
      found += (type == REG_EXPAND_SZ ? L"e" : L"s") + text;
    }
    RegCloseKey(key);
  }
  for (const wchar_t* step : {L"MbRegisterUndo", L"MbUnregisterUndo", L"MbKeepVelmora"})
    MsiSetPropertyW(install, step, found.c_str());
  const std::wstring record = mergebridge::VelmoraRecordPath();
  MsiSetPropertyW(install, L"MbKeepRecord",
                  (record + L"|" + mergebridge::ReadText(record)).c_str());
  return ERROR_SUCCESS;
}

// CustomActionData as ReadVelmora gives it: the value is put back as it was, or removed.
extern "C" __declspec(dllexport) UINT __stdcall RestoreVelmora(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  const std::wstring data = mergebridge::Property(install, L"CustomActionData");
  const size_t name = data.find(L'|') + 1, value = data.find(L'|', name) + 1;
  if (name == 0 || value == 0) return ERROR_INSTALL_FAILURE;
  const std::wstring key = data.substr(0, name - 1),
                     valueName = data.substr(name, value - name - 1);
  const bool none = value == data.size(), expandable = !none && data[value] == L'e';
  const std::wstring before = none ? L"" : data.substr(value + 1);
  HKEY opened = nullptr;
  const REGSAM access = KEY_SET_VALUE | KEY_WOW64_64KEY;
  LONG status = none ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, access, &opened)
                     : RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, access,
                                       nullptr, &opened, nullptr);
  if (status == ERROR_SUCCESS && none) {
    status = RegDeleteValueW(opened, valueName.c_str());
  } else if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(opened, valueName.c_str(), 0, expandable ? REG_EXPAND_SZ : REG_SZ,
                            reinterpret_cast<const BYTE*>(before.c_str()),
                            static_cast<DWORD>((before.size() + 1) * sizeof(wchar_t)));
  }
  if (status == ERROR_FILE_NOT_FOUND && none) status = ERROR_SUCCESS;
  if (opened != nullptr) RegCloseKey(opened);
  mergebridge::Log(install, status != ERROR_SUCCESS
                                ? L"mergebridge: cannot put " + valueName + L" back: " +
                                      mergebridge::ErrorText(status)
                            : none ? L"mergebridge: " + valueName + L" removed, as before"
                                   : L"mergebridge: " + valueName + L" put back to " + before);
  return status == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// CustomActionData "PATH|TEXT" as ReadVelmora gives it: where the file at PATH has gone, it is
// written again with TEXT; no TEXT (there was no record) leaves it alone.
extern "C" __declspec(dllexport) UINT __stdcall RestoreRecord(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  const std::wstring data = mergebridge::Property(install, L"CustomActionData");
  const size_t bar = data.find(L'|');
  if (bar == std::wstring::npos || bar + 1 == data.size()) return ERROR_SUCCESS;
  const std::wstring path = data.substr(0, bar);
  const std::string text = mergebridge::ToUtf8(data.substr(bar + 1));
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;  // there still, or its folder gone
  DWORD written = 0;
  const bool ok =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size();
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  mergebridge::Log(install,
                   (ok ? L"mergebridge: put back " : L"mergebridge: cannot put back ") + path);
  return ok ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall CheckVelmora(MSIHANDLE install) {
  mergebridge::RestrictLibrarySearch();
  const std::wstring velmora = mergebridge::Property(install, L"VELMORA");
  if (mergebridge::IsFullProgramPath(velmora)) return ERROR_SUCCESS;
  mergebridge::Log(install,
                   L"mergebridge: VELMORA=" + velmora +
                       L" is not the full path of a program (such as "
                       L"C:\\Program Files\\Harnvik\\Velmora\\velmora.exe); nothing was changed.");
  return ERROR_INSTALL_FAILURE;
}
