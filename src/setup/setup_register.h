// The register and unregister commands: Velmora's path in the registry.
#pragma once

#include "setup/setup_options.h"

namespace mergebridge {

/// Writes Velmora's path for the user, all users or the computer's policy.
/// A failure is printed where it happens.
Status Register(const SetupOptions& options);

/// Removes it again; a failure as for Register.
Status Unregister(const SetupOptions& options);

}  // namespace mergebridge
