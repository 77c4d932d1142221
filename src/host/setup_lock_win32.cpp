// Win32: a lock file inside the managers' folder itself, locked with
// LockFileEx. Only who may write that folder can make the file, and its own
// access list (no inheritance) lets in only the system, the Administrators
// and whoever made it, so that a user who cannot change ClearCase can neither
// take the lock nor hold it against a setup run. A named mutex could not do
// that: any user may make a name first. (A private namespace bounded by the
// Administrators would, but it would also shut out a user who owns a
// ClearCase installation of his own.) The file is deleted with its last
// handle, so that it goes with the run, killed or not, as the lock does.
#include "host/setup_lock.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

// The account this process runs as, in the SDDL form (S-1-5-21-...).
std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  union {
    TOKEN_USER user;
    char bytes[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  } info;
  DWORD size = 0;
  wchar_t* text = nullptr;
  std::wstring sid;
  if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
      ConvertSidToStringSidW(info.user.User.Sid, &text)) {
    sid = text;
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

// Takes the lock on the open lock file, waiting at most `waitMillis` for the
// run that holds it: Held, Busy, Unavailable or the error number. The file
// stays open unless the answer is Unavailable or an error.
Result<LockState> LockOpenFile(HANDLE file, long waitMillis) {
  // The request waits in the system and its event wakes this thread the
  // moment the holder's handle closes. Kept for good: the system may still
  // write into it after a wait that timed out.
  OVERLAPPED* const request = new OVERLAPPED();
  request->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD error;
  if (request->hEvent == nullptr)
    error = GetLastError();
  else if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, request))
    return {LockState::Held, {}};
  else
    error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    DWORD unused = 0;
    switch (WaitForSingleObject(request->hEvent, static_cast<DWORD>(waitMillis))) {
      case WAIT_OBJECT_0:
        if (GetOverlappedResult(file, request, &unused, FALSE)) return {LockState::Held, {}};
        error = GetLastError();
        break;
      case WAIT_TIMEOUT:
        // Withdrawn; should it have been granted meanwhile, this process
        // ends soon and lets it go.
        CancelIo(file);
        return {LockState::Busy, {}};
      default:
        error = GetLastError();
    }
  }
  CloseHandle(file);
  // A file system that cannot lock (some network shares).
  if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
    return {LockState::Unavailable, {}};
  }
  return {LockState::Held, ErrorStatus(static_cast<long>(error))};
}

}  // namespace

Result<LockState> LockManagers(const std::string& managers, long waitMillis) {
  // Protected (P): nothing inherited from the folder, where readers may be
  // let in. FA: all access, for SYSTEM, the Administrators and this account.
  const std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + UserSid() + L")";
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl.c_str(), SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr)) {
    return {LockState::Held, ErrorStatus(static_cast<long>(GetLastError()))};
  }
  // The system's own status tells a file that waits to be deleted from one
  // this account may not open; both are "access denied".
  using LastStatus = LONG(WINAPI*)();
  const auto lastStatus = reinterpret_cast<LastStatus>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetLastNtStatus")));
  // Never closed: the lock lasts as long as the handle, that is the run.
  // Every run opens the file the same way, so that it goes with the last.
  const std::wstring path = ToUtf16(managers + "\\mergebridge-setup.lock");
  const HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security, OPEN_ALWAYS,
      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED, nullptr);
  const DWORD error = GetLastError();
  const LONG status = lastStatus != nullptr ? lastStatus() : 0;
  LocalFree(security.lpSecurityDescriptor);
  if (file != INVALID_HANDLE_VALUE) return LockOpenFile(file, waitMillis);
  // The last run has just closed it and the file waits to be deleted: that
  // run was busy a moment ago.
  const LONG kDeletePending = static_cast<LONG>(0xC0000056);
  if (error == ERROR_ACCESS_DENIED && status == kDeletePending) return {LockState::Busy, {}};
  // Who may not make a file in the folder cannot change the map in it
  // either: the run goes on to say so in its own words (run as administrator).
  if (error == ERROR_ACCESS_DENIED && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    return {LockState::Held, {}};
  }
  return {LockState::Held, ErrorStatus(static_cast<long>(error))};
}

}  // namespace mergebridge
