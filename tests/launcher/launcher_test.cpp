// The launcher on either platform: no tool registered, and a tool that is not there.
#include <gtest/gtest.h>

#include <string>

#include "bridge/text.h"
#include "host/launcher.h"
#include "host/notify.h"
#include "launch_support.h"

namespace {

TEST_F(LaunchTest, NoToolRegisteredGivesOneAndRunsNothing) {
  const std::string empty;
  for (const std::string* exePath : {static_cast<const std::string*>(nullptr), &empty}) {
    SCOPED_TRACE(exePath == nullptr ? "no ExePath value" : "empty ExePath");
    RegisterTool(exePath);
    SetChildEnv("STANDIN_RECORD", record_.c_str());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LaunchCompareTool(" \"L.txt\"", false), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(FileExists(record_));
  }
}

TEST_F(LaunchTest, MissingToolGivesCmdErrorLineAndItsNumber) {
  const std::string missing = dir_ + "no-such-tool.exe";
  RegisterTool(&missing);
  for (bool statusOnly : {false, true}) {
    SCOPED_TRACE(statusOnly ? "status only" : "interactive");
    ::testing::internal::CaptureStdout();
    const long result = LaunchCompareTool(" \"L.txt\"", statusOnly);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_GT(result, 1);
    EXPECT_EQ(out, Format("CMD Error %ld, %s", result, SystemErrorText(result).c_str()) + "\n");
  }
}

}  // namespace
