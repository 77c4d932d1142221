// The register and unregister commands: Velmora's path in the registry.
#include "host/files.h"
#include "setup/setup_run.h"
#include "setup/setup_shared.h"

namespace {

// `landed`: the registration reads as the command meant it all the same.
std::string RegistrationFailure(const std::string& verb, const std::string& doing,
                                RegistryScope scope, long error, bool landed) {
  std::string text =
      "cannot " + verb + " " + Where(scope, RegistryPlace(scope)) + ": " + ErrorText(error);
  if (scope == RegistryScope::Machine && IsAccessDenied(error)) {
    text += "; " + doing + " Velmora " + Whom(scope) + " needs " + MachineRegistryOwner();
  }
  return text + Aftermath(landed);
}

}  // namespace

int Register(const SetupOptions& options) {
  const std::string path = AbsolutePath(options.velmora);
  const bool startable = IsStartableProgram(path);
  if (!startable && !options.force) {
    Complain(path +
             " is not a program that can be started; nothing was registered "
             "(--force registers it all the same).");
    return 1;
  }
  const RegistryScope scope = options.allUsers ? RegistryScope::Machine : RegistryScope::User;
  if (const long error = WriteRegistryString(scope, kToolKey, kToolValue, path)) {
    std::string now, place;
    const bool landed =
        ReadRegistryString(scope, kToolKey, kToolValue, now, place) == 0 && now == path;
    Complain(RegistrationFailure("write", "registering", scope, error, landed));
    return 1;
  }
  Say("Registered Velmora " + Whom(scope) + ": " + path);
  // Forced, as the installers do where Velmora is to be installed later.
  if (!startable) {
    Complain("warning: " + path +
             " is not a program that can be started yet; a merge starts it once it is.");
  }
  return 0;
}

int Unregister(const SetupOptions& options) {
  const RegistryScope scope = options.allUsers ? RegistryScope::Machine : RegistryScope::User;
  bool removed = false;
  if (const long error = RemoveRegistryValue(scope, kToolKey, kToolValue, removed)) {
    std::string now, place;
    const bool landed =
        IsAbsentFromRegistry(ReadRegistryString(scope, kToolKey, kToolValue, now, place));
    Complain(RegistrationFailure("remove", "unregistering", scope, error, landed));
    return 1;
  }
  const std::string where = Where(scope, RegistryPlace(scope));
  Say(removed ? "Unregistered Velmora " + Whom(scope) + ": removed " + where + "."
              : "Nothing to remove: Velmora was not registered " + Whom(scope) + " (no " + where +
                    ").");
  // The machine's registration that serves now: for all users, one in a place
  // register does not write (another configuration folder, Windows' 32-bit
  // view).
  std::string velmora, place;
  if (ReadRegistryString(RegistryScope::Machine, kToolKey, kToolValue, velmora, place) == 0) {
    Say((options.allUsers ? "Velmora is still registered "
                          : "A merge of this user now takes the registration ") +
        Whom(RegistryScope::Machine) + " (" + Where(RegistryScope::Machine, place) +
        "): " + velmora);
  }
  return 0;
}
