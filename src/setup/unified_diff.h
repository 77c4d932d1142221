// Showing a change as a unified diff, for --dry-run.
#pragma once

#include <string>
#include <string_view>

namespace mergebridge {

/// The unified diff (three lines of context) from `before` to `after`, headed
/// "--- <label>" and "+++ <label>"; empty when they are equal. The edits made
/// here change lines in place, so lines are compared position by position; texts
/// of different line counts show as one hunk replacing the whole.
std::string UnifiedDiff(std::string_view before, std::string_view after, const std::string& label);

}  // namespace mergebridge
