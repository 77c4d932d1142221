// Finding, starting and waiting for the compare tool.
#pragma once

#include <string>

/// Runs the compare tool FindVelmora names (registry.h) with `argumentString` ("/qc" in front of it
/// in status-only mode) and waits for it. Returns 1 when no tool path is registered, the tool's
/// exit code when it ran, or the system error number (after a "CMD Error" line on stdout) when it
/// could not be started or its exit code could not be read.
long LaunchCompareTool(std::string argumentString, bool statusOnly);
