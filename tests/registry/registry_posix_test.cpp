// RegGetString on Linux, end to end: a registry file in a scratch configuration
// folder, and the reports as the user sees them on stderr.
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

// Writes `content` as the registry file of the configuration folder `configDir`.
void Write(const std::string& configDir, const std::string& content) {
  fs::create_directories(configDir + "/mergebridge");
  std::ofstream(configDir + "/mergebridge/registry.reg", std::ios::binary) << content;
}

// RegGetString with `out` preset to "keep": "<stderr>=> <result> [<out>]".
std::string Read(const std::string& value) {
  std::string out = "keep";
  ::testing::internal::CaptureStderr();
  const int result = RegGetString(kKey, value, out);
  const std::string err = ::testing::internal::GetCapturedStderr();
  return err + "=> " + std::to_string(result) + " [" + out + "]";
}

class RegGetStringPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");  // no dialogs on a developer's desktop
    unsetenv("WAYLAND_DISPLAY");
    char pattern[] = "/tmp/mb_registry_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/mergebridge/registry.reg";
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_, file_;
};

TEST_F(RegGetStringPosix, ValuesAndMissingOnes) {
  const std::string longText(600, 'L'), mebibyte(1 << 20, 'M');
  Write(dir_, kKeyFile + "\"Empty\"=\"\"\n\"Long\"=\"" + longText + "\"\n\"Huge\"=\"" + mebibyte +
        "\"\n\"Unterminated\"=hex(1):6f,00,6b,00\n\"Dword\"=dword:434241\n");
  const std::string rows[][2] = {
      {"Empty", "=> 0 []"},
      {"long", "=> 0 [" + longText + "]"},
      {"Huge", "=> 0 [" + mebibyte + "]"},
      {"Unterminated", "=> 0 [ok]"},
      {"Dword", "=> 0 [ABC]"},
      {"Nope", "REG Get - Failed to get string value from '" + kKey +
                   "\\Nope' in the registry\n (Error 2, No such file or directory)\n=> 1 []"},
  };
  auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto before = descriptors();
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(Read(row[0]), row[1]);
  }
  EXPECT_EQ(descriptors(), before);
}

TEST_F(RegGetStringPosix, WhereFilesAreLookedForAndWhyTheyFail) {
  EXPECT_EQ(Read("v"), kOpenFailure);
  Write(dir_, kHeader);
  EXPECT_EQ(Read("v"), kOpenFailure);
  Write(dir_, kKeyFile + "\"v\"=\"fine\"\r\n\"w\"=\"cut off");
  EXPECT_EQ(Read("v"), file_ + ":5: quoted text without its closing '\"'\n=> 0 [fine]");
  fs::remove(file_);
  fs::create_directory(file_);
  EXPECT_EQ(Read("v"), ConnectFailure("21, Is a directory"));
  fs::remove(file_);
  if (geteuid() != 0) {  // root reads whatever the mode bits say
    Write(dir_, kKeyFile);
    chmod(file_.c_str(), 0);
    EXPECT_EQ(Read("v"), ConnectFailure("13, Permission denied"));
    chmod(file_.c_str(), 0600);
  }

  // ${XDG_CONFIG_HOME:-$HOME/.config}, and neither.
  const std::string home = dir_ + "/home";
  Write(dir_, kKeyFile + "\"v\"=\"from XDG\"\r\n");
  Write(home + "/.config", kKeyFile + "\"v\"=\"from HOME\"\r\n");
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
