// Where mergebridge-setup has installed, remembered in the state folder (one
// file per ClearCase installation), so that removing the package takes
// mergebridge out of each installation again, also of one whose cleartool is
// not on root's PATH, and so that status notices when ClearCase has put its
// own methods back (a repair) where mergebridge was installed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "setup/setup_options.h"

namespace mergebridge {

/// Remembers the installation whose type managers are in `managers`. Called
/// under that installation's setup lock before install changes a method, so
/// that no changed method is ever on disk unremembered. A record that cannot
/// be written is a warning: the methods work all the same, only the package's
/// removal will not find them.
void RememberInstallation(const std::string& managers);

/// True when the installation whose type managers are in `managers` is
/// remembered.
bool IsRemembered(const std::string& managers);

/// The type managers whose record of an install is still in `managers`.
std::vector<std::string> RecordedManagers(const std::string& managers);

/// The type managers' folders of the remembered installations, sorted; those
/// whose record cannot be read are left out without a word.
std::vector<std::string> RememberedManagers();

/// `options`, given the installation install remembered (the first) as
/// --clearcase when neither --clearcase nor a cleartool on PATH says which,
/// and saying so: a desktop's or a service's PATH often lacks ClearCase.
SetupOptions WithRememberedClearCase(SetupOptions options);

/// Forgets the installation once none of its type managers keeps a record of
/// an install (after an uninstall, or an install that changed nothing).
/// Called under the installation's setup lock; a failure is a warning.
void ForgetIfUninstalled(const std::string& managers);

/// The file in the state folder that holds an installer's record of Velmora's
/// value for all users (register --record, velmora_record.h); empty when there
/// is no state folder.
std::string VelmoraRecordPath(const std::string& installer);

/// The installers that keep such a record, by name.
std::vector<std::string> VelmoraRecordInstallers();

/// uninstall --remembered: runs `uninstall` (an uninstall with --clearcase)
/// on every remembered installation, and on the one cleartool on PATH belongs
/// to, where a method runs `bridge`; forgets those that are gone or keep no
/// record. Fails, each failure printed, when an installation could not
/// be looked at or its uninstall failed.
Status UninstallRemembered(const SetupOptions& options, const std::string& bridge,
                           const std::function<Status(const SetupOptions&)>& uninstall);

}  // namespace mergebridge
