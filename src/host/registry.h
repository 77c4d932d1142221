// Reading one string value from the current user's registry.
#pragma once

#include <string>

/// Reads `valueName` under HKEY_CURRENT_USER\`keyPath` into `out`, taken as text
/// up to its first zero byte. Returns 0 on success and 1 on failure, after
/// showing the failure to the user. `out` is emptied when the value could not be
/// read and left as it was when the key could not be opened. On Linux the
/// current user's registry is the file
/// ${XDG_CONFIG_HOME:-$HOME/.config}/mergebridge/registry.reg.
int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out);
