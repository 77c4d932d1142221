// RegGetString on Linux, end to end: a registry file in a temporary
// configuration folder, and the reports as the user sees them on stderr (no
// desktop session, so no dialogs).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "host/registry.h"

namespace {

const std::string kKey = "SOFTWARE\\MergebridgeTests\\Reg";
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\MergebridgeTests\\Reg]\r\n";
const std::string kNoFile = "REG Get - Failed to open key '" + kKey +
                            "' in the registry\n (Error 2, No such file or directory)\n";

void SetEnv(const char* name, const std::string* value) {
  if (value != nullptr) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

class RegGetStringPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    char pattern[] = "/tmp/mb_registry_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* home = std::getenv("HOME");
    if (home != nullptr) oldHome_ = std::make_unique<std::string>(home);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr) oldConfig_ = std::make_unique<std::string>(config);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    SetEnv("HOME", oldHome_.get());
    SetEnv("XDG_CONFIG_HOME", oldConfig_.get());
    chmod(RegFile().c_str(), 0600);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  std::string RegFile(const std::string& configDir = std::string()) const {
    return (configDir.empty() ? dir_ : configDir) + "/mergebridge/registry.reg";
  }
  void WriteRegFile(const std::string& content, const std::string& configDir = std::string()) {
    mkdir(((configDir.empty() ? dir_ : configDir) + "/mergebridge").c_str(), 0700);
    std::ofstream(RegFile(configDir), std::ios::binary) << content;
  }

  // Calls RegGetString with `out` preset to `before`; returns what stderr got.
  std::string Read(const std::string& value, int& result, std::string& out,
                   const std::string& before = "stale") {
    out = before;
    ::testing::internal::CaptureStderr();
    result = RegGetString(kKey, value, out);
    return ::testing::internal::GetCapturedStderr();
  }

  std::string dir_;
  std::unique_ptr<std::string> oldHome_, oldConfig_;
};

TEST_F(RegGetStringPosix, ValuesAndMissingOnes) {
  const std::string longText(600, 'L');
  WriteRegFile(kHeader + kKeyLine + "\"Empty\"=\"\"\r\n\"Long\"=\"" + longText +
               "\"\r\n\"Unterminated\"=hex(1):6f,00,6b,00\r\n"
               "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
               "\"Dword\"=dword:00434241\r\n\"Binary\"=hex:00,41\r\n");
  struct Row {
    const char* value;
    int result;
    std::string out, stderrText;
  } rows[] = {
      {"Empty", 0, "", ""},
      {"long", 0, longText, ""},
      {"Unterminated", 0, "ok", ""},
      {"Multi", 0, "a", ""},
      {"Dword", 0, "ABC", ""},
      {"Binary", 0, "", ""},
      {"Nope", 1, "",
       "REG Get - Failed to get string value from '" + kKey +
           "\\Nope' in the registry\n (Error 2, No such file or directory)\n"},
  };
  const int descriptorsBefore = OpenDescriptors();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    int result = -1;
    std::string out;
    EXPECT_EQ(Read(row.value, result, out), row.stderrText);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(out, row.out);
  }
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

TEST_F(RegGetStringPosix, KeyOrFileMissingLeavesOutAlone) {
  int result = -1;
  std::string out;
  // No folder, then a folder without the file, then a file without the key.
  EXPECT_EQ(Read("v", result, out, "keep"), kNoFile);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "keep");
  mkdir((dir_ + "/mergebridge").c_str(), 0700);
  EXPECT_EQ(Read("v", result, out, "keep"), kNoFile);
  WriteRegFile(kHeader + "[HKCU\\SOFTWARE\\MergebridgeTests\\Other]\r\n\"v\"=\"x\"\r\n");
  EXPECT_EQ(Read("v", result, out, "keep"), kNoFile);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "keep");
}

TEST_F(RegGetStringPosix, UnusableFilesAreAConnectFailure) {
  int result = -1;
  std::string out;
  WriteRegFile(kHeader + kKeyLine + "\"v\"=\"fine\"\r\n\"w\"=\"cut off");
  EXPECT_EQ(Read("v", result, out, "keep"),
            RegFile() + ":5: quoted text without its closing '\"'\n"
                        "REG Get - Failed to connect to registry\n (Error 22, Invalid argument)\n");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "keep");

  unlink(RegFile().c_str());
  mkdir(RegFile().c_str(), 0700);
  EXPECT_EQ(Read("v", result, out),
            "REG Get - Failed to connect to registry\n (Error 21, Is a directory)\n");
  EXPECT_EQ(result, 1);
  rmdir(RegFile().c_str());

  if (geteuid() != 0) {  // root reads whatever the mode bits say
    WriteRegFile(kHeader + kKeyLine + "\"v\"=\"x\"\r\n");
    chmod(RegFile().c_str(), 0);
    EXPECT_EQ(Read("v", result, out),
              "REG Get - Failed to connect to registry\n (Error 13, Permission denied)\n");
    EXPECT_EQ(result, 1);
  }
}

TEST_F(RegGetStringPosix, WhereTheFileIsLookedFor) {
  const std::string home = dir_ + "/home";
  mkdir(home.c_str(), 0700);
  mkdir((home + "/.config").c_str(), 0700);
  WriteRegFile(kHeader + kKeyLine + "\"v\"=\"from HOME\"\r\n", home + "/.config");
  WriteRegFile(kHeader + kKeyLine + "\"v\"=\"from XDG\"\r\n");
  setenv("HOME", home.c_str(), 1);
  int result = -1;
  std::string out;

  EXPECT_EQ(Read("v", result, out), "");
  EXPECT_EQ(out, "from XDG");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(Read("v", result, out), "");
  EXPECT_EQ(out, "from HOME");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(Read("v", result, out), "");
  EXPECT_EQ(out, "from HOME");
  unsetenv("HOME");
  EXPECT_EQ(Read("v", result, out, "keep"),
            "REG Get - Failed to connect to registry\n (Error 2, No such file or directory)\n");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "keep");
}

}  // namespace
