// A Unicode ClearCase (CreateProcessW): names outside the ANSI code page reach
// the tool, the file system and the messages letter for letter, also where the
// system ignores the manifest's UTF-8 code page. Message boxes come from Wine's
// relay trace, written to the Unix stderr all processes here share: MB_RELAY_LOG.
#include <gtest/gtest.h>

#undef _WIN32_WINNT  // for Vista's one-call registry functions
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <optional>
#include <regex>

#include "common/tool_command.h"
#include "host/utf16_win32.h"
#include "process_support.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path, long from = 0) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  in.seekg(from);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void SetValue(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// "text|caption|style" as the relay trace shows a wide string: \n escaped,
// every character outside ASCII as \ and 4 hex digits.
std::string Box(const std::string& text, const char* style) {
  std::string out;
  for (wchar_t c : ToUtf16(text)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\%04x", static_cast<unsigned>(c));
    out += c == L'\n' ? "\\n" : (c >= 0x20 && c < 0x7f) ? std::string(1, char(c)) : hex;
  }
  return out + "|mergebridge|" + style;
}

struct Row {
  const char* name;
  Args args;
  const char* env;  // a STANDIN_* setting, or "X=" for none
  std::string tool;
  DWORD status;
  std::optional<Args> toolArgs;  // after the tool's path; nullopt: not run
  std::string box;               // the message box shown, if any
  std::string out = "";          // on stdout (with the manifest; in UTF-8)
};

std::string InAnsiCodePage(const std::string& text) {  // as written without the manifest
  std::string out(text.size() + 1, '\0');
  out.resize(WideCharToMultiByte(CP_ACP, 0, ToUtf16(text).c_str(), -1, &out[0], out.size(), 0, 0));
  return out.c_str();
}

class UnicodeClearCase : public ScratchTest {
 protected:
  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", L"RelayInclude");
    ScratchTest::TearDown();
  }

  void Check(const Row& row, const std::string& bridge, bool manifest) {
    SCOPED_TRACE(std::string(row.name) + (manifest ? "" : ", without the manifest"));
    for (const char* name : {"record.txt", "Отчёт_合併.txt"}) fs::remove(fs::u8path(dir_ + name));
    SetValue(L"Software\\Harnvik\\Velmora", L"ExePath", ToUtf16(row.tool));
    std::wstring commandLine = L"\"" + ToUtf16(bridge) + L"\"";
    for (const std::string& arg : row.args) commandLine += L" \"" + ToUtf16(arg) + L"\"";
    for (const std::string& setting : {"STANDIN_RECORD=" + dir_ + "record.txt",
                                       std::string(row.env), std::string("WINEDEBUG=+relay")}) {
      SetProcessEnv(setting);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = CreateFileW(ToUtf16(dir_ + "out").c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    const long traceStart = static_cast<long>(Read(BuildFile("MB_RELAY_LOG")).size());
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    ClearSettings();
    SetProcessEnv("WINEDEBUG=-all");
    ASSERT_TRUE(started);
    DWORD status = WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &status);
    for (HANDLE open : {startup.hStdOutput, process.hThread, process.hProcess}) CloseHandle(open);

    EXPECT_EQ(status, row.status);
    Args expected = row.toolArgs.value_or(Args());
    std::string path = row.tool;  // lower-cased: ASCII letters only
    for (char& c : path) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (row.toolArgs) expected.insert(expected.begin(), path);
    EXPECT_EQ(SplitToolCommandLine(Read(dir_ + "record.txt")), expected);
    const std::string out = Read(dir_ + "out"), trace = Read(BuildFile("MB_RELAY_LOG"), traceStart);
    static const std::regex kBox(
        R"re(Call user32\.MessageBox.\(\w+,\w+ L?"(.*)",\w+ L?"(.*)",(\w+)\))re");
    std::string boxes;
    for (std::sregex_iterator it(trace.begin(), trace.end(), kBox), end; it != end; ++it) {
      boxes += (*it)[1].str() + "|" + (*it)[2].str() + "|" + (*it)[3].str();
    }
    EXPECT_EQ(boxes, row.box);
    EXPECT_NE(out.find(manifest ? row.out : InAnsiCodePage(row.out)), std::string::npos) << out;
  }
};

