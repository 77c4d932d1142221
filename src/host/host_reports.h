// The host layer's failure reports, worded once for both platforms.
#pragma once

#include <string>

enum class RegistryStep { Connect, OpenKey, ReadValue };

/// Shows the registry failure of `step` with the error number and its system
/// text, in a message box (style 0).
void ReportRegistryFailure(RegistryStep step, const std::string& keyPath,
                           const std::string& valueName, long errorNumber);

/// Writes "CMD Error <n>, <text>" to stdout and returns `errorNumber`.
long ReportCommandError(long errorNumber);
