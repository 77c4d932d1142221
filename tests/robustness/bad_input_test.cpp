// Bad input through the real program: each case ends with a clear status and
// message, the tool gets exactly what it was meant to get or is not run, and
// nothing is lost on the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e_host.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

#ifdef _WIN32
const char kExe[] = ".exe";
#else
const char kExe[] = "";
#endif

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return NativePath(value == nullptr ? "" : value);
}

// Windows' text-mode console ends lines with CR LF.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (c != '\r') kept += c;
  }
  return kept;
}

// `expected` ending in '*' is a prefix.
void ExpectText(const char* what, const std::string& expected, const std::string& actual) {
  if (!expected.empty() && expected.back() == '*') {
    const std::string prefix = expected.substr(0, expected.size() - 1);
    EXPECT_EQ(actual.substr(0, prefix.size()), prefix) << what << " was:\n" << actual;
  } else {
    EXPECT_EQ(actual, expected) << what;
  }
}

// Under valgrind glibc's posix_spawn cannot hand a failed exec back to the
// bridge (the child runs without the memory it shares with its parent
// natively): the start seems to succeed and the child ends with 127. Only the
// status is left to check then.
bool UnderWrapper() {
  const char* wrapper = std::getenv("MERGEBRIDGE_TEST_WRAPPER");
  return wrapper != nullptr && *wrapper != '\0';
}

// What a failed start of the tool leaves on stdout.
void ExpectStartFailure(const std::string& expected, const std::string& out) {
  if (UnderWrapper() && out.empty()) return;
  ExpectText("stdout", expected, WithoutCarriageReturns(out));
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge_ = Environment("MB_E2E_BRIDGE");
    standin_ = Environment("MB_E2E_TOOL");
    ASSERT_FALSE(bridge_.empty() || standin_.empty()) << "MB_E2E_BRIDGE and MB_E2E_TOOL";
    folder_ = MakeScratchFolder();
    ASSERT_FALSE(folder_.empty());
    std::ofstream(folder_ + "ours.c") << "ours\n";
    std::ofstream(folder_ + "theirs.c") << "theirs\n";
  }
  void TearDown() override {
    ForgetTool();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Runs mergebridge with `toolPath` registered as the compare tool; the tool
  // records what it received.
  ProgramRun Run(const Args& args, const std::string& toolPath, const Args& settings = {}) {
    Args env = RegisterTool(Registration::Path, toolPath, folder_);
    return RunWith(args, env, settings);
  }

  ProgramRun RunWith(const Args& args, Args env, const Args& settings) {
    fs::remove(Record());
    env.push_back("STANDIN_RECORD=" + Record());
    env.insert(env.end(), settings.begin(), settings.end());
    const ProgramRun run = RunProgram(bridge_, args, env, 300);
    EXPECT_TRUE(run.finished) << "still running after 300 s";
    return run;
  }

  std::string Record() const { return folder_ + "record.txt"; }
  bool ToolRan() const { return fs::exists(Record()); }

  std::string bridge_, standin_, folder_;
};

