// What the process-level tests share: the build's programs, scratch folders,
// the compare tool's entry in the current user's registry, and running a
// program the way ClearCase runs its compare and merge tool.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

struct ProgramRun {
  bool finished = false;  // false: not started, or killed after the time limit
  long status = 0;        // the full exit status as the platform reports it
  std::string out;
  std::string err;
};

/// Runs `program` with `args`, this process's environment and an empty standard
/// input, and waits at most `timeoutSeconds`. On Linux the command prefix in
/// MERGEBRIDGE_TEST_WRAPPER, if set, goes first.
ProgramRun RunProgram(const std::string& program, const Args& args, int timeoutSeconds);

/// True when RunProgram runs programs under MERGEBRIDGE_TEST_WRAPPER (valgrind).
bool UnderWrapper();

/// The build-tree file named by the environment variable `variable`, spelt the
/// way this platform's programs see it.
std::string BuildFile(const char* variable);

enum class Registration { NoStore, NoKey, NoValue, EmptyValue, Path };

/// Sets what the current user's registry says about the compare tool, for this
/// process and its children; a registry file (Linux) goes into `scratch`.
void RegisterTool(Registration registration, const std::string& exePath,
                  const std::string& scratch);

/// Undoes what RegisterTool changed outside the scratch folder.
void ForgetTool();

/// Sets NAME=value in this process's environment, which children inherit;
/// "NAME=" removes the variable.
void SetProcessEnv(const std::string& entry);

/// The arguments the stand-in tool recorded, its own path first.
Args RecordedToolArguments(const std::string& recordPath);

/// A new empty folder, ending in the path separator; empty on failure.
inline std::string MakeScratchFolder() {
  const auto base = std::filesystem::temp_directory_path();
  for (auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();; ++stamp) {
    std::error_code error;
    const auto folder = base / ("mergebridge-" + std::to_string(stamp));
    if (std::filesystem::create_directory(folder, error)) return (folder / "").string();
    if (error) return std::string();
  }
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

/// A scratch folder, and no display, STANDIN_* setting or registry folder in
/// the environment; the folder and the tool's registration go afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    dir_ = MakeScratchFolder();
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    ClearSettings();
    ForgetTool();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  static void ClearSettings() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "STANDIN_RECORD",
                             "STANDIN_EXIT", "STANDIN_SAVE", "STANDIN_SIGNAL"}) {
      SetProcessEnv(name + std::string("="));
    }
  }
  std::string dir_;
};
