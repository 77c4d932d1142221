// Reading and writing one string value in the registry: the current user's,
// and the machine's that serves every user who has none.
#pragma once

#include <string>

/// Reads `valueName` under HKEY_CURRENT_USER\`keyPath` into `out`, taken as text
/// up to its first zero byte; where that key or value is absent, the same value
/// under HKEY_LOCAL_MACHINE\`keyPath` (Windows: the 64-bit view, then the 32-bit
/// one). The user's value wins wherever it is present, an empty one too; any
/// other failure is not stepped over. Returns 0 on success and 1 on failure,
/// after showing the failure to the user: where neither has the value, the
/// user's. `out` is emptied when the user's value could not be read and left as
/// it was when the user's key could not be opened. On Linux the current user's
/// registry is the file ${XDG_CONFIG_HOME:-$HOME/.config}/mergebridge/registry.reg,
/// the machine's the same name under each folder of ${XDG_CONFIG_DIRS:-/etc/xdg}
/// in turn; the machine's places are read only when the user has no value.
int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out);

/// Whose registry: the current user's (HKEY_CURRENT_USER) or the machine's
/// (HKEY_LOCAL_MACHINE, Windows' 64-bit view for writing).
enum class RegistryScope { User, Machine };

/// Where the scope's registry is written, in words: "the registry" on Windows,
/// the registry file's path on Linux (the first folder of XDG_CONFIG_DIRS for
/// the machine; empty when there is none, or for the user when HOME is not set).
std::string RegistryPlace(RegistryScope scope);

/// Who may change the machine's registry, in words: "an administrator", "root".
std::string MachineRegistryOwner();

/// The value without a word to the user (for Machine: the first place that
/// has it, as RegGetString looks). Returns 0, or an error number for a caller
/// that decides what to say; `place` tells where the value was found, or where
/// reading failed.
long ReadRegistryString(RegistryScope scope, const std::string& keyPath,
                        const std::string& valueName, std::string& out, std::string& place);

/// True when the error number from ReadRegistryString means that the value, its
/// key or (Linux) the registry file is absent, rather than unreadable.
bool IsAbsentFromRegistry(long error);

/// Sets `valueName` under the scope's `keyPath` to the string `value`, creating
/// the key (Linux: the file and its folders, for the machine readable by all)
/// when absent and keeping every other key and value. Returns 0 or the error
/// number; after a failure nothing was changed.
long WriteRegistryString(RegistryScope scope, const std::string& keyPath,
                         const std::string& valueName, const std::string& value);

/// Removes `valueName` under the scope's `keyPath`, keeping the key and every
/// other value. Returns 0 (with `removed` false when there was nothing to
/// remove) or the error number.
long RemoveRegistryValue(RegistryScope scope, const std::string& keyPath,
                         const std::string& valueName, bool& removed);
