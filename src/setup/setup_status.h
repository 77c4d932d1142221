// The status command.
#pragma once

#include "setup/setup_options.h"

/// Says what the methods run, where Velmora is registered and whether a merge
/// through mergebridge starts it: as lines, or with --json as one object.
/// Returns 0 when it would, 1 otherwise.
int Status(const SetupOptions& options);
