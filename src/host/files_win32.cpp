// Win32 files and paths for the setup program, through the wide calls so that
// names outside the ANSI code page work.
#include "host/files.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "host/state_folder_win32.h"
#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

// A name beside `path` that no other run uses at the same time, and that a
// later run can tell from the number whether its owner still runs.
std::wstring TemporaryBeside(const std::string& path) {
  return ToUtf16(path + kScratchMark + std::to_string(GetCurrentProcessId()));
}

// The thread's last error, taken right after the failing call.
Status LastError() {
  return ErrorStatus(static_cast<long>(GetLastError()));
}

Status ErrorUnless(BOOL succeeded) {
  return succeeded ? Status() : LastError();
}

Status WriteAndFlush(HANDLE file, const std::string& bytes) {
  Status status;
  for (size_t done = 0; done < bytes.size() && status.ok();) {
    const DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    status = ErrorUnless(WriteFile(file, bytes.data() + done, part, &wrote, nullptr));
    done += wrote;
  }
  return status.ok() ? ErrorUnless(FlushFileBuffers(file)) : status;
}

// The access list of `target`, which ClearCase's installer or the site gave
// it, for the file that replaces it; a new file would get the folder's
// inherited list instead. ReplaceFileW would keep it, but it cannot write
// through (REPLACEFILE_WRITE_THROUGH is not supported), so the scratch file is
// created with the list: a step after its creation could fail on a list that
// denies this account a change (FILE_WRITE_ATTRIBUTES, say). The owner stays
// this account's: giving a file away takes a privilege. A file system without
// access lists (FAT) has none to keep: empty.
Result<std::vector<char>> AccessListOf(const std::wstring& target) {
  const SECURITY_INFORMATION part = DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  if (!GetFileSecurityW(target.c_str(), part, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    const DWORD error = GetLastError();
    const bool none = error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    return {{}, ErrorStatus(none ? 0 : static_cast<long>(error))};
  }
  std::vector<char> descriptor(size);
  if (size > 0 && !GetFileSecurityW(target.c_str(), part, descriptor.data(), size, &size))
    return {{}, LastError()};
  return {std::move(descriptor), {}};
}

// Sets the list once more through the handle, whose rights were granted at
// its creation, whatever the list says: Wine passes a list given at creation
// through the umask.
Status SetAccessList(HANDLE file, std::vector<char>& descriptor) {
  PACL list = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &list, &defaulted))
    return LastError();
  if (!present) return {};
  return ErrorStatus(static_cast<long>(SetSecurityInfo(
      file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr)));
}

}  // namespace

PathState GetPathKind(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(ToUtf16(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                           : PathKind::Unreadable,
            {}};
  }
  return {(attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File, {}};
}

Result<std::string> ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileW(ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {{}, LastError()};
  std::string bytes;
  long error = 0;
  // Left uninitialised: zeroing 64 KiB would cost more than a small file's
  // whole read, and the bridge reads one at every start.
  const auto chunk = std::make_unique_for_overwrite<char[]>(kReadChunkBytes);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk.get(), static_cast<DWORD>(kReadChunkBytes), &got, nullptr)) {
      error = static_cast<long>(GetLastError());
      break;
    }
    if (got == 0) break;
    if (bytes.size() + got > kMaxFileBytes) {
      error = ERROR_FILE_TOO_LARGE;
      break;
    }
    bytes.append(chunk.get(), got);
  }
  CloseHandle(file);
  return {std::move(bytes), ErrorStatus(error)};
}

