// The install and uninstall commands.
#pragma once

#include "setup/setup_options.h"

/// Points the chosen managers' methods at mergebridge. Returns the exit status.
int Install(const SetupOptions& options);

/// Puts back what install recorded. Returns the exit status.
int Uninstall(const SetupOptions& options);
