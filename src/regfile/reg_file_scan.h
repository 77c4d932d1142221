// What the reading, writing and encoding parts of the registry file share;
// for src/regfile alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regfile/reg_file.h"

namespace mergebridge {

inline constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";

/// Appends UTF-16LE `bytes` to `out` as UTF-8. A lone surrogate becomes U+FFFD;
/// a trailing odd byte is left out.
void AppendUtf16LeAsUtf8(std::string_view bytes, std::string& out);

/// UTF-8 `text` as UTF-16LE; a byte that does not begin a valid sequence
/// becomes U+FFFD.
std::string Utf8AsUtf16Le(std::string_view text);

/// Where a line (with its continuations and line end) that sets or deletes the
/// value looked up begins and ends in the decoded text.
struct ValueSpan {
  size_t begin = 0, end = 0;
};

/// A [key] section of the key looked up: from its key line to the next key
/// line or the end.
struct KeySection {
  size_t begin = 0, end = 0;
  size_t contentEnd = 0;    // after the line end of its last line that is not blank
  bool holdsOther = false;  // a line other than those naming the value (a comment too)
  bool namesValue = false;  // a line naming the value
};

/// The decoded text of a registry file: UTF-8, without a byte-order mark. It
/// owns its text (no view into itself), so a copy or a move stays whole.
struct DecodedRegFile {
  std::string text;
  bool utf16 = false, utf8Bom = false;
};

/// A registry file decoded and scanned for one value.
struct RegFileScan {
  DecodedRegFile decoded;
  /// The lookup's answer; ParseError: the file could not be read, and
  /// `decoded` and `spans` say nothing.
  RegFileLookup lookup;
  /// Every line in the key that names the value, in order.
  std::vector<ValueSpan> spans;
  /// Each [key] section of the key looked up, in order.
  std::vector<KeySection> sections;
  /// The last section is the key's since the key was last deleted.
  bool lastSectionLive = false;
};

/// Decodes `fileBytes` and looks the value up in it. UTF-16 big-endian and a
/// UTF-16LE file cut inside a character give ParseError.
RegFileScan ScanRegFileBytes(std::string_view fileBytes, RegFileRoot root, std::string_view keyPath,
                             std::string_view valueName);

}  // namespace mergebridge
