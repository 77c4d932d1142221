// The register and unregister commands: Velmora's path in the registry.
#include "setup/setup_register.h"

#include "host/files.h"
#include "host/setup_lock.h"
#include "setup/setup_shared.h"

namespace {

const long kLockWaitMillis = 2000;  // as install's

RegistryScope ScopeOf(const SetupOptions& options) {
  return options.policy     ? RegistryScope::MachinePolicy
         : options.allUsers ? RegistryScope::Machine
                            : RegistryScope::User;
}

// `landed`: the registration reads as the command meant it all the same.
std::string RegistrationFailure(const std::string& verb, const std::string& doing,
                                RegistryScope scope, long error, bool landed) {
  std::string text = "cannot " + verb + " " + DescribeValuePlace(scope, RegistryPlace(scope)) +
                     ": " + ErrorText(error);
  if (!IsAccountScope(scope) && IsAccessDenied(error)) {
    text += "; " + doing + " Velmora " + DescribeScope(scope) + " needs " + MachineRegistryOwner();
  }
  return text + FailureEnding(landed);
}

// Keeps other setup runs from changing the value until this one ends. False
// after a complaint.
bool LockValue(RegistryScope scope) {
  const long error = LockRegistry(scope, kLockWaitMillis);
  if (error == 0) return true;
  const std::string where = DescribeValuePlace(scope, RegistryPlace(scope));
  PrintError(error == kLockBusy
                 ? "another mergebridge-setup is changing " + where +
                       "; run this again when it has finished. Nothing was changed."
                 : "cannot lock " + where + ": " + ErrorText(error) + ". Nothing was changed.");
  return false;
}

// --if-value: true when the value holds exactly what was given, or none was
// given. Otherwise says what it holds (`status`: 0, or 1 when it could not be
// read) and nothing is to be changed.
bool HoldsExpected(const SetupOptions& options, RegistryScope scope, int& status) {
  status = 0;
  if (!options.ifValue) return true;
  std::string now, place;
  const long error = ReadRegistryString(scope, VelmoraKeyOf(scope), kVelmoraValue, now, place);
  if (error == 0 && now == *options.ifValue) return true;
  const std::string where = DescribeValuePlace(scope, place);
  if (IsAbsentFromRegistry(error)) {
    PrintLine("Left " + where + " as it is: it holds nothing (no value), not " + *options.ifValue +
              ".");
  } else if (error != 0) {
    PrintError("cannot read " + where + ": " + ErrorText(error) + ". Nothing was changed.");
    status = 1;
  } else {
    PrintLine("Left " + where + " as it is: it holds " + now + ", which someone else wrote.");
  }
  return false;
}

// A registration the policy overrides: one line naming the policy.
void WarnOfPolicy(RegistryScope scope) {
  for (const VelmoraPlace& policy : kVelmoraLookup) {
    if (policy.scope == RegistryScope::User || policy.scope == RegistryScope::Machine) break;
    if (scope == RegistryScope::Machine && IsAccountScope(policy.scope)) continue;
    std::string value, place;
    if (ReadRegistryString(policy.scope, policy.key, kVelmoraValue, value, place) != 0) continue;
    PrintError("warning: the policy " + DescribeValuePlace(policy.scope, place) + " (" + value +
               ") wins over this registration.");
    return;
  }
}

}  // namespace

int Register(const SetupOptions& options) {
  const std::string path = AbsolutePath(options.velmora);
  const bool startable = IsStartableProgram(path);
  if (!startable && !options.force) {
    PrintError(path +
               " is not a program that can be started; nothing was registered "
               "(--force registers it all the same).");
    return 1;
  }
  const RegistryScope scope = ScopeOf(options);
  int status = 0;
  if (!LockValue(scope)) return 1;
  if (!HoldsExpected(options, scope, status)) return status;
  const char* key = VelmoraKeyOf(scope);
  std::string now, place;
  const bool same = ReadRegistryString(scope, key, kVelmoraValue, now, place) == 0 && now == path;
  if (!same) {
    if (const long error = WriteRegistryString(scope, key, kVelmoraValue, path)) {
      const bool landed =
          ReadRegistryString(scope, key, kVelmoraValue, now, place) == 0 && now == path;
      PrintError(RegistrationFailure("write", "registering", scope, error, landed));
      return 1;
    }
    NoteChange();
  }
  PrintLine("Registered Velmora " + DescribeScope(scope) + ": " + path);
  if (scope != RegistryScope::MachinePolicy) WarnOfPolicy(scope);
  // Forced, as the installers do where Velmora is to be installed later.
  if (!startable) {
    PrintError("warning: " + path +
               " is not a program that can be started yet; a merge starts it once it is.");
  }
  return 0;
}

int Unregister(const SetupOptions& options) {
  const RegistryScope scope = ScopeOf(options);
  const char* key = VelmoraKeyOf(scope);
  int status = 0;
  if (!LockValue(scope)) return 1;
  if (!HoldsExpected(options, scope, status)) return status;
  bool removed = false;
  if (const long error = RemoveRegistryValue(scope, key, kVelmoraValue, removed)) {
    std::string now, place;
    const bool landed =
        IsAbsentFromRegistry(ReadRegistryString(scope, key, kVelmoraValue, now, place));
    PrintError(RegistrationFailure("remove", "unregistering", scope, error, landed));
    return 1;
  }
  if (removed) NoteChange();
  const std::string where = DescribeValuePlace(scope, RegistryPlace(scope));
  PrintLine(removed ? "Unregistered Velmora " + DescribeScope(scope) + ": removed " + where + "."
                    : "Nothing to remove: Velmora was not registered " + DescribeScope(scope) +
                          " (no " + where + ").");
  // The machine's registration that serves now: for all users, one in a place
  // register does not write (another configuration folder, Windows' 32-bit
  // view).
  std::string velmora, place;
  if (scope != RegistryScope::MachinePolicy &&
      ReadRegistryString(RegistryScope::Machine, kVelmoraKey, kVelmoraValue, velmora, place) == 0) {
    PrintLine((options.allUsers ? "Velmora is still registered "
                                : "A merge of this user now takes the registration ") +
              DescribeScope(RegistryScope::Machine) + " (" +
              DescribeValuePlace(RegistryScope::Machine, place) + "): " + velmora);
  }
  return 0;
}
