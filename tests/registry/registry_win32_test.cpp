// RegGetString on Windows, against the real registry of the Wine prefix: values
// written by reg.exe where it can express them, byte for byte through the API
// where it cannot. The notifications are replaced by a recording double at link
// time, so the reports can be compared exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "host/notify.h"
#include "host/registry.h"

namespace {
std::string shown;  // " <style>:<text>" for every message
}  // namespace

void ShowMessage(const std::string& text, unsigned style) {
  shown += " " + std::to_string(style) + ":" + text;
}
void WriteConsoleLine(ConsoleStream, const std::string& text) { ADD_FAILURE() << text; }
std::string SystemErrorText(long errorNumber) { return "text of " + std::to_string(errorNumber); }

namespace {

// The value the system gives the next new handle. Freed slots are reused, so a
// value that grew by many slots means handles were left open.
ULONG_PTR NextHandleValue() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(event);
  return reinterpret_cast<ULONG_PTR>(event);
}

TEST(RegGetStringWin32, ValuesAndFailures) {
  const std::string key = "SOFTWARE\\MergebridgeTests\\" + std::to_string(GetCurrentProcessId());
  const std::string add = "reg.exe add HKCU\\" + key + " /f /t REG_SZ /v ";
  const std::string longText(600, 'L');
  EXPECT_EQ(std::system((add + "Empty /d \"\" >NUL").c_str()), 0);
  EXPECT_EQ(std::system((add + "Long /d " + longText + " >NUL").c_str()), 0);
  // What reg.exe cannot write: a string without its terminating zero, binary data
  // (twelve bytes fill the heap block, so a read past their end finds no zero).
  HKEY handle = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle), 0);
  RegSetValueExW(handle, L"Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ok"), 4);
  RegSetValueExA(handle, "BinaryText", 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>("no zero here"), 12);
  RegSetValueExA(handle, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab\0c"), 4);
  RegCloseKey(handle);

  const std::string absent = key + "\\Absent";
  const std::string rows[][3] = {
      {key, "Empty", "0 []"},
      {key, "long", "0 [" + longText + "]"},
      {key, "Unterminated", "0 [ok]"},
      {key, "BinaryText", "0 [no zero here]"},
      {key, "Binary", "0 [ab]"},
      {absent, "ExePath",
       "1 [keep] 0:REG Get - Failed to open key '" + absent +
           "' in the registry\n (Error 2, text of 2)"},
      {key, "Nope",
       "1 [] 0:REG Get - Failed to get string value from '" + key +
           "\\Nope' in the registry\n (Error 2, text of 2)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[1]);
    const ULONG_PTR handlesBefore = NextHandleValue();
    std::string got;
    // Fifty calls: one handle left open per call would take fifty slots.
    for (int i = 0; i < 50 && got == (i == 0 ? "" : row[2]); ++i) {
      shown.clear();
      std::string out = "keep";
      // The report must carry the registry call's own error, not whatever an
      // earlier call left as the thread's last error.
      SetLastError(ERROR_INVALID_PARAMETER);
      got = std::to_string(RegGetString(row[0], row[1], out)) + " [" + out + "]" + shown;
    }
    EXPECT_EQ(got, row[2]);
    EXPECT_LT(NextHandleValue(), handlesBefore + 10 * sizeof(HANDLE)) << "handles left open";
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\MergebridgeTests");  // fails while others use it
}

}  // namespace