Status ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  if (Status swept = SweepScratchFiles(FolderOf(path)); !swept.ok()) return swept;
  const std::wstring target = ToUtf16(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  // MoveFileExW would fail on a read-only target only after the new file was
  // written; refusing first leaves nothing behind.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return ErrorStatus(ERROR_ACCESS_DENIED);
  }
  // The attributes and the access list it keeps go in with the creation.
  Result<std::vector<char>> list;
  DWORD kept = FILE_ATTRIBUTE_NORMAL;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    list = AccessListOf(target);
    if (!list.ok()) return list.status;
    kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  }
  SECURITY_ATTRIBUTES security = {sizeof security, list.value.data(), FALSE};
  const std::wstring temporary = TemporaryBeside(path);
  // A name of this process's that an earlier one left was swept above: one
  // there now is not ours to write through.
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE | WRITE_DAC, 0,
                            list.value.empty() ? nullptr : &security, CREATE_NEW,
                            kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  Status status = list.value.empty() ? Status() : SetAccessList(file, list.value);
  if (status.ok()) status = WriteAndFlush(file, bytes);
  CloseHandle(file);
  // Write-through: the move is on disk when the call returns, so a power cut
  // right after leaves the new map, not an empty name.
  if (status.ok()) {
    status = ErrorUnless(MoveFileExW(temporary.c_str(), target.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  }
  if (!status.ok()) DeleteFileW(temporary.c_str());
  return status;
}

Status FlushFolderOf(const std::string&) {
  return {};
}

Status RemoveFileIfPresent(const std::string& path) {
  if (DeleteFileW(ToUtf16(path).c_str())) return {};
  const DWORD error = GetLastError();
  return ErrorStatus(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? 0
                         : static_cast<long>(error));
}

Status MovePath(const std::string& from, const std::string& to) {
  return ErrorUnless(MoveFileExW(ToUtf16(from).c_str(), ToUtf16(to).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

Status ReplaceWithLink(const std::string&, const std::string&) {
  return ErrorStatus(ERROR_NOT_SUPPORTED);
}

Status KeepCopy(const std::string& path, const std::string& copyPath) {
  return ErrorUnless(CopyFileW(ToUtf16(path).c_str(), ToUtf16(copyPath).c_str(), TRUE));
}

Result<bool> MakeFolder(const std::string& path, bool) {
  if (CreateDirectoryW(ToUtf16(path).c_str(), nullptr)) return {true, {}};
  const DWORD error = GetLastError();
  return {false, ErrorStatus(error == ERROR_ALREADY_EXISTS ? 0 : static_cast<long>(error))};
}

Result<std::vector<std::string>> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(ToUtf16(path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {{}, LastError()};
  do {
    const std::string name = ToUtf8(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  std::sort(names.begin(), names.end());
  return {std::move(names),
          ErrorStatus(error == ERROR_NO_MORE_FILES ? 0 : static_cast<long>(error))};
}

bool ScratchOwnerRuns(unsigned long id, const std::string& path) {
  if (id == GetCurrentProcessId()) return false;  // an earlier process's leftover
  HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    // Another account's process: whether it runs can still be asked.
    process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  }
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  // Windows hands numbers on quickly: a process that started after the file
  // was last written is not its owner. What cannot be read leaves the file be.
  FILETIME created, exited, kernel, user;
  WIN32_FILE_ATTRIBUTE_DATA file;
  if (runs && GetProcessTimes(process, &created, &exited, &kernel, &user) &&
      GetFileAttributesExW(ToUtf16(path).c_str(), GetFileExInfoStandard, &file)) {
    // Two seconds' leeway: FAT keeps write times to two seconds.
    ULARGE_INTEGER start, written;
    start.LowPart = created.dwLowDateTime;
    start.HighPart = created.dwHighDateTime;
    written.LowPart = file.ftLastWriteTime.dwLowDateTime;
    written.HighPart = file.ftLastWriteTime.dwHighDateTime;
    runs = start.QuadPart <= written.QuadPart + 2 * 10000000ull;
  }
  CloseHandle(process);
  return runs;
}

bool IsTrustedOwner(void* owner) {
  if (owner == nullptr || !IsValidSid(owner)) return false;
  if (IsWellKnownSid(owner, WinLocalSystemSid) ||
      IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
    return true;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> user(size > 0 ? size : 1);
  const bool self = GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
                    EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, owner);
  CloseHandle(token);
  return self;
}

namespace {

// The environment's value of `name`, or empty.
std::string EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
  return length > 0 && length < size ? ToUtf8(value.substr(0, length)) : std::string();
}

// The state folder's own access list, inherited by the records: only SYSTEM,
// Administrators and the folder's owner (one of them, or the account that
// chose the folder through MERGEBRIDGE_STATE_DIR) change it; Users read.
// Protected: %ProgramData%'s list would let every user add files and folders.
const wchar_t kStateAccessList[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";

// Checks what is at `path` without following it; with `protect`, a folder
// that passes is given the state folder's access list again.
Status CheckEntry(const std::wstring& path, bool protect) {
  const DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | (protect ? WRITE_DAC : 0);
  HANDLE entry = CreateFileW(
      path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (entry == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return ErrorStatus(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                           ? 0
                           : static_cast<long>(error));
  }
  Status status;
  BY_HANDLE_FILE_INFORMATION info;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!GetFileInformationByHandle(entry, &info)) {
    status = LastError();
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    status = FailureStatus("is a link (a reparse point), which is never followed");
  } else if (const DWORD error = GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                                 &owner, nullptr, nullptr, nullptr, &descriptor);
             error != ERROR_SUCCESS) {
    status = ErrorStatus(static_cast<long>(error));
  } else if (!IsTrustedOwner(owner)) {
    status = FailureStatus("belongs to an account other than SYSTEM, Administrators or this one");
  } else if (protect) {
    PSECURITY_DESCRIPTOR wanted = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStateAccessList, SDDL_REVISION_1,
                                                              &wanted, nullptr) ||
        !GetSecurityDescriptorDacl(wanted, &present, &list, &defaulted)) {
      status = LastError();
    } else if (const DWORD error =
                   SetSecurityInfo(entry, SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, list, nullptr);
               error != ERROR_SUCCESS) {
      status = ErrorStatus(static_cast<long>(error));
    }
    LocalFree(wanted);
  }
  LocalFree(descriptor);
  CloseHandle(entry);
  return status;
}

}  // namespace

Status MakeStateFolder(const std::string& folder) {
  const std::wstring wide = ToUtf16(folder);
  PSECURITY_DESCRIPTOR wanted = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStateAccessList, SDDL_REVISION_1,
                                                            &wanted, nullptr)) {
    return LastError();
  }
  SECURITY_ATTRIBUTES security = {sizeof security, wanted, FALSE};
  const bool made = CreateDirectoryW(wide.c_str(), &security);
  const DWORD error = GetLastError();
  LocalFree(wanted);
  if (made) return {};
  if (error != ERROR_ALREADY_EXISTS) return ErrorStatus(static_cast<long>(error));
  return CheckEntry(wide, true);
}

Status CheckStateEntry(const std::string& path) {
  return CheckEntry(ToUtf16(path), false);
}

std::string SetupStateFolder() {
  const std::string given = EnvironmentValue(L"MERGEBRIDGE_STATE_DIR");
  if (!given.empty()) return given;
  wchar_t* data = nullptr;
  const bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data));
  const std::string folder = found ? ToUtf8(data) + "\\mergebridge" : std::string();
  CoTaskMemFree(data);
  return folder;
}

