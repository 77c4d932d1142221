// Running a translated request and deciding the exit status.
#pragma once

#include "bridge/merge_request.h"
#include "common/status.h"

namespace mergebridge {

/// Shows the abort notice when asked, runs the compare tool, limits its result
/// (anything above 1 becomes 1; 1 and below, negative values included, pass
/// unchanged) and, after a result of 0 with "-out", warns when the output file
/// is missing. The value is the exit status, also after a failure; the status
/// says in words why the run failed (for the record of failures): no
/// registration or an empty one, a registry that could not be read, a tool that
/// could not be started or ended with a failure, a merge that left no output.
Result<int> RunMerge(const MergeRequest& request);

}  // namespace mergebridge
