// The register and unregister commands: Velmora's path in the registry.
#pragma once

#include "setup/setup_options.h"

/// Writes Velmora's path for the user, all users or the computer's policy.
/// Returns the exit status.
int Register(const SetupOptions& options);

/// Removes it again. Returns the exit status.
int Unregister(const SetupOptions& options);
