// Reading and writing one string value in the current user's registry.
#pragma once

#include <string>

/// Reads `valueName` under HKEY_CURRENT_USER\`keyPath` into `out`, taken as text
/// up to its first zero byte. Returns 0 on success and 1 on failure, after
/// showing the failure to the user. `out` is emptied when the value could not be
/// read and left as it was when the key could not be opened. On Linux the
/// current user's registry is the file
/// ${XDG_CONFIG_HOME:-$HOME/.config}/mergebridge/registry.reg.
int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out);

/// Where the current user's registry is, in words: "the registry" on Windows,
/// the registry file's path on Linux (empty when HOME is not set).
std::string UserRegistryPlace();

/// RegGetString without a word to the user: 0, or an error number (the
/// system's "file not found" number when the key or value is missing), for a
/// caller that decides what to say.
long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out);

/// Sets `valueName` under HKEY_CURRENT_USER\`keyPath` to the string `value`,
/// creating the key (Linux: the file and its folder) when absent and keeping
/// every other key and value. Returns 0 or the error number.
long WriteUserString(const std::string& keyPath, const std::string& valueName,
                     const std::string& value);
