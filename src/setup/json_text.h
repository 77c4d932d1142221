// JSON text for the setup program's --json output: strings, lists and objects
// built as text, always valid UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mergebridge {

/// `text` as a JSON string, quotes included: '"', '\' and the control
/// characters escaped, valid UTF-8 kept as it is, and each byte that is not
/// part of valid UTF-8 (a Linux file name may hold any) as U+FFFD.
std::string JsonString(std::string_view text);

/// A JSON string, or null when `present` is false.
std::string JsonStringOrNull(bool present, std::string_view text);

inline std::string JsonBool(bool value) {
  return value ? "true" : "false";
}

/// A list of JSON values (each already JSON text).
std::string JsonList(const std::vector<std::string>& values);

/// An object of names and JSON values (each already JSON text), in order.
std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members);

/// A list of JSON strings.
std::string JsonStrings(const std::vector<std::string>& texts);

}  // namespace mergebridge
