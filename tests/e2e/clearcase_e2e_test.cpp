// mergebridge as ClearCase's type manager runs it, with the stand-in compare tool: what ClearCase
// reads back (the exit status and the output file) and what the user is shown (Linux: stderr or the
// dialog programs planted on PATH; Wine: each message box in the relay trace).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <optional>

#include "common/text.h"
#include "common/tool_command.h"
#include "process_support.h"
#ifdef _WIN32
#include <windows.h>

#include "host/utf16_win32.h"
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace mergebridge {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const char kSep[] = "\\", kPathSep[] = ";", kExe[] = ".exe";
#else
const char kSep[] = "/", kPathSep[] = ":", kExe[] = "";
#endif

const char kBase[] = "one\ntwo\nthree\n";
const char kTheirs[] = "one\ntwo\nTHREE\n";
const Args kAny = {"*"};
const std::string kAbortNotice =
    "Automerge  did not work\nVelmora will now be run so that you can manually merge\n";

// `text` split at its spaces.
Args Words(const std::string& text) {
  std::istringstream in(text);
  return Args(std::istream_iterator<std::string>(in), {});
}

// Two files compared and the result saved, as most rows run it.
const char kTwoWay[] =
    "-out {out.c} -fname src/hello.c@@/main/2 -fname "
    "src/hello.c@@/main/CHECKEDOUT {ours.c} {theirs.c}";

struct Row {
  const char* name = "";
  Args args = Words(kTwoWay);                   // "{x}" stands for x in the row's folder
  Args env = {};                                // settings for this run: STANDIN_*, PATH, HOME, ...
  long status = 0;                              // as ClearCase reads it
  std::optional<Args> toolArgs = std::nullopt;  // nullopt: the tool must not run; kAny: not checked
  const char* output = nullptr;                 // {out.c} afterwards; nullptr: absent
  std::string shown = "";                       // messages and stderr lines; "x*": begins with x
  std::optional<std::string> out = std::nullopt;      // stdout; nullopt: empty unless the tool runs
  Registrations registration = {Registration::Path};  // the user's, the machine's (64-, 32-bit)
  std::string tool = "";                              // the registered tool; empty: the stand-in
  // "copy-tool": the stand-in copied to `tool`; "dangling-out": {out.c} links to nothing,
  // "linked-out": to {ours.c}; "unicode" (Windows): the folder's name is outside the ANSI code page
  // and the bridge's manifest sets no code page; other words: Linux dialog programs in {bin}.
  const char* setup = "";
  const char* registryFile = nullptr;  // Linux: these bytes as the registry file
};

// A run of kTwoWay in which the tool starts and saves the output.
Row RunsAndSaves(const char* name, Registrations registration, Args env = {}) {
  return {
      .name = name, .env = env, .toolArgs = kAny, .output = kTheirs, .registration = registration};
}

// A run of kTwoWay refused before the tool starts: status 1, `shown` and nothing on stdout.
Row Refused(const char* name, Registrations registration, std::string shown = "") {
  return {.name = name, .status = 1, .shown = shown, .registration = registration};
}

// A run of kTwoWay whose tool cannot be started: status 1 and `out`, the start failure.
Row NotStarted(const char* name, std::string tool, std::string out) {
  return {.name = name, .status = 1, .out = out, .tool = tool};
}

std::string Expand(std::string text, const std::string& folder) {
  for (size_t open; (open = text.find('{')) != std::string::npos;) {
    const size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    text.replace(open, close - open + 1, folder + text.substr(open + 1, close - open - 1));
  }
  return text;
}

bool Matches(const std::string& expected, const std::string& actual) {
  if (expected.empty() || expected.back() != '*') return actual == expected;
  return actual.compare(0, expected.size() - 1, expected, 0, expected.size() - 1) == 0;
}

#ifdef _WIN32
// Under Wine the relay trace's "Call user32.MessageBoxA(owner,address "text", address
// "caption",style)" (L"..." for MessageBoxW) stands for a box.
std::string ShownUnderWine(const std::string& trace) {
  std::istringstream in(trace);
  std::string shown;
  for (std::string line; std::getline(in, line);) {
    size_t at = line.find(":Call user32.MessageBox");
    if (at == std::string::npos) continue;
    std::string strings[2];
    for (std::string& text : strings) {
      std::wstring units;  // \n, \r, \xNN, \XXXX (a UTF-16 unit), \\ and \"
      for (at = line.find('"', at) + 1; at < line.size() && line[at] != '"'; ++at) {
        wchar_t c = static_cast<unsigned char>(line[at]);
        if (c == L'\\') {
          const char escaped = line[++at];
          const size_t digits = escaped == 'x' ? 2 : std::isxdigit(escaped) ? 4 : 0;
          c = escaped == 'n' ? L'\n' : escaped == 'r' ? L'\r' : static_cast<unsigned char>(escaped);
          if (digits > 0) {
            c = static_cast<wchar_t>(
                std::stoul(line.substr(at + (escaped == 'x'), digits), nullptr, 16));
          }
          at += digits - (digits == 4);
        }
        units += c;
      }
      text = ToUtf8(units);
      ++at;
    }
    const unsigned long style = std::stoul(line.substr(line.find(',', at) + 1), nullptr, 16);
    EXPECT_EQ(strings[1], "mergebridge");
    // Only the missing-output warning has the error icon; every other box is an OK box with the
    // default (warning) icon.
    EXPECT_EQ(style, strings[0].rfind("Manual merge", 0) == 0 ? 0x10u : 0x30u) << strings[0];
    shown += strings[0] + "\n";
  }
  return shown;
}
#endif

class ClearCaseRuns : public ScratchTest {
 protected:
  void Check(const Row& row, const std::string& folder) {
    SCOPED_TRACE(row.name);
    const std::string hello = folder + "dirA" + kSep + "hello.c", record = folder + "record.txt";
    fs::create_directories(Path(folder + "dirA"));
    for (const char* name : {"base.c", "same.c", "dirA/hello.c"}) WriteFile(folder + name, kBase);
    WriteFile(folder + "ours.c", "ONE\ntwo\nthree\n");
    WriteFile(folder + "theirs.c", kTheirs);
    ClearSettings();
    const std::string tool = row.tool.empty() ? BuildFile("MB_TOOL") : Expand(row.tool, folder);
    RegisterTool(row.registration, tool, folder);
    if (row.registryFile != nullptr) {
      WriteFile(folder + ".config/mergebridge/registry.reg", row.registryFile);
    }
    fs::create_directory(Path(folder + "bin"));
    std::string bridge = BuildFile("MB_BRIDGE");
    std::istringstream words(row.setup);
    for (std::string word, code = "0"; words >> word;) {
      if (word == "copy-tool") {
        fs::create_directories(Path(tool).parent_path());
        fs::copy_file(Path(BuildFile("MB_TOOL")), Path(tool));
#ifdef _WIN32
      } else if (word == "unicode") {  // a manifest that leaves the code page alone
        fs::copy_file(Path(bridge), Path(folder + "mergebridge.exe"));
        bridge = folder + "mergebridge.exe";
        char bare[] =
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>";
        HANDLE update = BeginUpdateResourceW(ToUtf16(bridge).c_str(), FALSE);
        UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0x409, bare,
                        sizeof bare - 1);
        ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
#endif
      } else if (word == "dangling-out" || word == "linked-out") {
        fs::create_symlink(folder + (word == "linked-out" ? "ours.c" : "nowhere"),
                           folder + "out.c");
      } else {  // records its arguments; the first exits with 0, the others with 1 (no window)
        WriteFile(folder + "bin/" + word,
                  "#!/bin/sh\nprintf '%s' \"${0##*/}\"; printf ' [%s]' "
                  "\"$@\"; echo; echo dialog-stdout\nexit " +
                      code + "\n");
        fs::permissions(folder + "bin/" + word, fs::perms::owner_all);
        code = "1";
      }
    }
    SetProcessEnv("STANDIN_RECORD=" + record);
    SetProcessEnv(kStateVariable + dir_ + "userstate");
    for (const std::string& setting : row.env) SetProcessEnv(Expand(setting, folder));
    Args args = row.args;
    for (std::string& arg : args) arg = Expand(arg, folder);
    const std::string before = ReadFile(dir_ + kFailures);
#ifdef _WIN32
    const size_t traced = ReadFile(BuildFile("MB_RELAY")).size();
    SetProcessEnv("WINEDEBUG=-all,+relay");
    const ProgramRun run = RunProgram(bridge, args, folder);
    SetProcessEnv("WINEDEBUG=-all");
    std::string shown = ShownUnderWine(ReadFile(BuildFile("MB_RELAY")).substr(traced)) + run.err;
    std::string path = tool;
    LowerCaseAscii(path);
#else
    const ProgramRun run = RunProgram(BuildFile("MB_BRIDGE"), args, folder);
    std::string shown = run.err, path = tool;
#endif
    EXPECT_EQ(static_cast<int32_t>(run.status), static_cast<int32_t>(row.status))
        << "stdout:\n" + run.out + "stderr:\n" + run.err;
    ASSERT_EQ(fs::exists(Path(record)), row.toolArgs.has_value());
    // A run that fails, or leaves no output, records itself with the status ClearCase got; one that
    // works writes nothing, and one whose state folder cannot be written is as it was.
    const bool failed = row.status != 0 || row.shown.find("Manual merge") != std::string::npos;
    const bool recorded = failed && std::count(row.env.begin(), row.env.end(),
                                               kStateVariable + "{ours.c}/state") == 0;
    const std::string after = ReadFile(dir_ + kFailures), entry = after.substr(before.size());
    ASSERT_EQ(entry.empty(), !recorded) << entry;
    std::vector<std::string> fields;
    for (std::istringstream in(entry); std::getline(in, fields.emplace_back(), '\t');) {
    }
    EXPECT_EQ(after.rfind(before, 0), 0u);
    EXPECT_TRUE(entry.empty() || (std::count(entry.begin(), entry.end(), '\n') == 1 &&
                                  fields.at(1) == std::to_string(row.status)))
        << entry;
    if (row.toolArgs) {
      // The stand-in records its argv a line each, or (Windows) its raw command line, read back by
      // the tool's rules, and then its start-up record.
      std::istringstream lines(ReadFile(record));
      Args received, expected = *row.toolArgs;
      for (std::string line; std::getline(lines, line);) received.push_back(line);
#ifdef _WIN32
      // Started minimised, with the title, an 80 x 500 buffer and black on white.
      EXPECT_EQ(received.at(1), "flags=0x19 show=6 title=Velmora columns=80 lines=500 fill=0xf0");
      received = SplitToolCommandLine(received[0]);
#endif
      ASSERT_FALSE(received.empty());
      EXPECT_EQ(received[0], path);
      received.erase(received.begin());
      for (std::string& arg : expected) arg = Expand(arg, folder);
      if (expected != kAny) {
        EXPECT_EQ(received, expected);
      }
    }
    EXPECT_EQ(ReadFile(folder + "out.c"), row.output ? row.output : "");
    EXPECT_EQ(fs::exists(Path(folder + "out.c")), row.output != nullptr);
    EXPECT_EQ(ReadFile(hello), kBase) << "an output folder was changed";
    // Under valgrind a failed exec is not reported back: the tool seems to end with 127.
    const std::string stdOut = row.out.value_or(row.toolArgs ? "*" : "");  // the stand-in prints
    if (std::getenv("MERGEBRIDGE_TEST_WRAPPER") && Matches("CMD Error*", stdOut)) {
      return;
    }
    std::string out = run.out;  // Windows' console ends lines with CR LF
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
    EXPECT_TRUE(Matches(Expand(row.shown, folder), shown)) << "shown:\n" << shown;
    if (recorded) {  // the reason as the user saw it, or (nothing shown) what the tool did
      const std::string reason = fields.at(2), first = reason.substr(0, reason.find('\\'));
      const std::string quiet = row.toolArgs ? "Velmora ended with status " : "the registration of";
      EXPECT_TRUE((shown + out).find(first) != std::string::npos || reason.rfind(quiet, 0) == 0)
          << reason;
    }
    EXPECT_TRUE(Matches(Expand(stdOut, folder), out)) << "stdout:\n" << out;
  }
};

