// Running a translated request and deciding the exit status.
#pragma once

#include "bridge/merge_request.h"

namespace mergebridge {

/// Shows the abort notice when asked, runs the compare tool, limits its result
/// (anything above 1 becomes 1; 1 and below, negative values included, pass
/// unchanged) and, after a result of 0 with "-out", warns when the output file
/// is missing. Returns the exit status.
int RunMerge(const MergeRequest& request);

}  // namespace mergebridge
