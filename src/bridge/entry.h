// The program's entry sequence, kept apart from main() so tests can drive it.
#pragma once

#include "bridge/merge_request.h"
#include "common/status.h"

namespace mergebridge {

/// What is wrong with a translated command line, in the words ClearCase's user
/// sees: an unrecognised option (reported first) or a value holding a double
/// quote; ok when neither.
Status CommandLineFault(const MergeRequest& request);

/// Starts the host, translates the arguments, reports a bad command line or runs
/// the merge, and returns the exit status ClearCase reads: 1 when the host
/// cannot start or the command line is refused, else RunMerge's, which it
/// decides from how the tool ran.
int RunEntry(int argc, const char* const* argv);

}  // namespace mergebridge
