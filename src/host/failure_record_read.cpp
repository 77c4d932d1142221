// Reading the record back, for mergebridge-setup status: apart from the
// bridge's own part so that the bridge does not take in the file functions.
#include "host/failure_record.h"

#include <algorithm>

#include "host/files.h"

namespace mergebridge {

std::vector<FailureEntry> ReadFailures() {
  const std::string path = FailureRecordPath();
  std::vector<FailureEntry> entries;
  for (const std::string& file : {path + ".1", path}) {
    const Result<std::string> text = ReadWholeFile(file);
    if (path.empty() || !text.ok()) continue;
    for (FailureEntry& entry : ParseFailureLines(text.value)) entries.push_back(std::move(entry));
  }
  std::reverse(entries.begin(), entries.end());
  return entries;
}

}  // namespace mergebridge
