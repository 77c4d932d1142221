#include "setup/unified_diff.h"

#include <algorithm>
#include <vector>

namespace mergebridge {

namespace {

constexpr size_t kContext = 3;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

std::string HunkRange(size_t first, size_t count) {
  return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

}  // namespace

std::string UnifiedDiff(std::string_view before, std::string_view after, const std::string& label) {
  if (before == after) return std::string();
  const std::vector<std::string_view> a = SplitLines(before), b = SplitLines(after);
  std::string out = "--- " + label + "\n+++ " + label + "\n";
  if (a.size() != b.size()) {
    out += "@@ -" + HunkRange(0, a.size()) + " +" + HunkRange(0, b.size()) + " @@\n";
    for (std::string_view line : a) out.append("-").append(line) += '\n';
    for (std::string_view line : b) out.append("+").append(line) += '\n';
    return out;
  }
  std::vector<size_t> changed;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) changed.push_back(i);
  }
  if (changed.empty()) {  // only line endings differ; show the last line
    changed.push_back(a.empty() ? 0 : a.size() - 1);
  }
  for (size_t c = 0; c < changed.size();) {
    // A hunk runs while the next change is within twice the context.
    size_t last = c;
    while (last + 1 < changed.size() && changed[last + 1] - changed[last] <= 2 * kContext) ++last;
    const size_t first = changed[c] >= kContext ? changed[c] - kContext : 0;
    const size_t end = std::min(a.size(), changed[last] + kContext + 1);
    out += "@@ -" + HunkRange(first, end - first) + " +" + HunkRange(first, end - first) + " @@\n";
    size_t next = c;
    for (size_t i = first; i < end; ++i) {
      if (next <= last && changed[next] == i) {
        out.append("-").append(a[i]) += '\n';
        out.append("+").append(b[i]) += '\n';
        ++next;
      } else {
        out.append(" ").append(a[i]) += '\n';
      }
    }
    c = last + 1;
  }
  return out;
}

}  // namespace mergebridge
