// One value of a registry export file, read, set or removed (the Linux stand-in
// for the registry). Pure functions over bytes: no files, no platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace mergebridge {

enum class RegFileStatus { Found, NoKey, NoValue, ParseError };

/// The root whose keys a function looks at: HKEY_CURRENT_USER (HKCU) or
/// HKEY_LOCAL_MACHINE (HKLM). Keys under any other root are passed over.
enum class RegFileRoot { CurrentUser, LocalMachine };

/// A line an import skips, and why.
struct RegFileSkip {
  long line = 0;
  std::string reason;
};

/// The answer of a registry file to one key path and value name.
struct RegFileLookup {
  RegFileStatus status = RegFileStatus::NoKey;
  /// Found: the value's bytes as the registry's narrow functions return them.
  std::string data;
  /// ParseError: the 1-based line at fault and what is wrong there.
  long line = 0;
  std::string reason;
  /// Lines skipped as the registry editor's import skips them (any status).
  std::vector<RegFileSkip> skipped;
};

/// Looks up `valueName` (empty: the key's default value, written @) under
/// `root`\`keyPath` in `fileBytes`, a file in the registry editor's
/// export format, applying its keys, values and deletions in order as an import
/// would, so the last word on a key or value wins. Key paths and value names
/// compare case-insensitively (ASCII letters). What the import accepts is read:
/// ';' and '#' comment lines, a ';' comment after a value. A line the import
/// skips (a broken value, a stray word, a value outside any key) is skipped and
/// listed; the value it would have set stays as it was. A file without the
/// header, in UTF-16 big-endian, or cut inside a UTF-16 character gives
/// ParseError, whatever it says about the value.
RegFileLookup LookUpRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                 std::string_view keyPath, std::string_view valueName);

/// `fileBytes` with `valueName` under `root`\`keyPath` set to the
/// string `value`: the line that sets it now is replaced, or the line is added
/// to the key's last section, or (no section of the key since it was last
/// deleted) a key section is added at the end; every other byte stays, and the
/// file keeps its encoding.
/// Empty `fileBytes` give a new version 5 file. Fails, with the reason as the
/// message, for a file LookUpRegFileValue cannot read or a value holding a
/// line break or a zero byte.
Result<std::string> SetRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                    std::string_view keyPath, std::string_view valueName,
                                    std::string_view value);

/// `fileBytes` without the lines that set or delete `valueName` under
/// `root`\`keyPath`, so that the key no longer holds it, and without a section
/// of the key that held nothing else (its key line and blank lines go too), so
/// that setting and removing a value again and again leaves the file as it
/// was; every other byte stays, and the file keeps its encoding. The new bytes equal `fileBytes`
/// when no line names the value. Fails, with the reason as the message, for a file
/// LookUpRegFileValue cannot read.
Result<std::string> RemoveRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                       std::string_view keyPath, std::string_view valueName);

}  // namespace mergebridge
