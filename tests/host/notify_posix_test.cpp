// Linux notifications: a dialog program when a desktop is there, else stderr.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/notify.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    hadOld_ = old != nullptr;
    if (value != nullptr) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (hadOld_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

class Notify : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "mb_notify_" + std::to_string(getpid());
    mkdir(dir_.c_str(), 0700);
  }
  // A stand-in dialog program that records its arguments, one per line.
  void InstallDialog(const std::string& name, int exitCode) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > "
                        << dir_ << "/" << name << ".args\nexit " << exitCode << "\n";
    chmod(path.c_str(), 0755);
  }
  std::string dir_;
};

TEST_F(Notify, DialogWhenADesktopIsPresent) {
  InstallDialog("zenity", 0);
  InstallDialog("xmessage", 0);
  const std::string display = ":99", path = dir_;
  ScopedEnv d("DISPLAY", &display), w("WAYLAND_DISPLAY", nullptr), p("PATH", &path);
  ::testing::internal::CaptureStderr();
  ShowMessage("line one\nline <two>", kStyleError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  const std::string args = ReadFile(dir_ + "/zenity.args");
  EXPECT_NE(args.find("--error\n"), std::string::npos) << args;
  EXPECT_NE(args.find("--no-markup\n"), std::string::npos);
  EXPECT_NE(args.find("--text=line one\nline <two>\n"), std::string::npos);
  EXPECT_NE(args.find("--title="), std::string::npos);

  ShowMessage("w", kStyleOk);
  EXPECT_NE(ReadFile(dir_ + "/zenity.args").find("--warning\n"), std::string::npos);
}

TEST_F(Notify, StderrWhenNoDialogCanBeShown) {
  const std::string display = ":99", empty = dir_;
  {
    // A desktop, but no dialog program on PATH.
    ScopedEnv d("DISPLAY", &display), p("PATH", &empty);
    ::testing::internal::CaptureStderr();
    ShowMessage("nothing to show it with", kStyleOk);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "nothing to show it with\n");
  }
  {
    // A dialog program that fails to open its window.
    InstallDialog("xmessage", 1);
    ScopedEnv d("DISPLAY", &display), p("PATH", &empty);
    ::testing::internal::CaptureStderr();
    ShowMessage("still seen", kStyleOk);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "still seen\n");
    EXPECT_NE(ReadFile(dir_ + "/xmessage.args").find("still seen"), std::string::npos);
  }
  {
    // No desktop at all: the dialog program is not even tried.
    InstallDialog("zenity", 0);
    ScopedEnv d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", nullptr), p("PATH", &empty);
    unlink((dir_ + "/zenity.args").c_str());
    ::testing::internal::CaptureStderr();
    ShowMessage("plain", kStyleError);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "plain\n");
    EXPECT_EQ(access((dir_ + "/zenity.args").c_str(), F_OK), -1);
  }
}

TEST(SystemErrorText, NamesTheError) { EXPECT_EQ(SystemErrorText(2), "No such file or directory"); }

}  // namespace