// Linux limits one argument to 128 KiB (MAX_ARG_STRLEN) and all of them with
// the environment to a quarter of the stack limit; a mebibyte argument cannot
// even reach the bridge, so that one is covered by the translation tests.
TEST_F(BadInput, OversizedCommandLines) {
#ifdef _WIN32
  // Windows limits a whole command line to 32,767 characters. The quotes
  // around each value make the tool's command line longer than the bridge's
  // own: one that fits the bridge but not the tool fails to start, says so,
  // and gives status 1.
  Args many;
  for (int i = 0; i < 3500; ++i) many.push_back("f" + std::to_string(1000000 + i));
  const ProgramRun run = Run(many, standin_, {"STANDIN_EXIT=0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(ToolRan());
  ExpectStartFailure("CMD Error *", run.out);
#else
  {
    SCOPED_TRACE("100,000 arguments");
    Args many;
    for (int i = 0; i < 100000; ++i) many.push_back("f" + std::to_string(i));
    const ProgramRun run = Run(many, standin_, {"STANDIN_EXIT=0"});
    EXPECT_EQ(run.status, 0) << run.err;
    Args expected{"/title1=f0"};
    expected.insert(expected.end(), many.begin(), many.end());
    EXPECT_TRUE(RecordedToolArguments(Record()) == expected) << "the tool got other arguments";
  }
  {
    SCOPED_TRACE("a 127 KiB value");
    const std::string big(127 * 1024, 'v');
    const ProgramRun run = Run({big}, standin_, {"STANDIN_EXIT=0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(RecordedToolArguments(Record()) == (Args{"/title1=" + big, big}));
  }
  {
    // The bridge can take an output path that, with "/savetarget=" in front
    // of it, is too long for the tool: the start fails and says so, and no
    // missing-output warning follows.
    SCOPED_TRACE("an output path that fits the bridge but not the tool");
    const std::string longOut(128 * 1024 - 8, 'o');
    const ProgramRun run = Run({"-out", longOut, folder_ + "ours.c"}, standin_, {"STANDIN_EXIT=0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(ToolRan());
    ExpectStartFailure("CMD Error 7, Argument list too long\n", run.out);
    EXPECT_EQ(run.err.find("Manual merge"), std::string::npos) << run.err;
  }
#endif
}

// Arguments are bytes: every byte from 0x80 up reaches the tool and the file
// system unchanged, and the element name is cut at "@@" bytewise.
TEST_F(BadInput, BytesAbove127) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows converts arguments through the ANSI code page on the way";
#else
  std::string high;
  for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
  const std::string ours = folder_ + high;
  const std::string theirs = folder_ + "\xef\xbb\xbf" "b\x81.c";
  std::ofstream(ours) << "ours\n";
  std::ofstream(theirs) << "theirs\n";
  const std::string title = "\xe9l\xe9ment\xff@@/main/\xc3\xa9";
  const std::string out = folder_ + "r\xe9sultat\x81.c";
  const Args args{"-out", out, "-fname", title, ours, theirs};

  ProgramRun run = Run(args, standin_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(RecordedToolArguments(Record()),
            (Args{"/savetarget=" + out, ours, theirs, "/title1=" + title}));
  std::ifstream saved(out);
  std::string line;
  EXPECT_TRUE(std::getline(saved, line) && line == "theirs") << "nothing saved into " << out;

  fs::remove(out);
  run = Run(args, standin_, {"STANDIN_SAVE=no"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Manual merge  of '\xe9l\xe9ment\xff' either did not work or was "
                     "cancelled\nClearCase may now say operation successful, but the merge "
                     "arrow will not be drawn\nYou will need to undo the checkout\n");
#endif
}

// A registry file that is cut short or has lost its header is reported with
// its path and line, then as the connect failure; the tool is not run.
TEST_F(BadInput, BrokenRegistryFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "the registry of Windows is not a file";
#else
  const std::string key = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n";
  const std::string value = "\"ExePath\"=\"" + standin_ + "\"\r\n";
  struct Row {
    const char* name;
    std::string bytes;
    long line;
  } rows[] = {
      {"truncated in the middle of a line", "REGEDIT4\r\n\r\n" + key + value.substr(0, 14), 4},
      {"truncated in the middle of the key line", "REGEDIT4\r\n\r\n" + key.substr(0, 20), 3},
      {"UTF-8 byte-order mark and no header", "\xef\xbb\xbf" + key + value, 1},
      {"UTF-16LE byte-order mark and no header", std::string("\xff\xfe[\0H\0K\0", 8), 1},
  };
  const std::string config = folder_ + "config";
  const std::string file = config + "/mergebridge/registry.reg";
  fs::create_directories(config + "/mergebridge");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(file, std::ios::binary) << row.bytes;
    const ProgramRun run = RunWith({"-out", folder_ + "out.c", folder_ + "ours.c"},
                                   {"XDG_CONFIG_HOME=" + config}, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(ToolRan());
    EXPECT_EQ(run.out, "");
    ExpectText("stderr", file + ":" + std::to_string(row.line) + ": *", run.err);
    const std::string report =
        "REG Get - Failed to connect to registry\n (Error 22, Invalid argument)\n";
    EXPECT_EQ(run.err.size() > report.size() ? run.err.substr(run.err.size() - report.size()) : "",
              report);
  }
#endif
}

// A mebibyte of tool path is read whole and handed to the system, which
// refuses it: one "CMD Error" line, status 1.
TEST_F(BadInput, AMebibyteToolPath) {
#ifdef _WIN32
  const std::string path = "C:\\" + std::string(1 << 20, 'a') + ".exe";
  const char* expected = "CMD Error *";
#else
  const std::string path = "/" + std::string(1 << 20, 'a');
  const char* expected = "CMD Error 36, File name too long\n";
#endif
  const ProgramRun run = Run({folder_ + "ours.c"}, path);
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(ToolRan());
  ExpectStartFailure(expected, run.out);
}

TEST_F(BadInput, ToolsThatCannotStart) {
  const std::string folder = folder_ + "velmora" + kExe;
  fs::create_directory(folder);
  const std::string text = folder_ + "text" + kExe;
  std::ofstream(text) << "#!/bin/sh\nexit 0\n";
  fs::permissions(text, fs::perms::owner_read | fs::perms::owner_write);
  struct Row {
    const char* name;
    std::string tool;
    const char* out;
  } rows[] = {
#ifdef _WIN32
      {"a folder", folder, "CMD Error *"},
      {"not a program", text, "CMD Error *"},
#else
      {"a folder", folder, "CMD Error 21, Is a directory\n"},
      {"not executable", text, "CMD Error 13, Permission denied\n"},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ProgramRun run = Run({"-out", folder_ + "out.c", folder_ + "ours.c"}, row.tool);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(ToolRan());
    ExpectStartFailure(row.out, run.out);
    EXPECT_FALSE(fs::exists(folder_ + "out.c"));
  }
}

// An output path that is a folder: a tool that tries to save there fails and
// the status says so; one that ends with 0 without saving gets no warning,
// since a folder is something that exists. The folder is left as it was.
TEST_F(BadInput, OutputPathIsAFolder) {
  const std::string target = folder_ + "target";
  fs::create_directory(target);
  std::ofstream(target + "/keep.txt") << "keep\n";
  const Args args{"-out", target, "-fname", "a.c@@/main/1", folder_ + "ours.c",
                  folder_ + "theirs.c"};

  ProgramRun run = Run(args, standin_);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(ToolRan());

  run = Run(args, standin_, {"STANDIN_EXIT=0"});
  EXPECT_EQ(run.status, 0);
#ifndef _WIN32
  EXPECT_EQ(run.err, "");
#endif
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
}

}  // namespace
