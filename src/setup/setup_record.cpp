#include "setup/setup_record.h"

namespace mergebridge {

namespace {

// Names the format, so that a stray file of the same name is never taken for
// a record and "restored" from.
constexpr std::string_view kHeader = "mergebridge-setup record 1";

}  // namespace

Result<SetupRecord> ParseSetupRecord(std::string_view text) {
  Result<SetupRecord> parsed;
  SetupRecord& record = parsed.value;
  if (text.empty()) return parsed;
  size_t lineNumber = 0;
  bool sawBridge = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber;
    if (lineNumber == 1) {
      if (line != kHeader) {
        return {{}, FailureStatus("its first line is not \"" + std::string(kHeader) + "\"")};
      }
      continue;
    }
    if (line.empty()) continue;
    // The last field may hold tabs of its own (it is a map column as written).
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (line.substr(0, tab1) == "bridge" && tab1 != std::string_view::npos) {
      record.bridge = std::string(line.substr(tab1 + 1));
      sawBridge = true;
      continue;
    }
    if (tab2 == std::string_view::npos) {
      return {{},
              FailureStatus("line " + std::to_string(lineNumber) + " does not have three fields")};
    }
    record.rows.push_back({std::string(line.substr(0, tab1)),
                           std::string(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                           std::string(line.substr(tab2 + 1)), lineNumber});
  }
  if (!sawBridge || record.bridge.empty()) {
    return {{}, FailureStatus("it does not say which program the methods were pointed at")};
  }
  return parsed;
}

std::string FormatSetupRecord(const SetupRecord& record) {
  if (record.rows.empty()) return std::string();
  std::string text = std::string(kHeader) + "\nbridge\t" + record.bridge + "\n";
  for (const RecordRow& row : record.rows) {
    text += row.first + "\t" + row.second + "\t" + row.third + "\n";
  }
  return text;
}

}  // namespace mergebridge
