// The status command.
#pragma once

#include "setup/setup_options.h"

namespace mergebridge {

/// Says what the methods run, where Velmora is registered and whether a merge
/// through mergebridge starts it: as lines, or with --json as one object.
/// Fails, with what keeps a merge from starting Velmora (already said), when it
/// would not.
Status ShowStatus(const SetupOptions& options);

}  // namespace mergebridge
