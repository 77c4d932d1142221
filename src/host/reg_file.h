// Reading one value out of a registry export file (the Linux stand-in for the
// current user's registry). Pure functions over bytes: no files, no platform.
#pragma once

#include <string>
#include <string_view>

enum class RegFileStatus { Found, NoKey, NoValue, ParseError };

/// The answer of a registry file to one key path and value name.
struct RegFileLookup {
  RegFileStatus status = RegFileStatus::NoKey;
  /// Found: the value's bytes as the registry's narrow functions return them.
  std::string data;
  /// ParseError: the 1-based line at fault and what is wrong there.
  long line = 0;
  std::string reason;
};

/// Looks up `valueName` (empty: the key's default value, written @) under
/// HKEY_CURRENT_USER\`keyPath` in `fileBytes`, a file in the registry editor's
/// export format, applying its keys, values and deletions in order as an import
/// would, so the last word on a key or value wins. Key paths and value names
/// compare case-insensitively (ASCII letters). A file that is not wholly
/// well-formed gives ParseError, whatever it says about the value.
RegFileLookup LookUpRegFileValue(std::string_view fileBytes, std::string_view keyPath,
                                 std::string_view valueName);
