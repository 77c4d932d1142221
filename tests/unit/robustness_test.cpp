// Oversized command lines through the entry sequence: nothing is lost or cut on
// the way to the report, the launcher and the file check. (Translation itself is
// covered by the tables of translate_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/entry.h"
#include "bridge/text.h"
#include "unit/fake_host.h"

namespace {

int RunWith(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return RunEntry(static_cast<int>(argv.size()), argv.data());
}

TEST(Robustness, HugeReportsAndPaths) {
  std::vector<std::string> bad;
  std::string named;
  for (int i = 0; i < 100000; ++i) named += bad.emplace_back("-x" + std::to_string(i)) + " ";
  ResetFakeHost();
  EXPECT_EQ(RunWith(bad), 1);
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  const std::string report = "Command Line error.\nOption '" + named +
                             "' is not recognised\n(command line = '" + named + "')";
  EXPECT_TRUE(fakeHost.messages[0].text == report) << "the report differs";

  const std::string big(1 << 20, 'o');
  ResetFakeHost();
  EXPECT_EQ(RunWith({"-out", big, "L"}), 0);
  EXPECT_TRUE(fakeHost.launchedArgs == " /savetarget=\"" + big + "\"  /title1=\"L\"   \"L\"");
  EXPECT_TRUE(fakeHost.probedPaths == std::vector<std::string>{big});
}

// Only ASCII letters fold, so a path keeps its bytes above 127 when lower-cased.
TEST(Robustness, LowerCasingLeavesBytesAbove127) {
  std::string path = "C:\\\xc4\xd6\xdc\\VELMORA\xc9.EXE";
  LowerCaseAscii(path);
  EXPECT_EQ(path, "c:\\\xc4\xd6\xdc\\velmora\xc9.exe");
}

}  // namespace
