// The record mergebridge-setup keeps of what each method ran before it was
// pointed at mergebridge: a small text file, read and written here as bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace mergebridge {

/// One line of a record: three fields, the last one taken as written.
struct RecordRow {
  std::string first, second, third;
  size_t line = 0;  // where it was read (0: not read from a file)
};

/// A whole record: the program the methods were pointed at, and the rows.
struct SetupRecord {
  std::string bridge;
  std::vector<RecordRow> rows;
};

/// Parses `text` (empty: no record yet, which gives an empty record). Fails,
/// saying why, when the text is not a record of ours.
Result<SetupRecord> ParseSetupRecord(std::string_view text);

/// The record as text; empty when it has no rows, meaning "remove the file".
std::string FormatSetupRecord(const SetupRecord& record);

}  // namespace mergebridge
