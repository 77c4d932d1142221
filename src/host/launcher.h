// Finding, starting and waiting for the compare tool.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"

namespace mergebridge {

/// How a run of the compare tool went. Nothing is shown to the user here: the
/// caller shows the failures and decides the exit status.
struct [[nodiscard]] ToolRun {
  /// The tool's path could not be read from the registry: the report for a
  /// message box (RegistryFailure).
  Status lookup;
  /// The tool could not be started, or its exit code not read: the system's
  /// error number and the "CMD Error" line for stdout (CommandError).
  Status start;
  /// The tool ran and ended with `exitCode`; false also when no path is
  /// registered (an empty value), or after a failure above.
  bool ran = false;
  long exitCode = 0;
};

/// Runs the compare tool FindVelmora names (registry.h) with `argumentString`
/// ("/qc" in front of it in status-only mode) and waits for it.
ToolRun LaunchCompareTool(std::string argumentString, bool statusOnly);

/// Starts the program `argv[0]` (a path) with the arguments after it, each
/// passed as it is, as ClearCase starts a type manager's method, and waits for
/// it: its exit status (POSIX: 128 + N for signal N), or the error number of
/// the start or the wait.
Result<long> RunProgramAndWait(const std::vector<std::string>& argv);

}  // namespace mergebridge
