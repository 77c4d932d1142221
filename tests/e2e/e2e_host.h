// What the end-to-end tests need from the platform: starting a program the way
// ClearCase starts its compare tool, and the current user's registry.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
  bool finished = false;  // false: killed after the time limit
  long status = 0;        // the full exit status as the platform reports it
  std::string out;
  std::string err;
};

/// Runs `program` with `args` and waits at most `timeoutSeconds`. The child gets
/// this process's environment without DISPLAY, WAYLAND_DISPLAY, XDG_CONFIG_HOME
/// and STANDIN_*, plus `env` (NAME=value entries); its standard input is empty.
/// On Linux the command prefix in MERGEBRIDGE_TEST_WRAPPER, if set, goes first.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutSeconds);

/// The path of a build-tree file (as CMake writes it) as this platform spells it.
std::string NativePath(const std::string& cmakePath);

/// A new empty folder for one case, ending in the path separator.
std::string MakeScratchFolder();

enum class Registration { NoStore, NoKey, NoValue, EmptyValue, Path };

/// Sets what the per-user registry says about the compare tool. `scratch` is
/// the case's folder; returns the environment entries that make mergebridge
/// read this registry (Linux: XDG_CONFIG_HOME; Windows: none, HKCU is changed).
std::vector<std::string> RegisterTool(Registration registration, const std::string& exePath,
                                      const std::string& scratch);

/// The arguments the stand-in tool recorded, its own path left out.
std::vector<std::string> RecordedToolArguments(const std::string& recordPath);

/// Undoes what RegisterTool changed outside the case's folder (Windows: the key).
void ForgetTool();