TEST_F(ClearCaseRuns, WhatClearCaseSees) {
  const Args merge = Words(
      "-base {base.c} -out {out.c} -fname src/hello.c@@/main/1 -fname src/hello.c@@/main/3 "
      "-fname src/hello.c@@/main/CHECKEDOUT {base.c} {ours.c} {theirs.c}");
  const Args mergeToolArgs = Words(
      "/savetarget={out.c} {base.c} {ours.c} {theirs.c} /title1=src/hello.c@@/main/3 "
      "/title2=src/hello.c@@/main/CHECKEDOUT");
  const char kMerged[] = "ONE\ntwo\nTHREE\n";
  const Args compare = Words("-fname a.c@@/main/2 -fname a.c@@/main/3 {ours.c} {theirs.c}");
  const std::string uniMerge =
      "-base {base.c} -out {out.c} -fname файл.c@@/main/1 -fname файл.c@@/main/2 {base.c} "
      "{ours.c} {theirs.c}";
  const Args uniToolArgs = Words(
      "/savetarget={out.c} {base.c} {ours.c} {theirs.c} /title1=файл.c@@/main/1 "
      "/title2=файл.c@@/main/2");
  const std::string hugeTool = kSep + std::string(1 << 20, 'a') + ".exe";
  const std::string onPath = "PATH=" + fs::path(BuildFile("MB_TOOL")).parent_path().string() +
                             kPathSep + std::getenv("PATH");
  const std::string cancelled = MissingOutput(" of 'src/hello.c'");
  const bool posix = kSep[0] == '/';
  const std::string notFound =
      std::string("CMD Error 2, ") + (posix ? "No such file or directory\n" : "File not found.*");
  const std::string badOption = "Command Line error.\nOption '";
  const std::string noKey =
      "REG Get - Failed to open key 'SOFTWARE\\Harnvik\\Velmora' in the registry\n (Error ";
  const std::string noValue =
      "REG Get - Failed to get string value from 'SOFTWARE\\Harnvik\\Velmora\\ExePath' in the "
      "registry\n (Error 2, ";
#ifndef _WIN32
  std::string high;
  for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
  const std::string title = "\xe9l\xe9ment\xff@@/main/\xc3\xa9";
  const std::string noRegistry = "REG Get - Failed to connect to registry\n (Error ";
  const std::string regFile = "{.config/mergebridge/registry.reg}:";
  const std::string desktop = "PATH={bin}";  // no real dialog program is ever reached
#endif

  using enum Registration;
  const Row rows[] = {
      // The type manager's operations, the tool behaving as a user would have it.
      {.name = "two-way compare",
       .args = compare,
       .toolArgs = Words("{ours.c} {theirs.c} /title1=a.c@@/main/2 /title2=a.c@@/main/3")},
      {.name = "three-way merge", .args = merge, .toolArgs = mergeToolArgs, .output = kMerged},
      {.name = "three-way merge cancelled: warned, still 0",
       .args = merge,
       .env = {"STANDIN_SAVE=no"},
       .toolArgs = mergeToolArgs,
       .shown = cancelled + "\n"},
      {.name = "status-only compare, equal",
       .args = Words("-status_only -fname a@@/1 {base.c} {same.c}"),
       .toolArgs = Words("/qc {base.c} {same.c} /title1=a@@/1"),
       .out = "velmora-standin: files are identical\n"},
      {.name = "-abort with no element name; an empty DISPLAY is no desktop",
       .args = {"-abort"},
       .env = {"STANDIN_EXIT=0", "DISPLAY="},
       .toolArgs = Args{},
       .shown = kAbortNotice + "\n",
       .setup = "zenity"},
      {.name = "-out without a value: the empty path is missing",
       .args = Words("-fname @@/main/1 -out"),
       .env = {"STANDIN_EXIT=0"},
       .toolArgs = Args{"/title1=@@/main/1"},
       .shown = MissingOutput("") + "\n"},
      // Anything at the output path counts as written, a folder too: no warning.
      {.name = "a folder at the output path: present",
       .args = Words("-out {dirA} {ours.c} {theirs.c}"),
       .env = {"STANDIN_SAVE=no"},
       .toolArgs = kAny},
      {.name = "a tool path with spaces and capitals",
       .args = compare,
       .toolArgs = kAny,
       .tool = std::string("{My Tools") + kSep + "Velmora Standin" + kExe + "}",
       .setup = "copy-tool"},
      {.name = "a tool registered by its bare name, found on PATH",
       .args = compare,
       .env = {onPath},
       .toolArgs = kAny,
       .tool = "velmora-standin"},

      // Every exit status, reached from outside. Where the tool is looked for: the user's registry,
      // then the machine's.
      RunsAndSaves("registered for all users only", {NoStore, Path}),
      RunsAndSaves("the user's key without ExePath: the machine's", {NoValue, Path}),
      RunsAndSaves("registered for both: the user's wins", {Path, EmptyValue}),
      // The policy over both, the computer's first; an absent value passes the search on, an empty
      // one stops it.
      RunsAndSaves("the computer's policy wins over the user's and the machine's",
                   {OtherPath, OtherPath, NoStore, Path}),
      RunsAndSaves("a policy key without ExePath: the user's", {Path, OtherPath, NoStore, NoValue}),
      Refused("an empty policy: nothing shown, nothing started", {Path, Path, NoStore, EmptyValue}),
#ifdef _WIN32
      RunsAndSaves("the user's policy wins over the user's and the machine's",
                   {OtherPath, OtherPath, NoStore, NoStore, Path}),
      RunsAndSaves("the computer's policy wins over the user's policy",
                   {OtherPath, NoStore, NoStore, Path, OtherPath}),
#endif
      Refused("no key, the machine's without ExePath: the user's key named", {NoKey, NoValue},
              noKey + "2, *"),
      Refused("key without ExePath", {NoValue}, noValue + "*"),
      Refused("empty ExePath, even over the machine's: nothing shown", {EmptyValue, Path}),
      {.name = "a state folder that cannot be written: the run as without it",
       .env = {kStateVariable + "{ours.c}/state"},
       .status = 1,
       .registration = {EmptyValue}},
      NotStarted("tool cannot be started", "{no-such-tool.exe}", notFound),
      NotStarted("tool is not a program", "{ours.c}",
                 posix ? "CMD Error 13, Permission denied\n"
                       : "CMD Error 193, Bad EXE format for %1.\n\n"),
#ifdef _WIN32
      // 64-bit Windows: the machine's 64-bit registry view, then the 32-bit one.
      RunsAndSaves("registered for all users in the 32-bit view only", {NoStore, NoStore, Path}),
      RunsAndSaves("a tool in each view: the 64-bit one's", {NoStore, Path, OtherPath}),
      // A Unicode ClearCase: files, display names, output and Velmora's folder outside the ANSI
      // code page reach the tool, the file system and the user.
      {.name = "names outside the code page: merge",
       .args = Words(uniMerge),
       .toolArgs = uniToolArgs,
       .output = kMerged,
       .tool = "{Программы\\velmora.exe}",
       .setup = "unicode copy-tool"},
      {.name = "names outside the code page: -abort, output missing",
       .args = Words("-abort " + uniMerge),
       .env = {"STANDIN_SAVE=no"},
       .toolArgs = uniToolArgs,
       .shown = "Automerge  of 'файл.c' did not work\nVelmora will now be run so that you can "
                "manually merge\n\n" +
                MissingOutput(" of 'файл.c'") + "\n",
       .setup = "unicode"},
      {.name = "names outside the code page on stdout: UTF-8 by the manifest",
       .args = {"-status_only", "-ж"},
       .status = 1,
       .out = badOption + "-ж ' is not recognised\n(command line = '-status_only -ж ')\n"},
      {.name = "tool ends with 0xC0000005: passed on",
       .env = {"STANDIN_EXIT=0xC0000005"},
       .status = static_cast<long>(INT32_C(-1073741819)),
       .toolArgs = kAny},
#else
      NotStarted("tool is a folder", "{dirA}", "CMD Error 21, Is a directory\n"),
#endif
      {.name = "tool ends with 3", .env = {"STANDIN_EXIT=3"}, .status = 1, .toolArgs = kAny},
      {.name = "unrecognised option",
       .args = Words("-outfile {out.c} {ours.c}"),
       .status = 1,
       .shown = badOption +
                "-outfile ' is not recognised\n(command line = '-outfile {out.c} {ours.c} ')\n"},
      {.name = "unrecognised option in status-only mode: on stdout",
       .args = Words("-x -status_only {ours.c}"),
       .status = 1,
       .out = badOption + "-x ' is not recognised\n(command line = '-x -status_only {ours.c} ')\n"},
      // The quote would end the file's quoting and hand the tool a save target.
      {.name = "value with a double quote: refused, the value named",
       .args = {"-out", "{out.c}", "{ours.c}\" /q=\""},
       .env = {"STANDIN_EXIT=0"},
       .status = 1,
       .shown = "Command Line error.\nValue '{ours.c}\" /q=\" ' contains a double quote and cannot "
                "be passed on safely\n(command line = '-out {out.c} {ours.c}\" /q=\" ')\n"},
      {.name = "a bad option and a double quote: the option is named",
       .args = {"a\"b", "-x"},
       .status = 1,
       .shown = badOption + "-x ' is not recognised\n(command line = 'a\"b -x ')\n"},

      // Bad input: a clear status and message, and nothing lost.
      NotStarted("a mebibyte of tool path", hugeTool,
                 posix ? "CMD Error 36, File name too long\n" : "CMD Error *"),
#ifndef _WIN32
      {.name = "bytes above 127 reach the tool, the file system and the warning",
       .args = {"-out", "{" + high + "}", "-fname", title, "{ours.c}", "{theirs.c}"},
       .env = {"STANDIN_SAVE=no"},
       .toolArgs = Args{"/savetarget={" + high + "}", "{ours.c}", "{theirs.c}", "/title1=" + title},
       .shown = MissingOutput(" of '\xe9l\xe9ment\xff'") + "\n"},
      {.name = "a link to a file at the output path: present",
       .env = {"STANDIN_SAVE=no"},
       .toolArgs = kAny,
       .output = "ONE\ntwo\nthree\n",
       .setup = "linked-out"},
      {.name = "a dangling link at the output path: missing",
       .env = {"STANDIN_EXIT=0"},
       .toolArgs = kAny,
       .shown = cancelled + "\n",
       .setup = "dangling-out"},

      // Where the registry file is looked for, and what may stand in its place.
      {.name = "registry file cut short",
       .status = 1,
       .shown = regFile + "4: quoted text without its closing '\"'\n" + noValue +
                "No such file or directory)\n",
       .registryFile = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n"
                       "\"ExePath\"=\"/op"},
      Refused("registry file is a FIFO: read as empty, no hang, not stepped over", {Fifo, Path},
              regFile +
                  "1: the first line must be REGEDIT4 or Windows Registry Editor Version 5.00\n" +
                  noRegistry + "22, Invalid argument)\n"),
      Refused("registry file is an endless device: reported, not stepped over", {Device, Path},
              noRegistry + "27, File too large)\n"),
      Refused("a policy file that cannot be read: reported, the user's not taken",
              {Path, NoStore, NoStore, Device},
              "REG Get - Failed to get string value from 'SOFTWARE\\Policies\\Harnvik\\Velmora\\"
              "ExePath' in the registry\n (Error 27, File too large)\n"),
      Refused("a file where the registry's folder should be", {FileForFolder},
              noKey + "20, Not a directory)\n"),
      RunsAndSaves("empty XDG_CONFIG_HOME: $HOME/.config", {Path}, {"XDG_CONFIG_HOME=", "HOME={}"}),
      RunsAndSaves("no XDG_CONFIG_HOME: $HOME/.config", {Path}, {"XDG_CONFIG_HOME", "HOME={}"}),
      {.name = "neither XDG_CONFIG_HOME nor HOME",
       .env = {"XDG_CONFIG_HOME", "HOME"},
       .status = 1,
       .shown = noRegistry + "2, No such file or directory)\n"},

      // With a desktop the messages go to a dialog program, zenity before kdialog; what it prints
      // stays off stdout, which ClearCase reads.
      {.name = "desktop: zenity's error dialog for the warning",
       .args = merge,
       .env = {"STANDIN_SAVE=no", "DISPLAY=:0", desktop},
       .toolArgs = mergeToolArgs,
       .shown = "zenity [--error] [--no-markup] [--title=mergebridge] [--text=" + cancelled +
                "]\ndialog-stdout\n",
       .setup = "zenity kdialog"},
      {.name = "desktop, status only: kdialog's notice fails, so stderr too",
       .args = {"-status_only", "-abort"},
       .env = {"STANDIN_EXIT=0", "DISPLAY=:0", desktop},
       .toolArgs = Args{"/qc"},
       .shown = "kdialog [--title] [mergebridge] [--sorry] [" + kAbortNotice +
                "]\ndialog-stdout\n" + kAbortNotice + "\n",
       .out = "",
       .setup = "xmessage kdialog"},
#endif
  };
  int index = 0;
  for (const Row& row : rows) {
#ifdef _WIN32
    BOOL twoViews = FALSE;  // this 32-bit program under 64-bit Windows; 32-bit Windows has one view
    if (row.registration.machine32 != NoStore && IsWow64Process(GetCurrentProcess(), &twoViews) &&
        !twoViews)
      continue;
#endif
    const bool unicode = std::string(row.setup).find("unicode") != std::string::npos;
    Check(row, dir_ + std::to_string(index++) + (unicode ? "_Ελληνικά_日本語_Отчёт" : "") + kSep);
  }
}

