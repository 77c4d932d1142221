// What the process-level tests share: the build's programs, the compare tool's entry in the current
// user's registry, and running a program the way ClearCase runs its compare and merge tool.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mergebridge {

using Args = std::vector<std::string>;

struct ProgramRun {
  long status;  // the full exit status as the platform reports it; -1: not started
  std::string out, err;
};

/// Runs `program` with `args`, this environment and an empty standard input, its output going to
/// the files stdout and stderr in `folder`, and waits for it. On Linux the command prefix in
/// MERGEBRIDGE_TEST_WRAPPER (valgrind) goes first, and a program still running after two minutes is
/// killed (status 124).
ProgramRun RunProgram(const std::string& program, const Args& args, const std::string& folder);

/// Windows: runs `commandLine` as written (as deployment tools run an Add/Remove Programs entry's
/// strings), as RunProgram runs its program.
ProgramRun RunCommandLine(const std::string& commandLine, const std::string& folder);

/// The build-tree file named by the environment variable, as this platform's programs spell it.
std::string BuildFile(const char* variable);

/// OtherPath: a program other than the tool, not there. From Fifo on, Linux only and for the user
/// only: what stands where the registry file should be.
enum class Registration {
  NoStore,
  NoKey,
  NoValue,
  EmptyValue,
  Path,
  OtherPath,
  Fifo,
  Device,
  FileForFolder
};

/// What the user's and the machine's registry (NoStore to OtherPath) say; on 64-bit Windows
/// `machine` is the 64-bit registry view's and `machine32` the 32-bit one's; then the computer's
/// policy (Linux: the policy file) and the user's (Windows only).
struct Registrations {
  Registration user, machine = Registration::NoStore, machine32 = Registration::NoStore,
                     policy = Registration::NoStore, userPolicy = Registration::NoStore;
};

/// Sets the registrations for this process and its children. On Linux the user's file goes under
/// `scratch`.config/, the machine's under `scratch`xdg/, the second folder of XDG_CONFIG_DIRS (the
/// first does not exist), the policy to `scratch`policy.reg (MERGEBRIDGE_POLICY_FILE); under Wine
/// the machine's is HKEY_LOCAL_MACHINE, the policies under Software\Policies.
void RegisterTool(Registrations registrations, const std::string& exePath,
                  const std::string& scratch);

/// NAME=value in this process's environment, which children inherit; a bare NAME removes the
/// variable.
void SetProcessEnv(const std::string& entry);

/// The warning after a merge that left no output; `ofPhrase` names the element: " of 'a.c'".
inline std::string MissingOutput(const std::string& ofPhrase) {
  return "Manual merge " + ofPhrase +
         " either did not work or was cancelled\nClearCase may now say operation successful, but "
         "the merge arrow will not be drawn\nYou will need to undo the checkout";
}

/// Paths are UTF-8 throughout, on Windows too (names outside the code page).
inline std::filesystem::path Path(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

inline std::string ReadFile(const std::string& path) {
  std::stringstream buffer;
  buffer << std::ifstream(Path(path), std::ios::binary).rdbuf();
  return buffer.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(Path(path), std::ios::binary | std::ios::trunc) << text;
}

#ifdef _WIN32
inline const std::string kStateVariable = "LOCALAPPDATA=",
                         kFailures = "userstate\\mergebridge\\failures.log";
#else
inline const std::string kStateVariable = "XDG_STATE_HOME=",
                         kFailures = "userstate/mergebridge/failures.log";
#endif

/// A fresh scratch folder dir_ (ending in the separator) and an environment without a display or
/// STANDIN_* setting; afterwards the folder, the tool's registration, PATH and HOME go back to what
/// they were.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto folder = std::filesystem::temp_directory_path() / ("mb-" + std::to_string(stamp));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    dir_ = (folder / "").string();
    SetProcessEnv("XDG_CONFIG_DIRS=" + dir_ + "xdg");  // never the machine's own
    SetProcessEnv("MERGEBRIDGE_POLICY_FILE=" + dir_ + "policy.reg");
    SetProcessEnv(kStateVariable + dir_ + "userstate");  // failed runs record themselves there
  }
  void TearDown() override {
    ClearSettings();
    RegisterTool({Registration::NoStore}, "", dir_);
    std::error_code ignored;  // Wine's own processes may hold a file a while: wine.stop ends them
    std::filesystem::remove_all(Path(dir_), ignored);
  }
  static void ClearSettings() {
    static const std::string kept[] = {Saved("PATH"), Saved("HOME")};
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                             "STANDIN_RECORD", "STANDIN_EXIT", "STANDIN_SAVE", "STANDIN_SIGNAL"}) {
      SetProcessEnv(name);
    }
    for (const std::string& entry : kept) SetProcessEnv(entry);
  }
  static std::string Saved(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(name) + "=" + value : name;
  }
  std::string dir_;
};

}  // namespace mergebridge
