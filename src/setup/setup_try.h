// The try and --version commands.
#pragma once

#include "setup/setup_options.h"

namespace mergebridge {

/// Runs a compare of two small files and a three-way merge through the
/// methods installed in ClearCase, as ClearCase starts them, in a scratch
/// folder it removes afterwards, and says what ran and what came back. Fails,
/// with the reason (already said), when either did not work.
Status TryMerge(const SetupOptions& options);

/// Prints this program's version and that of each bridge the installed text
/// methods run (where ClearCase or such a method is not found, the one
/// --bridge names), as the bridge's file carries it.
Status ShowVersion(const SetupOptions& options);

}  // namespace mergebridge
