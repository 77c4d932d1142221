// RegGetString on Windows, against the real registry of the Wine prefix. The
// values are written by the system's own reg.exe where it can express them,
// and byte for byte through the registry API where it cannot. The
// notifications are replaced by a recording double at link time, so the
// reports can be compared exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host/notify.h"
#include "host/registry.h"

namespace {

struct Shown {
  std::string text;
  unsigned style;
};
std::vector<Shown> shown;

}  // namespace

void ShowMessage(const std::string& text, unsigned style) { shown.push_back({text, style}); }
void WriteConsoleLine(ConsoleStream, const std::string& text) { ADD_FAILURE() << text; }
std::string SystemErrorText(long errorNumber) {
  return "<text of " + std::to_string(errorNumber) + ">";
}

namespace {

// Runs reg.exe with `arguments`, its output on NUL; returns its exit code.
DWORD RunReg(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION process = {};
  std::string commandLine = "reg.exe " + arguments;
  DWORD exitCode = 0xFFFFFFFF;
  if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(nul);
  return exitCode;
}

// The value the system gives the next new handle. Freed slots are reused, so
// a value that grew by many slots means handles were left open.
ULONG_PTR NextHandleValue() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(event);
  return reinterpret_cast<ULONG_PTR>(event);
}

// Fewer than the 50 slots that one handle left open per call would take.
constexpr ULONG_PTR kHandleSlack = 10 * sizeof(HANDLE);

class RegGetStringWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    shown.clear();
    keyPath_ = "SOFTWARE\\MergebridgeTests\\" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\MergebridgeTests");  // fails while others use it
  }

  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }

  std::string keyPath_;
  HKEY key_ = nullptr;
};

TEST_F(RegGetStringWin32, ValuesAsText) {
  const std::string longText(600, 'L');
  const std::string hkcuKey = "HKCU\\" + keyPath_;
  ASSERT_EQ(RunReg("add " + hkcuKey + " /v Empty /t REG_SZ /d \"\" /f"), 0u);
  ASSERT_EQ(RunReg("add " + hkcuKey + " /v Long /t REG_SZ /d " + longText + " /f"), 0u);
  ASSERT_EQ(RunReg("add " + hkcuKey + " /v Spaced /t REG_SZ /d \"C:\\Program Files\\V\\v.exe\" /f"),
            0u);
  // What reg.exe cannot write: strings without their terminating zero, and
  // types that are not text at all.
  SetRaw(L"Unterminated", REG_SZ, L"ok", 4);
  SetRaw(L"BinaryText", REG_BINARY, "abc", 3);
  SetRaw(L"Binary", REG_BINARY, "ab\0c", 4);
  const DWORD dword = 0x00434241;
  SetRaw(L"Dword", REG_DWORD, &dword, sizeof dword);
  SetRaw(L"Multi", REG_MULTI_SZ, L"one\0two\0", 18);
  SetRaw(L"Expand", REG_EXPAND_SZ, L"%SystemRoot%\\x", 30);

  struct Row {
    const char* value;
    std::string expected;
  } rows[] = {
      {"Empty", ""},
      {"long", longText},
      {"Spaced", "C:\\Program Files\\V\\v.exe"},
      {"Unterminated", "ok"},
      {"BinaryText", "abc"},
      {"Binary", "ab"},
      {"Dword", "ABC"},
      {"Multi", "one"},
      {"Expand", "%SystemRoot%\\x"},
  };
  const ULONG_PTR handleBefore = NextHandleValue();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    for (int i = 0; i < 50; ++i) {
      std::string out = "stale";
      EXPECT_EQ(RegGetString(keyPath_, row.value, out), 0);
      EXPECT_EQ(out, row.expected);
    }
  }
  EXPECT_LT(NextHandleValue(), handleBefore + kHandleSlack);
  EXPECT_TRUE(shown.empty()) << shown.front().text;
}

TEST_F(RegGetStringWin32, FailureReports) {
  const std::string absentKey = keyPath_ + "\\Absent";
  struct Row {
    std::string key;
    const char* value;
    std::string outAfter, message;
  } rows[] = {
      {absentKey, "ExePath", "keep",
       "REG Get - Failed to open key '" + absentKey + "' in the registry\n (Error 2, <text of 2>)"},
      {keyPath_, "Nope", "",
       "REG Get - Failed to get string value from '" + keyPath_ +
           "\\Nope' in the registry\n (Error 2, <text of 2>)"},
  };
  const ULONG_PTR handleBefore = NextHandleValue();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    for (int i = 0; i < 50; ++i) {
      shown.clear();
      std::string out = "keep";
      // The report must carry the registry call's own error, not whatever an
      // earlier call left as the thread's last error.
      SetLastError(ERROR_INVALID_PARAMETER);
      EXPECT_EQ(RegGetString(row.key, row.value, out), 1);
      EXPECT_EQ(out, row.outAfter);
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].text, row.message);
      EXPECT_EQ(shown[0].style, kStyleOk);
    }
  }
  EXPECT_LT(NextHandleValue(), handleBefore + kHandleSlack);
}

}  // namespace
