// The host layer's failure reports, worded once for both platforms.
#pragma once

#include <string>

#include "common/status.h"

namespace mergebridge {

enum class RegistryStep { Connect, OpenKey, ReadValue };

/// The registry failure of `step`: the error number, and as the message the
/// report for a message box, with the number and its system text.
Status RegistryFailure(RegistryStep step, const std::string& keyPath, const std::string& valueName,
                       long errorNumber);

/// A start of the tool that failed: the error number, and as the message the
/// line "CMD Error <n>, <text>" for stdout.
Status CommandError(long errorNumber);

}  // namespace mergebridge
