// RegGetString on Linux, end to end: a registry file in a scratch configuration
// folder, and the reports as the user sees them on stderr (no desktop session,
// so no dialogs).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/registry.h"

namespace {

namespace fs = std::filesystem;

const std::string kKey = "SOFTWARE\\MergebridgeTests\\Reg";
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKeyFile = kHeader + "[HKEY_CURRENT_USER\\" + kKey + "]\r\n";
const std::string kOpenFailure = "REG Get - Failed to open key '" + kKey +
                                 "' in the registry\n (Error 2, No such file or directory)\n"
                                 "=> 1 [keep]";

std::string ConnectFailure(const std::string& error) {
  return "REG Get - Failed to connect to registry\n (Error " + error + ")\n=> 1 [keep]";
}

class RegGetStringPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");  // no dialogs on a developer's desktop
    unsetenv("WAYLAND_DISPLAY");
    char pattern[] = "/tmp/mb_registry_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (const char* home = std::getenv("HOME")) home_ = home;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("HOME", home_.c_str(), 1);
    fs::remove_all(dir_);
  }

  void Write(const std::string& content, const std::string& configDir = "") {
    fs::create_directories((configDir.empty() ? dir_ : configDir) + "/mergebridge");
    std::ofstream(RegFile(configDir), std::ios::binary) << content;
  }
  std::string RegFile(const std::string& configDir = "") const {
    return (configDir.empty() ? dir_ : configDir) + "/mergebridge/registry.reg";
  }

  // RegGetString with `out` preset to "keep": "<stderr>=> <result> [<out>]".
  static std::string Read(const std::string& value) {
    std::string out = "keep";
    ::testing::internal::CaptureStderr();
    const int result = RegGetString(kKey, value, out);
    return ::testing::internal::GetCapturedStderr() + "=> " + std::to_string(result) + " [" +
           out + "]";
  }

  std::string dir_, home_;
};

long OpenDescriptors() {
  return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

TEST_F(RegGetStringPosix, ValuesAndMissingOnes) {
  const std::string longText(600, 'L'), mebibyte(1 << 20, 'M');
  Write(kKeyFile + "\"Empty\"=\"\"\r\n\"Long\"=\"" + longText + "\"\r\n\"Huge\"=\"" + mebibyte +
        "\"\r\n\"Unterminated\"=hex(1):6f,00,6b,00\r\n\"Dword\"=dword:00434241\r\n");
  const std::string rows[][2] = {
      {"Empty", "=> 0 []"},
      {"long", "=> 0 [" + longText + "]"},
      {"Huge", "=> 0 [" + mebibyte + "]"},
      {"Unterminated", "=> 0 [ok]"},
      {"Dword", "=> 0 [ABC]"},
      {"Nope", "REG Get - Failed to get string value from '" + kKey +
                   "\\Nope' in the registry\n (Error 2, No such file or directory)\n=> 1 []"},
  };
  const long descriptors = OpenDescriptors();
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(Read(row[0]), row[1]);
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(RegGetStringPosix, UnusableOrMissingFiles) {
  EXPECT_EQ(Read("v"), kOpenFailure);
  Write(kHeader);
  EXPECT_EQ(Read("v"), kOpenFailure);
  Write(kKeyFile + "\"v\"=\"fine\"\r\n\"w\"=\"cut off");
  EXPECT_EQ(Read("v"), RegFile() + ":5: quoted text without its closing '\"'\n" +
                           ConnectFailure("22, Invalid argument"));
  fs::remove(RegFile());
  fs::create_directory(RegFile());
  EXPECT_EQ(Read("v"), ConnectFailure("21, Is a directory"));
  fs::remove(RegFile());
  if (geteuid() != 0) {  // root reads whatever the mode bits say
    Write(kKeyFile + "\"v\"=\"x\"\r\n");
    chmod(RegFile().c_str(), 0);
    EXPECT_EQ(Read("v"), ConnectFailure("13, Permission denied"));
  }
}

TEST_F(RegGetStringPosix, WhereTheFileIsLookedFor) {
  const std::string home = dir_ + "/home";
  Write(kKeyFile + "\"v\"=\"from XDG\"\r\n");
  Write(kKeyFile + "\"v\"=\"from HOME\"\r\n", home + "/.config");
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(Read("v"), "=> 0 [from XDG]");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(Read("v"), "=> 0 [from HOME]");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(Read("v"), "=> 0 [from HOME]");
  unsetenv("HOME");
  EXPECT_EQ(Read("v"), ConnectFailure("2, No such file or directory"));
}

}  // namespace
