// The entry sequence through the host double: what the end-to-end table cannot
// reach from outside (precedence of the reports, the traces, a failed start-up,
// the exact reports and launches for oversized command lines).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/entry.h"
#include "host/notify.h"
#include "unit/fake_host.h"

namespace {

int RunArgs(const std::vector<std::string>& args) {
  ResetFakeHost();
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return RunEntry(static_cast<int>(argv.size()), argv.data());
}

TEST(Entry, OneReportPerRefusedCommandLine) {
  struct Row {
    std::vector<std::string> args;
    std::string text;
    bool toStdout;
  } rows[] = {
      // -status_only after the bad option still sends the report to stdout.
      {{"-x", "-status_only"},
       "Command Line error.\nOption '-x ' is not recognised\n(command line = '-x -status_only ')",
       true},
      {{"-status_only", "a\"b"},
       "Command Line error.\nValue 'a\"b ' contains a double quote and cannot be passed on "
       "safely\n(command line = '-status_only a\"b ')",
       true},
      // The option report wins over the value report.
      {{"a\"b", "-x"},
       "Command Line error.\nOption '-x ' is not recognised\n(command line = 'a\"b -x ')", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(RunArgs(row.args), 1);
    EXPECT_EQ(fakeHost.launches, 0);
    EXPECT_TRUE(fakeHost.probedPaths.empty());
    std::vector<std::string> shown;
    for (const auto& message : fakeHost.messages) shown.push_back(message.text);
    EXPECT_EQ(row.toStdout ? fakeHost.stdoutLines : shown, std::vector<std::string>{row.text});
    EXPECT_TRUE((row.toStdout ? shown : fakeHost.stdoutLines).empty());
  }
}

TEST(Entry, FrameworkFailureAndTraces) {
  ResetFakeHost();
  fakeHost.frameworkStarts = false;
  traceEnabled = true;
  std::vector<const char*> argv{"mergebridge", "A"};
  EXPECT_EQ(RunEntry(2, argv.data()), 1);
  EXPECT_EQ(fakeHost.stderrLines, std::vector<std::string>{"Fatal Error: MFC initialization failed"});
  EXPECT_EQ(fakeHost.launches, 0);
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_EQ(fakeHost.messages[0].text, "return code = '1'");

  ResetFakeHost();
  traceEnabled = true;
  fakeHost.launchResult = 7;
  argv = {"mergebridge", "-fname", "a.c@@/main/1", "L.txt"};
  EXPECT_EQ(RunEntry(4, argv.data()), 1);
  ASSERT_EQ(fakeHost.messages.size(), 2u);
  EXPECT_EQ(fakeHost.messages[0].text, "command line = '-fname a.c@@/main/1 L.txt '");
  EXPECT_EQ(fakeHost.messages[1].text, "return code = '1'");
  traceEnabled = false;
}

// Nothing is cut on the way to the report, the launcher and the file check.
TEST(Entry, OversizedCommandLines) {
  std::vector<std::string> bad;
  std::string named;
  for (int i = 0; i < 100000; ++i) named += bad.emplace_back("-x" + std::to_string(i)) + " ";
  EXPECT_EQ(RunArgs(bad), 1);
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_TRUE(fakeHost.messages[0].text == "Command Line error.\nOption '" + named +
                                               "' is not recognised\n(command line = '" + named +
                                               "')")
      << "the report differs";

  const std::string big(1 << 20, 'o');
  EXPECT_EQ(RunArgs({"-out", big, "L"}), 0);
  EXPECT_TRUE(fakeHost.launchedArgs == " /savetarget=\"" + big + "\"  /title1=\"L\"   \"L\"");
  EXPECT_TRUE(fakeHost.probedPaths == std::vector<std::string>{big});
}

}  // namespace
