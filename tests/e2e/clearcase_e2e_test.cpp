// mergebridge as ClearCase's type manager runs it: the built program, the
// per-user registry, the stand-in compare tool, and what ClearCase reads back
// (the exit status and the output file) and what the user is shown.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_host.h"

namespace {

namespace fs = std::filesystem;

using Args = std::vector<std::string>;

#ifdef _WIN32
const bool kMessagesOnStderr = false;  // they are message boxes
const char kExe[] = ".exe";
const char kSeparator[] = "\\";
#else
const bool kMessagesOnStderr = true;  // no display: ShowMessage writes to stderr
const char kExe[] = "";
const char kSeparator[] = "/";
#endif

const char kBase[] = "one\ntwo\nthree\n";
const char kOurs[] = "ONE\ntwo\nthree\n";
const char kTheirs[] = "one\ntwo\nTHREE\n";
const char kClash[] = "uno\ntwo\nthree\n";
const char kMerged[] = "ONE\ntwo\nTHREE\n";

const char kMissingOutputOfHello[] =
    "Manual merge  of 'src/hello.c' either did not work or was cancelled\nClearCase may now "
    "say operation successful, but the merge arrow will not be drawn\nYou will need to undo "
    "the checkout\n";

// Where the compare tool is registered: the stand-in, a file that is not
// there, or a copy of the stand-in under a folder and name with spaces and
// capitals.
enum class Tool { Standin, Missing, SpacedCopy };

const std::vector<std::string> kAnyArgs = {"*"};

struct Case {
  const char* name;
  Args args;                    // "{x}" stands for the file x in the case's folder
  Args env;                     // STANDIN_* settings for the tool
  long status;                  // as ClearCase reads it
  std::optional<Args> toolArgs; // nullopt: the tool must not run; kAnyArgs: not checked
  const char* output;           // content of {out.c} afterwards; nullptr: absent
  const char* err;              // stderr where messages go there; "x*": begins with x
  const char* out;              // stdout; nullptr: not checked; "x*": begins with x
  Registration registration = Registration::Path;
  Tool tool = Tool::Standin;
};

bool RunsUnderWrapper() {
  const char* wrapper = std::getenv("MERGEBRIDGE_TEST_WRAPPER");
  return wrapper != nullptr && *wrapper != '\0';
}

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return NativePath(value == nullptr ? "" : value);
}

std::string Expand(std::string text, const std::string& folder) {
  for (size_t open; (open = text.find('{')) != std::string::npos;) {
    const size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    text.replace(open, close - open + 1, folder + text.substr(open + 1, close - open - 1));
  }
  return text;
}

Args Expand(const Args& args, const std::string& folder) {
  Args expanded;
  for (const std::string& arg : args) expanded.push_back(Expand(arg, folder));
  return expanded;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Console text as a Linux test writes it: Windows' text-mode streams end lines
// with CR LF.
std::string WithoutCarriageReturns(std::string text) {
  std::string result;
  for (char c : text) {
    if (c != '\r') result += c;
  }
  return result;
}

void ExpectText(const char* what, const std::string& expected, const std::string& actual) {
  if (!expected.empty() && expected.back() == '*') {
    const std::string prefix = expected.substr(0, expected.size() - 1);
    EXPECT_EQ(actual.substr(0, prefix.size()), prefix) << what << " was:\n" << actual;
  } else {
    EXPECT_EQ(actual, expected) << what;
  }
}

struct FolderRemover {
  std::string folder;
  ~FolderRemover() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

class ClearCaseRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge_ = FromEnvironment("MB_E2E_BRIDGE");
    standin_ = FromEnvironment("MB_E2E_TOOL");
    ASSERT_FALSE(bridge_.empty()) << "MB_E2E_BRIDGE names the program under test";
    ASSERT_FALSE(standin_.empty()) << "MB_E2E_TOOL names the stand-in compare tool";
  }
  void TearDown() override { ForgetTool(); }

  void Check(const Case& row) {
    SCOPED_TRACE(row.name);
    const std::string folder = MakeScratchFolder();
    ASSERT_FALSE(folder.empty());
    const FolderRemover remover{folder};
    WriteFile(folder + "base.c", kBase);
    WriteFile(folder + "same.c", kBase);
    WriteFile(folder + "ours.c", kOurs);
    WriteFile(folder + "theirs.c", kTheirs);
    WriteFile(folder + "clash.c", kClash);
    fs::create_directories(folder + "dirA");
    fs::create_directories(folder + "dirB");
    WriteFile(folder + "dirA" + kSeparator + "hello.c", kBase);

    std::string tool = standin_;
    if (row.tool == Tool::Missing) tool = folder + "no-such-tool" + kExe;
    if (row.tool == Tool::SpacedCopy) {
      const fs::path copy =
          fs::path(folder) / "Velmora Tools" / (std::string("Velmora Standin") + kExe);
      fs::create_directories(copy.parent_path());
      fs::copy_file(standin_, copy);
      fs::permissions(copy, fs::perms::owner_all, fs::perm_options::add);
      tool = copy.string();
    }
    const std::string record = folder + "record.txt";
    Args env = RegisterTool(row.registration, tool, folder);
    env.push_back("STANDIN_RECORD=" + record);
    for (const std::string& setting : row.env) env.push_back(Expand(setting, folder));

    const ProgramRun run = RunProgram(bridge_, Expand(row.args, folder), env, 60);

    ASSERT_TRUE(run.finished) << "not started, or killed after 60 s:\n" << run.err;
    EXPECT_EQ(static_cast<int32_t>(run.status), static_cast<int32_t>(row.status))
        << "stdout:\n" << run.out << "stderr:\n" << run.err;
    const bool toolRan = fs::exists(record);
    EXPECT_EQ(toolRan, row.toolArgs.has_value());
    if (toolRan && row.toolArgs && *row.toolArgs != kAnyArgs) {
      EXPECT_EQ(RecordedToolArguments(record), Expand(*row.toolArgs, folder));
    }
    const std::string outputPath = folder + "out.c";
    EXPECT_EQ(fs::exists(outputPath), row.output != nullptr);
    if (row.output != nullptr) {
      EXPECT_EQ(ReadFile(outputPath), row.output);
    }
    if (kMessagesOnStderr) ExpectText("stderr", Expand(row.err, folder), run.err);
    if (row.out != nullptr) {
      ExpectText("stdout", Expand(row.out, folder), WithoutCarriageReturns(run.out));
    }
  }

  std::string bridge_;
  std::string standin_;
};