std::string OwnProgramPath() {
  return ToUtf8(OwnModuleFileName());
}

namespace {

// C:\... or \\server\share\...; "C:folder" and "\folder" depend on the
// current drive's folder.
bool IsFullFolderPath(const std::string& path) {
  const auto separator = [&](size_t at) { return path[at] == '\\' || path[at] == '/'; };
  const bool letter =
      path.size() > 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return (letter && path[1] == ':' && separator(2)) ||
         (path.size() > 2 && separator(0) && separator(1));
}

}  // namespace

// PATH's folders alone, in order: SearchPathW would look in this program's
// folder and the current one first, so that whoever filled the folder an
// administrator runs the setup from would choose the ClearCase it changes. A
// relative entry (".") is the current folder by another name and is skipped.
std::string SearchProgramPath(const std::string& name) {
  const std::string path = EnvironmentValue(L"PATH"), file = name + ".exe";
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    start = end + 1;
    if (folder.size() > 1 && folder.front() == '"' && folder.back() == '"')
      folder = folder.substr(1, folder.size() - 2);
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (!IsFullFolderPath(folder)) continue;
    const std::string candidate = folder + "\\" + file;
    if (GetPathKind(candidate).kind == PathKind::File) return AbsolutePath(candidate);
  }
  return std::string();
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = ToUtf16(path);
  const std::wstring full = GrowingWideText([&](wchar_t* buffer, unsigned long size) {
    return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  });
  return full.empty() ? path : ToUtf8(full);
}

bool IsStartableProgram(const std::string& path) {
  // GetBinaryTypeW says whether the loader can start the file as a program.
  DWORD type = 0;
  const std::wstring wide = ToUtf16(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         GetBinaryTypeW(wide.c_str(), &type);
}

bool IsAccessDenied(const Status& status) {
  const long error = status.error;
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_PRIVILEGE_NOT_HELD;
}

std::string RightsHint() {
  return "run as administrator";
}

char PathSeparator() {
  return '\\';
}
bool ManagersUseMap() {
  return true;
}

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

bool IsSamePathText(const std::string& a, const std::string& b) {
  // Upper-cased character by character, as the file system compares names.
  std::wstring wideA = ToUtf16(a), wideB = ToUtf16(b);
  if (wideA.size() != wideB.size()) return false;
  const int size = static_cast<int>(wideA.size());
  for (std::wstring* text : {&wideA, &wideB})
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text->data(), size, text->data(), size);
  return wideA == wideB;
}

}  // namespace mergebridge
