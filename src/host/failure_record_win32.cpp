// Win32 failure record: a file in the user's local application data that runs
// append to in turn under LockFileEx, and the Application event log.
#include "host/failure_record.h"

#include <windows.h>

#include <cstdio>

#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\mergebridge";
// The message of the bridge's message table that carries the whole text.
constexpr DWORD kFailureEventId = 1;

std::string UtcTimeNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];  // snprintf, not wsprintfA: user32 is not loaded at start-up
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

// The volume and file index of an open file, which tell two names of one file.
bool SameFile(HANDLE file, const std::wstring& path) {
  HANDLE named =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

void ReportEvent(const std::string& text) {
  // Without the installers' source the event would go out under a source
  // with no messages; nothing is written then.
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return;
  }
  RegCloseKey(key);
  HANDLE source = RegisterEventSourceW(nullptr, L"mergebridge");
  if (source == nullptr) return;
  const std::wstring wide = ToUtf16(text);
  const wchar_t* strings[] = {wide.c_str()};
  ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, kFailureEventId, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

std::string FailureRecordPath() {
  const std::wstring local = GrowingWideText([](wchar_t* buffer, unsigned long size) {
    return GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, size);
  });
  return local.empty() ? std::string() : ToUtf8(local) + "\\mergebridge\\failures.log";
}

Status AppendFailure(const FailureEntry& entry) {
  const std::string path = FailureRecordPath();
  if (path.empty()) return ErrorStatus(ERROR_ENVVAR_NOT_FOUND);
  const std::wstring wide = ToUtf16(path), old = ToUtf16(path + ".1");
  // The folders above the file that are missing (LOCALAPPDATA's own, too).
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryW(ToUtf16(path.substr(0, at)).c_str(), nullptr);
  }
  const std::string line = FailureLine(entry);
  // The file under the lock must still be the one at `path`: another run may
  // have moved it aside while this one waited.
  for (;;) {
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrorStatus(static_cast<long>(GetLastError()));
    OVERLAPPED whole = {};
    LARGE_INTEGER size;
    DWORD wrote = 0;
    Status status;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) ||
        !GetFileSizeEx(file, &size)) {
      status = ErrorStatus(static_cast<long>(GetLastError()));
    } else if (!SameFile(file, wide)) {
      CloseHandle(file);
      continue;
    } else if (size.QuadPart > 0 &&
               static_cast<size_t>(size.QuadPart) + line.size() > kFailureFileLimit) {
      const bool moved = MoveFileExW(wide.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING);
      status = ErrorStatus(static_cast<long>(GetLastError()));
      CloseHandle(file);
      if (moved) continue;
      return status;
    } else if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &wrote, nullptr) ||
               wrote != line.size()) {
      status = ErrorStatus(static_cast<long>(GetLastError()));
    }
    CloseHandle(file);  // the lock goes with the handle
    return status;
  }
}

void RecordFailure(long status, const std::string& reason, const std::vector<std::string>& files) {
  const FailureEntry entry{UtcTimeNow(), status, reason, files};
  (void)AppendFailure(entry);
  ReportEvent(FailureSummary(entry));
}

}  // namespace mergebridge