TEST_F(UnicodeClearCase, NamesOutsideTheAnsiCodePage) {
  SetValue(L"Software\\Wine\\Debug", L"RelayInclude", L"user32.MessageBoxA;user32.MessageBoxW");
  const std::string d = dir_, base = d + "base.c", ours = d + "Ελληνικά.txt";
  const std::string theirs = d + "日本語.txt", output = d + "Отчёт_合併.txt";
  const std::string standin = BuildFile("MB_TOOL"), velmora = d + "Программы\\Velmora.exe";
  const std::string bridge = BuildFile("MB_BRIDGE"), plain = d + "plain\\mergebridge.exe";
  for (const auto& [path, text] : {std::pair(base, "one\ntwo\nthree\n"),
       std::pair(ours, "ONE\ntwo\nthree\n"), std::pair(theirs, "one\ntwo\nTHREE\n"),
       std::pair(d + "text.exe", "x")}) {
    std::ofstream(fs::u8path(path), std::ios::binary) << text;
  }
  for (const char* folder : {"Программы", "plain"}) fs::create_directory(fs::u8path(d + folder));
  fs::copy_file(fs::u8path(standin), fs::u8path(velmora));
  // The bridge as a system that ignores its manifest's code page runs it.
  fs::copy_file(fs::u8path(bridge), fs::u8path(plain));
  HANDLE update = BeginUpdateResourceW(ToUtf16(plain).c_str(), FALSE);
  char bare[] = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>";
  UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0x409, bare, sizeof bare - 1);
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  const Args merge = {"-base", base, "-out", output, "-fname", "файл.c@@/main/1",
                      "-fname", "файл.c@@/main/2", base, ours, theirs};
  const Args mergeTool = {"/savetarget=" + output, base, ours, theirs,
                          "/title1=файл.c@@/main/1", "/title2=файл.c@@/main/2"};
  Args aborted = merge;
  aborted.insert(aborted.begin(), "-abort");
  const Row rows[] = {
      {"three-way merge", merge, "X=", standin, 0, mergeTool, ""},
      {"compare", {"-fname", "Ελληνικά@@/main/1", "-fname", "日本語@@/main/2", ours, theirs},
       "X=", standin, 0, Args{ours, theirs, "/title1=Ελληνικά@@/main/1", "/title2=日本語@@/main/2"},
       ""},
      {"output missing: the warning names the element", merge, "STANDIN_SAVE=no", standin, 0,
       mergeTool, Box("Manual merge  of 'файл.c' either did not work or was cancelled\nClearCase "
       "may now say operation successful, but the merge arrow will not be drawn\nYou will need "
       "to undo the checkout", "00000010")},
      {"-abort: the notice names the element", aborted, "X=", standin, 0, mergeTool,
       Box("Automerge  of 'файл.c' did not work\nVelmora will now be run so that you can "
           "manually merge\n", "00000030")},
      {"Velmora in a folder named outside the code page", merge, "X=", velmora, 0, mergeTool, ""},
      {"bad option: a line in the active code page", {"-status_only", "-ж"}, "X=", standin, 1,
       std::nullopt, "", "Command Line error.\r\nOption '-ж ' is not recognised\r\n"},
      {"not a program: the system's text, its insert as written", merge, "X=", d + "text.exe",
       1, std::nullopt, "", "CMD Error 193, Bad EXE format for %1.\r\r\n\r\n"},
  };
  for (const Row& row : rows) {
    Check(row, bridge, true);
    Check(row, plain, false);
  }
}

}  // namespace
