// The Linux launcher against a registry.reg file and the stand-in tool: what
// the tool receives, what comes back, and tools that cannot be started.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "host/launcher.h"
#include "launch_support.h"

namespace {

using Args = std::vector<std::string>;

Args RecordedArgs(const std::string& record) {
  Args args;
  const std::string text = ReadFileText(record);
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// Every value comes back exactly, and the path keeps its case and its spaces.
TEST_F(LaunchTest, ToolReceivesExactlyTheValues) {
  ASSERT_EQ(mkdir((dir_ + "My Tools").c_str(), 0700), 0);
  const std::string tool = dir_ + "My Tools/Velmora Standin";
  CopyStandin(tool);
  RegisterTool(&tool);
  SetChildEnv("STANDIN_RECORD", record_.c_str());
  SetChildEnv("STANDIN_EXIT", "0");
  struct Row {
    std::string args;
    bool statusOnly;
    Args expected;
  } rows[] = {
      {"", false, {}},
      {"", true, {"/qc"}},
      {" /savetarget=\"/v/o u t.c\"     \"L.txt\" \"M.txt\" /title1=\"a.c@@/main/1\" "
       "/title2=\"a.c@@/main/2\"",
       true,
       {"/qc", "/savetarget=/v/o u t.c", "L.txt", "M.txt", "/title1=a.c@@/main/1",
        "/title2=a.c@@/main/2"}},
      {"  \"\\\\host\\share\\x\" \"\" \"tab\there\" \"$HOME\" \"*\" \"'q'\" \"\xc3\xa4\"", false,
       {"\\\\host\\share\\x", "", "tab\there", "$HOME", "*", "'q'", "\xc3\xa4"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    EXPECT_EQ(LaunchCompareTool(row.args, row.statusOnly), 0);
    Args expected{tool};
    expected.insert(expected.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(RecordedArgs(record_), expected);
  }
}

TEST_F(LaunchTest, ExitCodesAndSignalsComeBack) {
  struct Row {
    const char* exitSetting;
    const char* signalSetting;
    long expected;
  } rows[] = {
      {"0", nullptr, 0},   {"1", nullptr, 1},      {"3", nullptr, 3},
      {"255", nullptr, 255}, {"0x1FF", nullptr, 255}, {nullptr, "9", 128 + SIGKILL},
      {nullptr, "15", 128 + SIGTERM},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.exitSetting != nullptr ? row.exitSetting : row.signalSetting);
    SetChildEnv("STANDIN_EXIT", row.exitSetting);
    SetChildEnv("STANDIN_SIGNAL", row.signalSetting);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LaunchCompareTool(" \"L.txt\" \"R.txt\"", false), row.expected);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  }
}

// A parent that ignores SIGCHLD must not cost us the exit code.
TEST_F(LaunchTest, ExitCodeSurvivesAnIgnoredChildSignal) {
  struct sigaction ignore = {}, old;
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGCHLD, &ignore, &old), 0);
  SetChildEnv("STANDIN_EXIT", "3");
  EXPECT_EQ(LaunchCompareTool("", false), 3);
  sigaction(SIGCHLD, &old, nullptr);
}

TEST_F(LaunchTest, ToolsThatCannotStart) {
  mkdir((dir_ + "folder").c_str(), 0700);
  WriteFileText(dir_ + "not-executable", "#!/bin/sh\nexit 0\n");
  chmod((dir_ + "not-executable").c_str(), 0644);
  WriteFileText(dir_ + "not-a-program", "just text\n");
  chmod((dir_ + "not-a-program").c_str(), 0755);
  struct Row {
    std::string path;
    int error;
  } rows[] = {
      {dir_ + "missing", ENOENT},
      {dir_ + "folder", EISDIR},
      {dir_ + "not-executable", EACCES},
      {dir_ + "not-a-program", ENOEXEC},
      {"   ", ENOENT},
      {"velmora-no-such-name-on-path", ENOENT},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    RegisterTool(&row.path);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LaunchCompareTool(" \"L.txt\"", false), row.error);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "CMD Error " + std::to_string(row.error) + ", " + std::strerror(row.error) + "\n");
  }
}

// The wait is woken by the child's end instead of sleeping out 500 ms steps.
TEST_F(LaunchTest, ReturnsAsSoonAsTheToolEnds) {
  SetChildEnv("STANDIN_EXIT", "0");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(LaunchCompareTool("", false), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

}  // namespace
