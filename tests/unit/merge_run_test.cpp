// The status decision and the output check through the host double, for the
// tool results the end-to-end table cannot produce on every platform.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "bridge/merge_run.h"
#include "host/notify.h"
#include "unit/fake_host.h"

namespace {

TEST(MergeRun, StatusLimitAndOutputCheck) {
  struct Row {
    long launchResult;
    bool outGiven;
    int status;
    bool checked;  // was the output file looked for
  } rows[] = {
      {0, true, 0, true},
      {0, false, 0, false},
      {2, true, 1, false},  // ERROR_FILE_NOT_FOUND from a failed start
      {static_cast<long>(INT32_C(-1073741819)), true, -1073741819, false},  // 0xC0000005
      {-1, true, -1, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.launchResult);
    ResetFakeHost();
    fakeHost.launchResult = row.launchResult;
    fakeHost.fileMissing = true;
    MergeRequest request;
    request.outGiven = row.outGiven;
    request.outputPath = "R.txt";
    request.targetName = "a.c";
    EXPECT_EQ(RunMerge(request), row.status);
    EXPECT_EQ(fakeHost.launches, 1);
    EXPECT_EQ(fakeHost.probedPaths.size(), row.checked ? 1u : 0u);
    ASSERT_EQ(fakeHost.messages.size(), row.checked ? 1u : 0u);
    if (row.checked) {
      EXPECT_EQ(fakeHost.messages[0].text,
                "Manual merge  of 'a.c' either did not work or was cancelled\nClearCase may now "
                "say operation successful, but the merge arrow will not be drawn\nYou will need "
                "to undo the checkout");
      EXPECT_EQ(fakeHost.messages[0].style, kStyleError);
    }
  }
}

}  // namespace
