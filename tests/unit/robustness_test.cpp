// Oversized and unusual command lines, through translation and the entry
// sequence: nothing is lost, cut or folded, and the work stays linear.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/entry.h"
#include "bridge/merge_request.h"
#include "bridge/text.h"
#include "bridge/tool_command.h"
#include "unit/fake_host.h"

namespace {

const std::string kToolPath = "/opt/velmora/velmora";

MergeRequest Translate(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  MergeRequest request;
  TranslateArguments(static_cast<int>(argv.size()), argv.data(), request);
  return request;
}

std::vector<std::string> ToolSees(const MergeRequest& request) {
  return SplitToolCommandLine(BuildToolCommandLine(kToolPath, request.toolArgs, false));
}

class Robustness : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }

  int Run(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"mergebridge"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return RunEntry(static_cast<int>(argv.size()), argv.data());
  }
};

constexpr int kManyArguments = 100000;

TEST_F(Robustness, AHundredThousandValuesAllReachTheTool) {
  std::vector<std::string> args;
  for (int i = 0; i < kManyArguments; ++i) args.push_back("f" + std::to_string(i) + "@@/main/1");
  ASSERT_EQ(Run(args), 0);
  ASSERT_EQ(fakeHost.launches, 1);
  const MergeRequest request = Translate(args);
  EXPECT_EQ(fakeHost.launchedArgs, request.toolArgs);

  const std::vector<std::string> got = ToolSees(request);
  ASSERT_EQ(got.size(), args.size() + 2);
  EXPECT_EQ(got[1], "/title1=f0");
  for (size_t i = 0; i < args.size(); ++i) {
    if (got[i + 2] != args[i]) FAIL() << "value " << i << " came back as " << got[i + 2];
  }
}

TEST_F(Robustness, AHundredThousandOptionsAndTitles) {
  std::vector<std::string> fnames;
  for (int i = 0; i < kManyArguments / 2; ++i) {
    fnames.push_back("-fname");
    fnames.push_back("t" + std::to_string(i));
  }
  const MergeRequest titled = Translate(fnames);
  EXPECT_EQ(titled.titleCount, 2);
  EXPECT_EQ(titled.titles[0], "t" + std::to_string(kManyArguments / 2 - 2));
  EXPECT_EQ(titled.titles[1], "t" + std::to_string(kManyArguments / 2 - 1));
  EXPECT_EQ(titled.targetName, "t0");
  // One space per consumed value, then the two titles.
  EXPECT_EQ(titled.toolArgs, std::string(kManyArguments / 2, ' ') + " /title1=\"" +
                                 titled.titles[0] + "\" /title2=\"" + titled.titles[1] + "\"");

  // Every unrecognised option is named in the one report, in order.
  std::vector<std::string> bad;
  std::string expectedOptions;
  for (int i = 0; i < kManyArguments; ++i) {
    bad.push_back("-x" + std::to_string(i));
    expectedOptions += bad.back() + " ";
  }
  EXPECT_EQ(Run(bad), 1);
  EXPECT_EQ(fakeHost.launches, 0);
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_EQ(fakeHost.messages[0].text,
            "Command Line error.\nOption '" + expectedOptions +
                "' is not recognised\n(command line = '" + expectedOptions + "')");
}

// A mebibyte in each place a value can go, and a mebibyte with the element
// separator at its very end, come back whole.
TEST_F(Robustness, AMebibyteArgument) {
  const std::string big(1 << 20, 'b');
  const std::string bigVersion = big + "@@";
  const std::vector<std::string> args{"-out", big, "-fname", bigVersion, "-fname", big, big,
                                      bigVersion};
  const MergeRequest request = Translate(args);
  std::string echo;
  for (const std::string& arg : args) echo += arg + " ";
  EXPECT_TRUE(request.echoLine == echo) << "echoLine differs";
  EXPECT_EQ(request.targetName, big);
  const std::vector<std::string> expected{kToolPath,        "/savetarget=" + big, big,
                                          bigVersion,       "/title1=" + bigVersion,
                                          "/title2=" + big};
  EXPECT_TRUE(ToolSees(request) == expected) << "the tool sees other arguments";

  ASSERT_EQ(Run(args), 0);
  EXPECT_EQ(fakeHost.launchedArgs, request.toolArgs);
  ASSERT_EQ(fakeHost.probedPaths.size(), 1u);
  EXPECT_EQ(fakeHost.probedPaths[0], big);
}

// Arguments are bytes in the system code page: every byte above 127 passes
// unchanged, and only ASCII letters fold when options are matched.
TEST_F(Robustness, BytesAbove127) {
  std::string allHigh;
  for (int c = 0x80; c <= 0xff; ++c) allHigh += static_cast<char>(c);
  // In double-byte code pages a trail byte can be '@' or '\'.
  const std::string dbcs = "\x83\x40\x81\x5c.txt@@\\main\\1";
  const MergeRequest request = Translate({"-fname", dbcs, allHigh, "-out", "\xe9t\xe9.c"});
  ASSERT_FALSE(request.badOption || request.badValue);
  EXPECT_EQ(request.echoLine, "-fname " + dbcs + " " + allHigh + " -out \xe9t\xe9.c ");
  EXPECT_EQ(request.targetName, "\x83\x40\x81\x5c.txt");
  const std::vector<std::string> expected{kToolPath, "/savetarget=\xe9t\xe9.c", allHigh,
                                          "/title1=" + dbcs};
  EXPECT_EQ(ToolSees(request), expected);

  // Latin-1 and UTF-8 look-alikes of option letters are not options.
  for (const std::string& lookalike : {std::string("-\xc1" "BORT"), std::string("-\xc3\x81" "bort"),
                                       std::string("-OU\xd4"), std::string("-out\xa0")}) {
    SCOPED_TRACE(lookalike);
    const MergeRequest odd = Translate({lookalike});
    EXPECT_TRUE(odd.badOption);
    EXPECT_FALSE(odd.abortSeen || odd.outGiven);
  }

  std::string path = "C:\\\xc4\xd6\xdc\\VELMORA\xc9.EXE";
  LowerCaseAscii(path);
  EXPECT_EQ(path, "c:\\\xc4\xd6\xdc\\velmora\xc9.exe");
}

}  // namespace
