// The install and uninstall commands.
#pragma once

#include "setup/setup_options.h"

namespace mergebridge {

/// Points the chosen managers' methods at mergebridge. Each failure is
/// printed where it happens; the result is the last one.
Status Install(const SetupOptions& options);

/// Puts back what install recorded; failures as for Install.
Status Uninstall(const SetupOptions& options);

}  // namespace mergebridge
