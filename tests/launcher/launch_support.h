// What the launcher tests need from the platform: the stand-in's path, the
// registry value that names the tool, folders, files and the environment.
#pragma once

#include <gtest/gtest.h>

#include <string>

/// The stand-in compare tool as this platform names it (a Windows path under Wine).
std::string StandinPath();

/// Copies the stand-in to `path` (made executable).
void CopyStandin(const std::string& path);

/// Sets the current user's ExePath under SOFTWARE\Harnvik\Velmora to `exePath`,
/// or leaves the key without that value when `exePath` is null.
void RegisterTool(const std::string* exePath);

/// A new, empty folder for one test; the result ends with a path separator.
std::string MakeTestDir(const std::string& name);

/// Sets (or, for null, removes) a variable in the environment children inherit.
void SetChildEnv(const char* name, const char* value);

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

/// A fresh folder, the stand-in registered, and no STANDIN_* setting left over.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeTestDir(std::string(info->test_suite_name()) + "_" + info->name());
    record_ = dir_ + "record.txt";
    for (const char* name : {"STANDIN_RECORD", "STANDIN_EXIT", "STANDIN_SAVE", "STANDIN_SIGNAL"}) {
      SetChildEnv(name, nullptr);
    }
    const std::string standin = StandinPath();
    RegisterTool(&standin);
  }
  void TearDown() override {
    for (const char* name : {"STANDIN_RECORD", "STANDIN_EXIT", "STANDIN_SAVE", "STANDIN_SIGNAL"}) {
      SetChildEnv(name, nullptr);
    }
  }
  std::string dir_;
  std::string record_;
};
