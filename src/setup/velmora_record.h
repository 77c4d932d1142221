// The record an installer keeps, through mergebridge-setup, of Velmora's value
// for all users: what it wrote and what was there before, so that its removal
// gives back exactly that, type and text, and only while the value still holds
// what it wrote. Read and written here as bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace mergebridge {

/// A registry string as stored: its raw text and whether it is expanded when
/// read (Windows' REG_EXPAND_SZ) rather than taken as it is (REG_SZ).
struct StoredText {
  std::string text;
  bool expandable = false;
};

struct VelmoraRecord {
  std::string written;               // what the installer wrote
  std::optional<StoredText> before;  // nullopt: there was no value
};

/// The record's text; every byte of both values comes back from
/// ParseVelmoraRecord, line breaks and backslashes included.
std::string FormatVelmoraRecord(const VelmoraRecord& record);

/// Parses a record's text. Fails, saying why, when it is not one of ours.
Result<VelmoraRecord> ParseVelmoraRecord(std::string_view text);

}  // namespace mergebridge
