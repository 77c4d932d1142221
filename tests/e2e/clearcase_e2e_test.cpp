// mergebridge as ClearCase's type manager runs it: the built program, the
// per-user registry and the stand-in compare tool; checked is what ClearCase
// reads back (the exit status and the output file) and what the user is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "process_support.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const bool kMessagesOnStderr = false;  // they are message boxes
const char kSeparator[] = "\\";
#else
const bool kMessagesOnStderr = true;  // no display: ShowMessage writes to stderr
const char kSeparator[] = "/";
#endif

const char kBase[] = "one\ntwo\nthree\n";
const char kTheirs[] = "one\ntwo\nTHREE\n";
const Args kAny = {"*"};

std::string MissingOutput(const std::string& ofPhrase) {
  return "Manual merge " + ofPhrase + " either did not work or was cancelled\nClearCase may now "
         "say operation successful, but the merge arrow will not be drawn\nYou will need to "
         "undo the checkout\n";
}

struct Row {
  const char* name;
  Args args;                     // "{x}" stands for x in the row's folder
  Args env;                      // STANDIN_* settings for the tool
  long status;                   // as ClearCase reads it
  std::optional<Args> toolArgs;  // nullopt: the tool must not run; kAny: not checked
  const char* output;            // {out.c} afterwards; nullptr: absent
  std::string err;               // stderr where messages go there; "x*": begins with x
  const char* out = nullptr;     // stdout; nullptr: not checked
  Registration registration = Registration::Path;
  std::string tool = "";               // the registered tool; empty: the stand-in
  const char* registryFile = nullptr;  // Linux: these bytes as the registry file
};

std::string Expand(std::string text, const std::string& folder) {
  for (size_t open; (open = text.find('{')) != std::string::npos;) {
    const size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    text.replace(open, close - open + 1, folder + text.substr(open + 1, close - open - 1));
  }
  return text;
}

Args Expand(Args args, const std::string& folder) {
  for (std::string& arg : args) arg = Expand(arg, folder);
  return args;
}

bool Matches(const std::string& expected, const std::string& actual) {
  if (expected.empty() || expected.back() != '*') return actual == expected;
  return actual.compare(0, expected.size() - 1, expected, 0, expected.size() - 1) == 0;
}

class ClearCaseRuns : public ScratchTest {
 protected:
  void Check(const Row& row, const std::string& folder) {
    SCOPED_TRACE(row.name);
    const std::string hello = folder + "dirA" + kSeparator + "hello.c";
    fs::create_directories(folder + "dirA");
    fs::create_directories(folder + "dirB");
    for (const std::string& file : {hello, folder + "base.c", folder + "same.c"}) {
      WriteFile(file, kBase);
    }
    WriteFile(folder + "ours.c", "ONE\ntwo\nthree\n");
    WriteFile(folder + "theirs.c", kTheirs);
    WriteFile(folder + "clash.c", "uno\ntwo\nthree\n");
    ClearSettings();
    const std::string tool = row.tool.empty() ? BuildFile("MB_TOOL") : Expand(row.tool, folder);
    RegisterTool(row.registration, tool, folder);
    if (row.registryFile != nullptr) {
      WriteFile(folder + "config/mergebridge/registry.reg", row.registryFile);
    }
    const std::string record = folder + "record.txt";
    SetProcessEnv("STANDIN_RECORD=" + record);
    for (const std::string& setting : row.env) SetProcessEnv(setting);

    const ProgramRun run = RunProgram(BuildFile("MB_BRIDGE"), Expand(row.args, folder), 300);

    ASSERT_TRUE(run.finished) << "not started, or killed after 300 s:\n" << run.err;
    EXPECT_EQ(static_cast<int32_t>(run.status), static_cast<int32_t>(row.status))
        << "stdout:\n" << run.out << "stderr:\n" << run.err;
    EXPECT_EQ(fs::exists(record), row.toolArgs.has_value());
    if (fs::exists(record) && row.toolArgs && *row.toolArgs != kAny) {
      const Args received = RecordedToolArguments(record);
      ASSERT_FALSE(received.empty());
      EXPECT_EQ(Args(received.begin() + 1, received.end()), Expand(*row.toolArgs, folder));
    }
    EXPECT_EQ(fs::exists(folder + "out.c"), row.output != nullptr);
    if (row.output != nullptr) {
      EXPECT_EQ(ReadFile(folder + "out.c"), row.output);
    }
    EXPECT_EQ(ReadFile(hello), kBase) << "an output folder was changed";
    // Under valgrind a failed exec is not reported back: the tool seems to end with 127.
    if (UnderWrapper() && row.out != nullptr && Matches("CMD Error*", row.out)) return;
    if (kMessagesOnStderr) {
      EXPECT_TRUE(Matches(Expand(row.err, folder), run.err)) << "stderr:\n" << run.err;
    }
    std::string out = run.out;  // Windows' console ends lines with CR LF
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    if (row.out != nullptr) {
      EXPECT_TRUE(Matches(Expand(row.out, folder), out)) << "stdout:\n" << out;
    }
  }
};

