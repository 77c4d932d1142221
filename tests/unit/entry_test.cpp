// The entry sequence: reports, traces and statuses, with the host replaced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/entry.h"
#include "host/notify.h"
#include "unit/fake_host.h"

namespace {

class Entry : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }

  int Run(std::vector<std::string> args) {
    std::vector<const char*> argv{"mergebridge"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    storage_ = std::move(args);
    return RunEntry(static_cast<int>(argv.size()), argv.data());
  }

  std::vector<std::string> storage_;
};

TEST_F(Entry, CommandLineErrorsGoToABoxOrToStdout) {
  const std::string optionReport =
      "Command Line error.\nOption '-x -y ' is not recognised\n(command line = '-x A -y ')";
  const std::string statusOnlyReport =
      "Command Line error.\nOption '-x ' is not recognised\n(command line = '-x -status_only ')";
  const std::string valueReport =
      "Command Line error.\nValue 'a\"b ' contains a double quote and cannot be passed on "
      "safely\n(command line = 'a\"b ')";
  struct Row {
    std::vector<std::string> args;
    std::string text;
    bool toStdout;
  } rows[] = {
      {{"-x", "A", "-y"}, optionReport, false},
      {{"-x", "-status_only"}, statusOnlyReport, true},  // -status_only after the bad option
      {{"a\"b"}, valueReport, false},
      {{"-status_only", "a\"b"}, "", true},
      {{"-x", "a\"b"}, "", false},  // the option report wins over the value report
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1 % row.args.size()]);
    ResetFakeHost();
    fakeHost.launchResult = 0;
    EXPECT_EQ(Run(row.args), 1);
    EXPECT_EQ(fakeHost.launches, 0);
    EXPECT_TRUE(fakeHost.probedPaths.empty());
    std::vector<std::string> shown;
    for (const auto& message : fakeHost.messages) {
      EXPECT_EQ(message.style, kStyleOk);
      shown.push_back(message.text);
    }
    const std::vector<std::string>& got = row.toStdout ? fakeHost.stdoutLines : shown;
    const std::vector<std::string>& other = row.toStdout ? shown : fakeHost.stdoutLines;
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(other.empty());
    if (!row.text.empty()) {
      EXPECT_EQ(got[0], row.text);
    }
  }
  Run({"-x", "a\"b"});
  EXPECT_NE(fakeHost.messages.at(0).text.find("Option '-x '"), std::string::npos);
}

TEST_F(Entry, FrameworkFailure) {
  fakeHost.frameworkStarts = false;
  EXPECT_EQ(Run({"A", "B"}), 1);
  EXPECT_EQ(fakeHost.stderrLines, std::vector<std::string>{"Fatal Error: MFC initialization failed"});
  EXPECT_EQ(fakeHost.launches, 0);
  EXPECT_TRUE(fakeHost.messages.empty());
}

TEST_F(Entry, TracesFrameTheRun) {
  traceEnabled = true;
  fakeHost.launchResult = 7;
  EXPECT_EQ(Run({"-fname", "a.c@@/main/1", "L.txt"}), 1);
  ASSERT_EQ(fakeHost.messages.size(), 2u);
  EXPECT_EQ(fakeHost.messages[0].text, "command line = '-fname a.c@@/main/1 L.txt '");
  EXPECT_EQ(fakeHost.messages[1].text, "return code = '1'");

  ResetFakeHost();
  traceEnabled = true;
  fakeHost.frameworkStarts = false;
  Run({});
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_EQ(fakeHost.messages[0].text, "return code = '1'");
}

TEST_F(Entry, ValidRequestIsLaunched) {
  fakeHost.launchResult = 0;
  EXPECT_EQ(Run({"-status_only", "L.txt", "M.txt"}), 0);
  EXPECT_EQ(fakeHost.launches, 1);
  EXPECT_TRUE(fakeHost.launchedStatusOnly);
  EXPECT_EQ(fakeHost.launchedArgs, " /title1=\"L.txt\"  \"L.txt\" \"M.txt\"");
  EXPECT_TRUE(fakeHost.messages.empty());
}

}  // namespace