// The calls ClearCase's type manager makes, with the stand-in tool behaving as
// a user would have it behave.
TEST_F(ClearCaseRuns, TypeManagerOperations) {
  const Args merge = {"-base", "{base.c}", "-out", "{out.c}",
                      "-fname", "src/hello.c@@/main/1", "-fname", "src/hello.c@@/main/3",
                      "-fname", "src/hello.c@@/main/CHECKEDOUT",
                      "{base.c}", "{ours.c}", "{theirs.c}"};
  const Args mergeToolArgs = {"/savetarget={out.c}", "{base.c}", "{ours.c}", "{theirs.c}",
                              "/title1=src/hello.c@@/main/3",
                              "/title2=src/hello.c@@/main/CHECKEDOUT"};
  Args clash = merge;
  clash.back() = "{clash.c}";
  Args aborted = merge;
  aborted.insert(aborted.begin(), "-abort");

  const Case rows[] = {
      {"two-way compare",
       {"-fname", "src/hello.c@@/main/2", "-fname", "src/hello.c@@/main/3", "{ours.c}",
        "{theirs.c}"},
       {}, 0,
       Args{"{ours.c}", "{theirs.c}", "/title1=src/hello.c@@/main/2",
            "/title2=src/hello.c@@/main/3"},
       nullptr, "", nullptr},
      {"three-way merge", merge, {}, 0, mergeToolArgs, kMerged, "", nullptr},
      {"three-way merge with a conflict left unresolved", clash, {}, 1, kAnyArgs, nullptr, "",
       nullptr},
      {"three-way merge cancelled in the tool: warned, still 0", merge, {"STANDIN_SAVE=no"}, 0,
       mergeToolArgs, nullptr, kMissingOutputOfHello, nullptr},
      {"directory compare", {"-directory", "-fname", "src@@/main/4", "-fname", "src@@/main/5",
                             "{dirA}", "{dirB}"},
       {"STANDIN_EXIT=0"}, 0, Args{"{dirA}", "{dirB}", "/title1=src@@/main/4",
                                   "/title2=src@@/main/5"},
       nullptr, "", nullptr},
      {"status-only compare of equal files",
       {"-status_only", "-fname", "hello.c@@/main/1", "-fname", "hello.c@@/main/2", "{base.c}",
        "{same.c}"},
       {}, 0, Args{"/qc", "{base.c}", "{same.c}", "/title1=hello.c@@/main/1",
                   "/title2=hello.c@@/main/2"},
       nullptr, "", nullptr},
      {"status-only compare of different files",
       {"-status_only", "-fname", "hello.c@@/main/1", "-fname", "hello.c@@/main/2", "{base.c}",
        "{ours.c}"},
       {}, 1, kAnyArgs, nullptr, "", nullptr},
      {"merge after a failed automerge", aborted, {}, 0, mergeToolArgs, kMerged,
       "Automerge  of 'src/hello.c' did not work\nVelmora will now be run so that you can "
       "manually merge\n\n",
       nullptr},
      {"-abort with no element name", {"-abort"}, {"STANDIN_EXIT=0"}, 0, Args{}, nullptr,
       "Automerge  did not work\nVelmora will now be run so that you can manually merge\n\n",
       nullptr},
      {"-out without a value: the empty path is missing", {"-fname", "@@/main/1", "-out"},
       {"STANDIN_EXIT=0"}, 0, Args{"/title1=@@/main/1"}, nullptr,
       "Manual merge  either did not work or was cancelled\nClearCase may now say operation "
       "successful, but the merge arrow will not be drawn\nYou will need to undo the "
       "checkout\n",
       nullptr},
  };
  for (const Case& row : rows) Check(row);
}

