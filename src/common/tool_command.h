// The compare tool's full command line: how it is built and how it is read back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mergebridge {

/// "%s %s" of the tool's path and the argument string, or "%s /qc %s" in
/// status-only mode. A path holding a space or tab is wrapped in double quotes
/// (unless it already starts with one), so that Windows never tries the
/// space-separated prefixes of an unquoted path as programs of their own.
std::string BuildToolCommandLine(const std::string& exePath, const std::string& argumentString,
                                 bool statusOnly);

/// Splits a command line the way the tool's side reads it: spaces and tabs
/// outside double quotes separate arguments, a double quote toggles quoting and
/// is dropped, every other byte (a backslash too) is literal, and a quoted empty
/// token is an empty argument.
std::vector<std::string> SplitToolCommandLine(std::string_view commandLine);

}  // namespace mergebridge