#ifndef _WIN32
// A failed run's line reaches the system's log: the run sees a socket of the test's own at /dev/log
// (a mount namespace of its own, which takes root).
TEST_F(ClearCaseRuns, FailureInTheSystemLog) {
  const std::string socketPath = dir_ + "log";
  const int log = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {.sun_family = AF_UNIX, .sun_path = {}};
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(log, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  RegisterTool({Registration::EmptyValue}, "", dir_);
  const ProgramRun run = RunProgram(
      "/usr/bin/unshare",
      {"-m", "sh", "-c",
       "mount -t tmpfs none /dev && : >/dev/log && mount --bind \"$0\" /dev/log && exec \"$@\"",
       socketPath, BuildFile("MB_BRIDGE"), "-fname", "a@@/1", "{a.c}", "b.c"},
      dir_);
  if (run.status != 1 && geteuid() != 0) GTEST_SKIP() << "needs root: " << run.err;
  EXPECT_EQ(run.status, 1) << run.err;
  char message[4096];
  const ssize_t size = recv(log, message, sizeof message, MSG_DONTWAIT);
  close(log);
  ASSERT_GT(size, 0);
  const std::string text(message, static_cast<size_t>(size));  // facility user, priority err
  EXPECT_EQ(text.substr(0, 4), "<11>");
  EXPECT_NE(text.find(" mergebridge["), std::string::npos) << text;
  EXPECT_NE(text.find("]: exit status 1: the registration of Velmora is empty; files: {a.c}, b.c"),
            std::string::npos)
      << text;
}
#endif

}  // namespace

}  // namespace mergebridge