// Every exit status ClearCase can be given, reached from outside.
TEST_F(ClearCaseRuns, ExitStatusTable) {
  const Args twoWayMerge = {"-out", "{out.c}", "-fname", "src/hello.c@@/main/2", "-fname",
                            "src/hello.c@@/main/CHECKEDOUT", "{ours.c}", "{theirs.c}"};
  const char* const kNoKey =
      "REG Get - Failed to open key 'SOFTWARE\\Harnvik\\Velmora' in the registry\n (Error *";
  // glibc learns that the tool could not be started from the vfork'ed child;
  // valgrind runs that child as a fork, so the launcher sees an exit code of
  // 127 instead, which still gives 1 but no "CMD Error" line.
  const char* const kStartFailureLine = RunsUnderWrapper() ? "*" : "CMD Error 2, *";
  const Case rows[] = {
      {"no registry at all", twoWayMerge, {}, 1, std::nullopt, nullptr, "REG Get - Failed to *",
       "", Registration::NoStore},
      {"no key for the tool", twoWayMerge, {}, 1, std::nullopt, nullptr, kNoKey, "",
       Registration::NoKey},
      {"key without ExePath", twoWayMerge, {}, 1, std::nullopt, nullptr,
       "REG Get - Failed to get string value from 'SOFTWARE\\Harnvik\\Velmora\\ExePath' in the "
       "registry\n (Error *",
       "", Registration::NoValue},
      {"empty ExePath: nothing shown", twoWayMerge, {}, 1, std::nullopt, nullptr, "", "",
       Registration::EmptyValue},
      {"tool cannot be started", twoWayMerge, {}, 1, std::nullopt, nullptr, "", kStartFailureLine,
       Registration::Path, Tool::Missing},
      {"tool ends with 0 and wrote the output", twoWayMerge, {}, 0, kAnyArgs, kTheirs, "",
       nullptr},
      {"tool ends with 0 without output: warned, still 0", twoWayMerge, {"STANDIN_SAVE=no"}, 0,
       kAnyArgs, nullptr, kMissingOutputOfHello, nullptr},
      {"tool ends with 1", twoWayMerge, {"STANDIN_EXIT=1"}, 1, kAnyArgs, nullptr, "", nullptr},
      {"tool ends with 3", twoWayMerge, {"STANDIN_EXIT=3"}, 1, kAnyArgs, nullptr, "", nullptr},
      {"tool ends with 255", twoWayMerge, {"STANDIN_EXIT=255"}, 1, kAnyArgs, nullptr, "",
       nullptr},
#ifdef _WIN32
      {"tool crashes with 0xC0000005: passed on", twoWayMerge, {"STANDIN_EXIT=0xC0000005"},
       static_cast<long>(INT32_C(-1073741819)), kAnyArgs, nullptr, "", nullptr},
      {"tool ends with 0x80000000: passed on", twoWayMerge, {"STANDIN_EXIT=0x80000000"},
       static_cast<long>(INT32_MIN), kAnyArgs, nullptr, "", nullptr},
      {"tool ends with 0xFFFFFFFF: passed on", twoWayMerge, {"STANDIN_EXIT=0xFFFFFFFF"}, -1,
       kAnyArgs, nullptr, "", nullptr},
#else
      {"tool killed by a signal", twoWayMerge, {"STANDIN_SIGNAL=15"}, 1, kAnyArgs, nullptr, "",
       nullptr},
#endif
      {"tool path with spaces and capitals", twoWayMerge, {}, 0,
       Args{"/savetarget={out.c}", "{ours.c}", "{theirs.c}", "/title1=src/hello.c@@/main/2",
            "/title2=src/hello.c@@/main/CHECKEDOUT"},
       kTheirs, "", nullptr, Registration::Path, Tool::SpacedCopy},
      {"unrecognised option", {"-outfile", "{out.c}", "{ours.c}"}, {}, 1, std::nullopt, nullptr,
       "Command Line error.\nOption '-outfile ' is not recognised\n(command line = '-outfile "
       "{out.c} {ours.c} ')\n",
       ""},
      {"unrecognised option in status-only mode: on stdout",
       {"-x", "-status_only", "{ours.c}", "{theirs.c}"}, {}, 1, std::nullopt, nullptr, "",
       "Command Line error.\nOption '-x ' is not recognised\n(command line = '-x -status_only "
       "{ours.c} {theirs.c} ')\n"},
      // The quote would end the file's quoting and hand the tool a save target
      // of the value's choosing.
      {"value with a double quote: refused, tool not run",
       {"-fname", "src/hello.c@@/main/2", "{ours.c}", "{theirs.c}\" /savetarget=\"{out.c}"},
       {"STANDIN_EXIT=0"}, 1, std::nullopt, nullptr, "Command Line error.\nValue '*", ""},
  };
  for (const Case& row : rows) Check(row);
}

}  // namespace
