// Reading and writing one string value in the registry: the current user's,
// the machine's that serves every user who has none, and the policy that an
// administrator sets over both.
#pragma once

#include <string>
#include <vector>

#include "common/registry_names.h"
#include "common/status.h"
#include "host/setup_lock.h"

namespace mergebridge {

/// Reads `valueName` under HKEY_CURRENT_USER\`keyPath`, taken as text up to its
/// first zero byte; where that key or value is absent, the same value under
/// HKEY_LOCAL_MACHINE\`keyPath` (Windows: the 64-bit view, then the 32-bit
/// one). The user's value wins wherever it is present, an empty one too; any
/// other failure is not stepped over. Fails with the error number and, as the
/// message, the report to show the user in a message box (RegistryFailure):
/// where neither has the value, the user's failure. On Linux the current user's
/// registry is the file ${XDG_CONFIG_HOME:-$HOME/.config}/mergebridge/registry.reg,
/// the machine's the same name under each folder of ${XDG_CONFIG_DIRS:-/etc/xdg}
/// in turn; the machine's places are read only when the user has no value; a
/// line of a file that the lookup skips is written to stderr as it is found.
Result<std::string> RegGetString(const std::string& keyPath, const std::string& valueName);

/// Whose registry: the current user's (HKEY_CURRENT_USER) or the machine's
/// (HKEY_LOCAL_MACHINE, Windows' 64-bit view for writing); the policy for the
/// computer (HKEY_LOCAL_MACHINE, Windows' 64-bit view, where Group Policy writes
/// it; Linux: the policy file) or for the user (HKEY_CURRENT_USER; none on Linux).
enum class RegistryScope { User, Machine, MachinePolicy, UserPolicy };

/// Where Velmora's path is looked up, in the order a merge looks: the first
/// place that holds the value wins, an empty one too; an absent one passes the
/// search on, one that cannot be read stops it.
struct VelmoraPlace {
  RegistryScope scope;
  const char* key;
};
inline constexpr VelmoraPlace kVelmoraLookup[] = {
    {RegistryScope::MachinePolicy, kVelmoraPolicyKey},
    {RegistryScope::UserPolicy, kVelmoraPolicyKey},
    {RegistryScope::User, kVelmoraKey},
    {RegistryScope::Machine, kVelmoraKey},
};

/// The key Velmora's path is under in the scope (one of kVelmoraLookup's).
const char* VelmoraKeyOf(RegistryScope scope);

/// True for the scopes of the running account alone (User, UserPolicy).
bool IsAccountScope(RegistryScope scope);

/// True for the policies' scopes (MachinePolicy, UserPolicy), which
/// kVelmoraLookup reads before every registration.
bool IsPolicyScope(RegistryScope scope);

/// Velmora's path as a merge finds it (kVelmoraLookup): the policies quietly,
/// each absent one costing one failed open; one that cannot be read fails as
/// RegGetString fails; then RegGetString for the user's and the machine's value.
Result<std::string> FindVelmora();

/// Where the scope's registry is written, in words: "the registry" on Windows,
/// the registry file's path on Linux (the first folder of XDG_CONFIG_DIRS for
/// the machine; empty when there is none, or for the user when HOME is not set;
/// for the computer's policy ComputerPolicyFile(); empty for the user's
/// policy).
std::string RegistryPlace(RegistryScope scope);

/// Linux: the computer's policy file, /etc/mergebridge/policy.reg. Each
/// program is linked with one of the two builds of policy_file_posix.cpp:
/// the shipped one, which nothing moves, or the tests' one.
std::string ComputerPolicyFile();

/// Takes the lock that keeps other setup runs from changing the scope's value
/// between a read and a write, held until the process ends: POSIX flock on the
/// registry file's folder, when it exists (else Held, holding nothing); Windows
/// holds nothing and says Held. Held or Busy, or fails with the error number
/// (setup_lock.h); a folder that cannot be locked counts as Held.
Result<LockState> LockRegistry(RegistryScope scope, long waitMillis);

/// Who may change the machine's registry, in words: "an administrator", "root".
std::string MachineRegistryOwner();

/// A value read from the registry, and where.
struct RegistryRead {
  std::string value;        // the raw text, also of a value expanded when read
  std::string place;        // where the value was found, or where reading failed
  bool expandable = false;  // Windows' REG_EXPAND_SZ
};

/// The value without a word to the user (for Machine: the first place that
/// has it, as RegGetString looks). Fails with the error number alone, for a
/// caller that decides what to say; `place` counts also after a failure.
Result<RegistryRead> ReadRegistryString(RegistryScope scope, const std::string& keyPath,
                                        const std::string& valueName);

/// True when the failure of a ReadRegistryString means that the value, its key
/// or (Linux) the registry file is absent, rather than unreadable.
bool IsAbsentFromRegistry(const Status& status);

/// A line of a registry file that a merge's lookup skips, or the line that
/// keeps the whole file from being read.
struct RegistryFileFault {
  std::string file;
  long line = 0;
  std::string reason;
};

/// The faults of the registry files a merge reads for Velmora's path (Linux:
/// the policy, the user's and the machine's files; Windows has none), in the
/// order a merge reads them; a file that cannot be read is left to
/// ReadRegistryString's callers.
std::vector<RegistryFileFault> RegistryFileFaults();

/// Sets `valueName` under the scope's `keyPath` to the string `value`, creating
/// the key (Linux: the file and its folders, for the machine readable by all)
/// when absent and keeping every other key and value; `expandable`: Windows'
/// REG_EXPAND_SZ (Linux's files keep strings alone). Fails with the error
/// number; after a failure nothing was changed.
Status WriteRegistryString(RegistryScope scope, const std::string& keyPath,
                           const std::string& valueName, const std::string& value,
                           bool expandable = false);

/// Removes `valueName` under the scope's `keyPath`, keeping the key and every
/// other value. The value tells whether there was something to remove; fails
/// with the error number.
Result<bool> RemoveRegistryValue(RegistryScope scope, const std::string& keyPath,
                                 const std::string& valueName);

}  // namespace mergebridge
