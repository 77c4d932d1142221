// The Linux launcher: what the tool receives, the exit code or signal that
// comes back, and a wait that ends with the tool.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "host/launcher.h"
#include "process_support.h"

namespace {

namespace fs = std::filesystem;
using Launcher = ScratchTest;

// Every value comes back exactly, and the path keeps its case and its spaces.
TEST_F(Launcher, ToolReceivesExactlyTheValues) {
  const std::string tool = dir_ + "My Tools/Velmora Standin";
  fs::create_directory(dir_ + "My Tools");
  fs::copy_file(BuildFile("MB_TOOL"), tool);
  RegisterTool(Registration::Path, tool, dir_);
  SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
  SetProcessEnv("STANDIN_EXIT=0");
  const struct {
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
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    EXPECT_EQ(LaunchCompareTool(row.args, row.statusOnly), 0);
    Args expected{tool};
    expected.insert(expected.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(RecordedToolArguments(dir_ + "record"), expected);
  }
}

// The code comes back unlimited and a signal N as 128 + N, also when this
// process ignores SIGCHLD, which would have the child reaped behind our back;
// each wait ends with the tool, well inside the 500 ms polling period.
TEST_F(Launcher, ExitCodesAndSignalsComeBackAtOnce) {
  RegisterTool(Registration::Path, BuildFile("MB_TOOL"), dir_);
  const struct {
    const char* setting;
    long expected;
  } rows[] = {{"STANDIN_EXIT=3", 3}, {"STANDIN_EXIT=255", 255},
              {"STANDIN_SIGNAL=9", 128 + SIGKILL}, {"STANDIN_SIGNAL=15", 128 + SIGTERM}};
  const auto start = std::chrono::steady_clock::now();
  for (bool ignoreChildren : {false, true}) {
    struct sigaction action = {}, old;
    action.sa_handler = ignoreChildren ? SIG_IGN : SIG_DFL;
    ASSERT_EQ(sigaction(SIGCHLD, &action, &old), 0);
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.setting) + (ignoreChildren ? ", SIGCHLD ignored" : ""));
      SetProcessEnv("STANDIN_EXIT=");
      SetProcessEnv("STANDIN_SIGNAL=");
      SetProcessEnv(row.setting);
      ::testing::internal::CaptureStdout();
      EXPECT_EQ(LaunchCompareTool(" \"L.txt\"", false), row.expected);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    }
    sigaction(SIGCHLD, &old, nullptr);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
}

}  // namespace
