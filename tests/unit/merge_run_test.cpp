// The merge run: abort notice, status limit and the output check.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "bridge/merge_run.h"
#include "host/notify.h"
#include "unit/fake_host.h"

namespace {

const char kMissingOfA[] =
    "Manual merge  of 'a.c' either did not work or was cancelled\nClearCase may now say "
    "operation successful, but the merge arrow will not be drawn\nYou will need to undo the "
    "checkout";

class MergeRun : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }
};

TEST_F(MergeRun, ExitStatusTable) {
  struct Row {
    const char* name;
    long launchResult;
    bool outGiven;
    bool fileMissing;
    int status;
    bool checked;  // was the output file looked for
    bool warned;
  } rows[] = {
      {"tool ended with 0, output present", 0, true, false, 0, true, false},
      {"tool ended with 0, output missing", 0, true, true, 0, true, true},
      {"tool ended with 0, no -out", 0, false, true, 0, false, false},
      {"tool ended with 1 (or no tool path)", 1, true, true, 1, false, false},
      {"tool ended with 3", 3, true, true, 1, false, false},
      {"tool could not start: ERROR_FILE_NOT_FOUND", 2, true, true, 1, false, false},
      {"tool ended with 255", 255, true, true, 1, false, false},
      {"access violation passes through", static_cast<long>(INT32_C(-1073741819)), true, true,
       -1073741819, false, false},
      {"-1 passes through", -1, true, true, -1, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ResetFakeHost();
    fakeHost.launchResult = row.launchResult;
    fakeHost.fileMissing = row.fileMissing;
    MergeRequest request;
    request.outGiven = row.outGiven;
    request.outputPath = "R.txt";
    request.targetName = "a.c";
    EXPECT_EQ(RunMerge(request), row.status);
    EXPECT_EQ(fakeHost.launches, 1);
    EXPECT_EQ(fakeHost.probedPaths.size(), row.checked ? 1u : 0u);
    ASSERT_EQ(fakeHost.messages.size(), row.warned ? 1u : 0u);
    if (row.warned) {
      EXPECT_EQ(fakeHost.messages[0].text, kMissingOfA);
      EXPECT_EQ(fakeHost.messages[0].style, kStyleError);
    }
  }
}

TEST_F(MergeRun, AbortNoticeThenLaunch) {
  MergeRequest request;
  request.abortSeen = true;
  request.toolArgs = " \"L\"";
  request.statusOnly = true;
  EXPECT_EQ(RunMerge(request), 0);
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_EQ(fakeHost.messages[0].text,
            "Automerge  did not work\nVelmora will now be run so that you can manually merge\n");
  EXPECT_EQ(fakeHost.messages[0].style, kStyleOk);
  EXPECT_EQ(fakeHost.launches, 1);
  EXPECT_EQ(fakeHost.launchedArgs, " \"L\"");
  EXPECT_TRUE(fakeHost.launchedStatusOnly);

  ResetFakeHost();
  request.targetName = "a.c";
  RunMerge(request);
  EXPECT_EQ(fakeHost.messages.at(0).text.substr(0, 28), "Automerge  of 'a.c' did not ");
}

TEST_F(MergeRun, OutWithoutValueChecksTheEmptyPath) {
  fakeHost.fileMissing = true;
  MergeRequest request;
  request.outGiven = true;
  EXPECT_EQ(RunMerge(request), 0);
  EXPECT_EQ(fakeHost.probedPaths, std::vector<std::string>{""});
  ASSERT_EQ(fakeHost.messages.size(), 1u);
  EXPECT_EQ(fakeHost.messages[0].text.substr(0, 29), "Manual merge  either did not ");
}

}  // namespace