TEST_F(ClearCaseRuns, WhatClearCaseSees) {
  const Args merge = {"-base", "{base.c}", "-out", "{out.c}", "-fname", "src/hello.c@@/main/1",
                      "-fname", "src/hello.c@@/main/3", "-fname", "src/hello.c@@/main/CHECKEDOUT",
                      "{base.c}", "{ours.c}", "{theirs.c}"};
  const Args mergeToolArgs = {"/savetarget={out.c}", "{base.c}", "{ours.c}", "{theirs.c}",
                              "/title1=src/hello.c@@/main/3",
                              "/title2=src/hello.c@@/main/CHECKEDOUT"};
  Args clash = merge, aborted = merge;
  clash.back() = "{clash.c}";
  aborted.insert(aborted.begin(), "-abort");
  const char kMerged[] = "ONE\ntwo\nTHREE\n";
  const Args twoWay = {"-out", "{out.c}", "-fname", "src/hello.c@@/main/2", "-fname",
                       "src/hello.c@@/main/CHECKEDOUT", "{ours.c}", "{theirs.c}"};
  const Args statusOnly = {"-status_only", "-fname", "a.c@@/main/1", "-fname", "a.c@@/main/2",
                           "{base.c}", "{same.c}"};
  const std::string hugeTool = kSeparator + std::string(1 << 20, 'a') + ".exe";
  Args many;
#ifdef _WIN32
  for (int i = 0; i < 3500; ++i) many.push_back("f" + std::to_string(1000000 + i));
#else
  for (int i = 0; i < 100000; ++i) many.push_back("f" + std::to_string(i));
  Args manyToolArgs = many;
  manyToolArgs.insert(manyToolArgs.begin(), "/title1=f0");
  std::string high;
  for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
  const std::string title = "\xe9l\xe9ment\xff@@/main/\xc3\xa9";
  const Args highArgs = {"-out", "{" + high + "}", "-fname", title, "{ours.c}", "{theirs.c}"};
  const Args highToolArgs = {"/savetarget={" + high + "}", "{ours.c}", "{theirs.c}",
                             "/title1=" + title};
#endif

  const Row rows[] = {
      // The type manager's operations, the tool behaving as a user would have it.
      {"two-way compare", {"-fname", "a.c@@/main/2", "-fname", "a.c@@/main/3", "{ours.c}",
                           "{theirs.c}"},
       {}, 0, Args{"{ours.c}", "{theirs.c}", "/title1=a.c@@/main/2", "/title2=a.c@@/main/3"},
       nullptr, ""},
      {"three-way merge", merge, {}, 0, mergeToolArgs, kMerged, ""},
      {"three-way merge, conflict left: the tool's 1", clash, {}, 1, kAny, nullptr, ""},
      {"three-way merge cancelled: warned, still 0", merge, {"STANDIN_SAVE=no"}, 0,
       mergeToolArgs, nullptr, MissingOutput(" of 'src/hello.c'")},
      {"directory compare", {"-directory", "-fname", "src@@/main/4", "-fname", "src@@/main/5",
                             "{dirA}", "{dirB}"},
       {"STANDIN_EXIT=0"}, 0, Args{"{dirA}", "{dirB}", "/title1=src@@/main/4",
                                   "/title2=src@@/main/5"},
       nullptr, ""},
      {"status-only compare, equal", statusOnly, {}, 0,
       Args{"/qc", "{base.c}", "{same.c}", "/title1=a.c@@/main/1", "/title2=a.c@@/main/2"},
       nullptr, ""},
      {"merge after a failed automerge", aborted, {}, 0, mergeToolArgs, kMerged,
       "Automerge  of 'src/hello.c' did not work\nVelmora will now be run so that you can "
       "manually merge\n\n"},
      {"-abort with no element name", {"-abort"}, {"STANDIN_EXIT=0"}, 0, Args{}, nullptr,
       "Automerge  did not work\nVelmora will now be run so that you can manually merge\n\n"},
      {"-out without a value: the empty path is missing", {"-fname", "@@/main/1", "-out"},
       {"STANDIN_EXIT=0"}, 0, Args{"/title1=@@/main/1"}, nullptr, MissingOutput("")},

      // Every exit status, reached from outside.
      {"no registry at all", twoWay, {}, 1, std::nullopt, nullptr, "REG Get - Failed to *", "",
       Registration::NoStore},
      {"no key for the tool", twoWay, {}, 1, std::nullopt, nullptr,
       "REG Get - Failed to open key 'SOFTWARE\\Harnvik\\Velmora' in the registry\n (Error *", "",
       Registration::NoKey},
      {"key without ExePath", twoWay, {}, 1, std::nullopt, nullptr,
       "REG Get - Failed to get string value from 'SOFTWARE\\Harnvik\\Velmora\\ExePath' in the "
       "registry\n (Error *", "", Registration::NoValue},
      {"empty ExePath: nothing shown", twoWay, {}, 1, std::nullopt, nullptr, "", "",
       Registration::EmptyValue},
      {"tool cannot be started", twoWay, {}, 1, std::nullopt, nullptr, "", "CMD Error 2, *",
       Registration::Path, "{no-such-tool.exe}"},
      {"tool ends with 3", twoWay, {"STANDIN_EXIT=3"}, 1, kAny, nullptr, ""},
      {"tool ends with 255", twoWay, {"STANDIN_EXIT=255"}, 1, kAny, nullptr, ""},
#ifdef _WIN32
      {"tool ends with 0xC0000005: passed on", twoWay, {"STANDIN_EXIT=0xC0000005"},
       static_cast<long>(INT32_C(-1073741819)), kAny, nullptr, ""},
      {"tool ends with STILL_ACTIVE's 259", twoWay, {"STANDIN_EXIT=259"}, 1, kAny, nullptr, ""},
#endif
      {"unrecognised option", {"-outfile", "{out.c}", "{ours.c}"}, {}, 1, std::nullopt, nullptr,
       "Command Line error.\nOption '-outfile ' is not recognised\n(command line = '-outfile "
       "{out.c} {ours.c} ')\n", ""},
      {"unrecognised option in status-only mode: on stdout",
       {"-x", "-status_only", "{ours.c}"}, {}, 1, std::nullopt, nullptr, "",
       "Command Line error.\nOption '-x ' is not recognised\n(command line = '-x -status_only "
       "{ours.c} ')\n"},
      // The quote would end the file's quoting and hand the tool a save target.
      {"value with a double quote: refused", {"{ours.c}\" /savetarget=\"{out.c}"},
       {"STANDIN_EXIT=0"}, 1, std::nullopt, nullptr, "Command Line error.\nValue '*", ""},

      // Bad input: a clear status and message, and nothing lost.
      {"output path is a folder: the tool cannot save", {"-out", "{dirA}", "{ours.c}"}, {}, 1,
       kAny, nullptr, "velmora-standin: cannot write {dirA}\n"},
      {"output path is a folder: it exists, no warning", {"-out", "{dirA}", "{ours.c}"},
       {"STANDIN_EXIT=0"}, 0, kAny, nullptr, ""},
      {"a mebibyte of tool path", twoWay, {}, 1, std::nullopt, nullptr, "",
       kMessagesOnStderr ? "CMD Error 36, File name too long\n" : "CMD Error *",
       Registration::Path, hugeTool},
#ifdef _WIN32
      // Quoting makes the tool's command line longer than the bridge's own: this
      // one fits the bridge but not the 32,767 characters Windows allows the tool.
      {"a command line too long for the tool", many, {"STANDIN_EXIT=0"}, 1, std::nullopt,
       nullptr, "", "CMD Error *"},
#else
      {"100,000 arguments", many, {"STANDIN_EXIT=0"}, 0, manyToolArgs, nullptr, ""},
      // Linux's limit for one argument is 128 KiB, "/savetarget=" included.
      {"an output path too long for the tool", {"-out", std::string(128 * 1024 - 8, 'o')},
       {"STANDIN_EXIT=0"}, 1, std::nullopt, nullptr, "", "CMD Error 7, Argument list too long\n"},
      {"bytes above 127 reach the tool and the file system", highArgs, {}, 0, highToolArgs,
       nullptr, ""},
      {"bytes above 127 in the warning", highArgs, {"STANDIN_SAVE=no"}, 0, highToolArgs, nullptr,
       MissingOutput(" of '\xe9l\xe9ment\xff'")},
      {"registry file cut short", twoWay, {}, 1, std::nullopt, nullptr,
       "{config/mergebridge/registry.reg}:4: quoted text without its closing '\"'\nREG Get - "
       "Failed to get string value from 'SOFTWARE\\Harnvik\\Velmora\\ExePath' in the registry\n"
       " (Error 2, No such file or directory)\n", "", Registration::Path,
       "", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n\"ExePath\"=\"/op"},
#endif
  };
  int index = 0;
  for (const Row& row : rows) Check(row, dir_ + std::to_string(index++) + kSeparator);
}

}  // namespace
