// Reading and writing one string value in the current user's registry, quietly:
// the caller decides what to tell the user. On Linux the current user's
// registry is the file ${XDG_CONFIG_HOME:-$HOME/.config}/mergebridge/registry.reg.
#pragma once

#include <string>

/// Where the current user's registry is, in words: "the registry" on
/// Windows, the registry file's path on Linux (empty when HOME is not set).
std::string UserRegistryPlace();

/// Reads `valueName` under HKEY_CURRENT_USER\`keyPath` into `out` (text up to
/// its first zero byte). Returns 0, or an error number: the system's "file not
/// found" number when the key or value is missing.
long ReadUserString(const std::string& keyPath, const std::string& valueName, std::string& out);

/// Sets `valueName` under HKEY_CURRENT_USER\`keyPath` to the string `value`,
/// creating the key (Linux: the file and its folder) when absent and keeping
/// every other key and value. Returns 0 or the error number.
long WriteUserString(const std::string& keyPath, const std::string& valueName,
                     const std::string& value);
