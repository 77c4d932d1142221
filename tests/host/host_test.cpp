// What only this process can see: the launcher's raw results and what it leaves open,
// RegGetString's output and error numbers, the traces (which nothing in the program turns on) and a
// failed start-up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "bridge/entry.h"
#include "host/failure_record.h"
#include "host/launcher.h"
#include "host/notify.h"
#include "host/registry.h"
#include "process_support.h"

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>

#include "host/files.h"
#include "host/state_folder_win32.h"
#include "host/utf16_win32.h"

#else
#include <signal.h>
#endif

namespace mergebridge {

#ifdef _WIN32
// Under Wine the messages are boxes nobody can read back: a recording double stands in for the
// notifications.
std::string shown;
void ShowMessage(const std::string& text, unsigned) {
  shown += text + "\n";
}
void WriteConsoleLine(ConsoleStream, const std::string& text) {
  shown += text + "\n";
}
std::string SystemErrorText(long) {
  return "text";
}
#endif

// Stands in for the host's start-up, which cannot fail on a working system.
bool frameworkStarts = true;
bool StartFramework() {
  return frameworkStarts;
}

namespace {

using Host = ScratchTest;

// The process's open handles (Windows: the values, multiples of 4, that GetHandleInformation
// accepts) or descriptors (Linux).
long OpenHandles() {
#ifdef _WIN32
  long count = 0;
  DWORD flags;
  for (ULONG_PTR value = 4; value < 65536; value += 4) {
    count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
  }
  return count;
#else
  return static_cast<long>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
#endif
}

// The messages `call` shows (Linux: on stderr, without a desktop).
template <typename Call>
std::string Shown(Call call) {
#ifdef _WIN32
  shown.clear();
  call();
  return shown;
#else
  ::testing::internal::CaptureStderr();
  call();
  return ::testing::internal::GetCapturedStderr();
#endif
}

// The tool's code comes back unlimited and a signal N as 128 + N, also when this process ignores
// SIGCHLD (the child would be reaped behind our back); each wait ends with the tool, and nothing
// stays open.
TEST_F(Host, LauncherResults) {
  RegisterTool({Registration::Path}, BuildFile("MB_TOOL"), dir_);
  const char* const rows[][2] = {{"STANDIN_EXIT=3", "3"},
#ifndef _WIN32
                                 {"STANDIN_SIGNAL=9", "137"},
#endif
                                 {"STANDIN_EXIT=0", "0"}};
  const long handlesBefore = OpenHandles();
  [[maybe_unused]] const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < 4; ++round) {
#ifndef _WIN32
    signal(SIGCHLD, round % 2 ? SIG_IGN : SIG_DFL);
#endif
    for (const auto& row : rows) {
      SetProcessEnv(row[0]);
      EXPECT_EQ(std::to_string(LaunchCompareTool(" \"L.txt\"", false).exitCode), row[1]) << row[0];
      SetProcessEnv("STANDIN_EXIT");
      SetProcessEnv("STANDIN_SIGNAL");
    }
  }
#ifndef _WIN32
  signal(SIGCHLD, SIG_DFL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
#endif
  EXPECT_LT(OpenHandles(), handlesBefore + 4) << "descriptors or handles left open";
}

// RegGetString's value: cut at the value's first zero byte, also when the value holds none; the
// error number is the failing call's own, whatever the thread's last error says.
TEST_F(Host, RegistryValues) {
#ifdef _WIN32
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MbTests", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            0);
  // Twelve bytes fill the heap block, so a read past their end finds no zero.
  RegSetValueExA(key, "Text", 0, REG_BINARY, reinterpret_cast<const BYTE*>("no zero here"), 12);
  RegSetValueExA(key, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab\0c"), 4);
  RegCloseKey(key);
  SetLastError(ERROR_INVALID_PARAMETER);
#else
  RegisterTool({Registration::Path}, "", dir_);
  WriteFile(
      dir_ + ".config/mergebridge/registry.reg",
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\"
      "MbTests]\n\"Text\"=hex:6e,6f,20,7a,65,72,6f,20,68,65,72,65\n\"Binary\"=hex:61,62,0,63\n");
#endif
  // The key or value looked up, and "ok [value]", then the error's number in the report.
  const char* const rows[][3] = {{"Software\\MbTests\\No", "v", "1 [] (Error 2, "},
                                 {"Software\\MbTests", "Text", "0 [no zero here] "},
                                 {"Software\\MbTests", "Binary", "0 [ab] "},
                                 {"Software\\MbTests", "Nope", "1 [] (Error 2, "}};
  for (const auto& row : rows) {
    const Result<std::string> read = RegGetString(row[0], row[1]);
    const std::string& text = read.status.message;
    const size_t error = text.find("(Error ");
    EXPECT_EQ(std::string(read.ok() ? "0" : "1") + " [" + read.value + "] " +
                  (error == std::string::npos ? "" : text.substr(error, 10)),
              row[2]);
  }
#ifdef _WIN32
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\MbTests");
#endif
}

// Four runs failing 150 times at once: the record stays within its two files, each entry whole and
// read back as written, newest first, and what is kept of each run is its last entries, none
// missing.
TEST_F(Host, FailureRecordBoundedAndShared) {
  const std::vector<std::string> files = {"a\tb\\c", "d\ne\r"};
  std::vector<std::thread> runs;
  for (int run = 0; run < 4; ++run) {
    runs.emplace_back([&, run] {
      for (int i = 0; i < 150; ++i) {
        const std::string reason =
            std::to_string(run) + " " + std::to_string(i) + std::string(500, 'x');
        EXPECT_TRUE(AppendFailure({"2026-01-01T00:00:00Z", -run, reason, files}).ok());
      }
    });
  }
  for (std::thread& run : runs) run.join();
  const std::string path = FailureRecordPath();
  EXPECT_EQ(path, dir_ + kFailures);
  EXPECT_LE(ReadFile(path).size(), kFailureFileLimit);
  EXPECT_LE(ReadFile(path + ".1").size(), kFailureFileLimit);
  std::map<long, int> next;  // each run's index expected next, going back in time
  const std::vector<FailureEntry> entries = ReadFailures();
  EXPECT_GT(entries.size(), kFailureFileLimit / 600);
  for (const FailureEntry& entry : entries) {
    const int expected = next.emplace(-entry.status, 149).first->second--;
    EXPECT_EQ(entry.reason, std::to_string(-entry.status) + " " + std::to_string(expected) +
                                std::string(500, 'x'));
    EXPECT_EQ(entry.files, files);
  }
}

#ifdef _WIN32
// The file's access list in SDDL, "" when it cannot be read.
std::string AccessList(const std::string& path) {
  char descriptor[4096];
  DWORD size = sizeof descriptor;
  wchar_t* text = nullptr;
  if (!GetFileSecurityW(ToUtf16(path).c_str(), DACL_SECURITY_INFORMATION, descriptor, size,
                        &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return "";
  const std::string list = ToUtf8(text);
  LocalFree(text);
  return list;
}

// Who may own the state folder and its records: SYSTEM, the Administrators and this account; a
// folder another user made first is refused. (Wine shows every file as its own user's, so the
// check is tested here on the owners themselves.)
TEST_F(Host, StateFolderOwners) {
  const std::pair<WELL_KNOWN_SID_TYPE, bool> owners[] = {{WinLocalSystemSid, true},
                                                         {WinBuiltinAdministratorsSid, true},
                                                         {WinBuiltinUsersSid, false},
                                                         {WinWorldSid, false},
                                                         {WinAuthenticatedUserSid, false}};
  for (const auto& [type, trusted] : owners) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(type, nullptr, sid, &size));
    EXPECT_EQ(IsTrustedOwner(sid), trusted) << type;
  }
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<char> user(256);
  DWORD size = static_cast<DWORD>(user.size());
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user.data(), size, &size));
  CloseHandle(token);
  EXPECT_TRUE(IsTrustedOwner(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid));
  EXPECT_FALSE(IsTrustedOwner(nullptr));
}

// A file replaced in one step keeps the access list it was given, not the folder's that a new file
// gets. (Wine keeps a file's list as its mode bits.)
TEST_F(Host, ReplacedFileKeepsItsAccessList) {
  const std::string map = dir_ + "map";
  WriteFile(map, "old");
  const std::string fresh = AccessList(map);
  PSECURITY_DESCRIPTOR given = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(D;;0x100;;;WD)(A;;FA;;;WD)(A;;FR;;;BU)", SDDL_REVISION_1, &given, nullptr));
  ASSERT_TRUE(SetFileSecurityW(ToUtf16(map).c_str(), DACL_SECURITY_INFORMATION, given));
  LocalFree(given);
  const std::string before = AccessList(map);
  ASSERT_NE(before, fresh) << "no access list of its own kept: " << before;
  EXPECT_TRUE(ReplaceFileAtomically(map, "new").ok());
  EXPECT_EQ(ReadFile(map), "new");
  EXPECT_EQ(AccessList(map), before);
}
#else
TEST_F(Host, TracesAndStartUp) {
  RegisterTool({Registration::Path}, BuildFile("MB_TOOL"), dir_);
  const std::string tool = BuildFile("MB_TOOL"), gone = dir_ + "gone.c";
  const std::string running = "Running command = '" + tool + "  /savetarget=\"" + gone + "\"  ";
  const struct {
    bool starts = true;
    const char* exit = "STANDIN_EXIT=0";
    std::vector<const char*> argv;
    int status = 0;
    std::string shown;
  } rows[] = {
      {.starts = false,
       .argv = {"mergebridge", "A"},
       .status = 1,
       .shown = "Fatal Error: MFC initialization failed\nreturn code = '1'\n"},
      {.exit = "STANDIN_EXIT=7",
       .argv = {"mergebridge", "-out", gone.c_str(), "L"},
       .status = 1,
       .shown = "command line = '-out " + gone + " L '\n" + running +
                "/title1=\"L\"   \"L\"'\nreturn code = '1'\n"},
      {.argv = {"mergebridge", "-out", gone.c_str()},
       .shown = "command line = '-out " + gone + " '\n" + running +
                "'\nabout to check existance of file '" + gone + "'\nFile '" + gone +
                "' does not exist\n" + MissingOutput("") + "\nreturn code = '0'\n"},
  };
  traceEnabled = true;
  for (const auto& row : rows) {
    frameworkStarts = row.starts;
    SetProcessEnv(row.exit);
    int status = -1;
    EXPECT_EQ(Shown([&] { status = RunEntry(static_cast<int>(row.argv.size()), row.argv.data()); }),
              row.shown);
    EXPECT_EQ(status, row.status);
  }
  traceEnabled = false;
  frameworkStarts = true;
}
#endif

}  // namespace

}  // namespace mergebridge
