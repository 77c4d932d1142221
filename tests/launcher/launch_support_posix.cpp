// Linux side of the launcher tests: the registry is a registry.reg file under a
// private XDG_CONFIG_HOME, and children inherit the process environment.
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "launch_support.h"

namespace {

std::string ProcessRoot() {
  return ::testing::TempDir() + "mb_launcher_" + std::to_string(getpid()) + "/";
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

// The folders of one test binary run go when it ends.
struct RootCleanup {
  ~RootCleanup() { nftw(ProcessRoot().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
} rootCleanup;

}  // namespace

std::string StandinPath() {
  const char* path = std::getenv("STANDIN_PATH");
  return path != nullptr ? path : "";
}

void CopyStandin(const std::string& path) {
  WriteFileText(path, ReadFileText(StandinPath()));
  ASSERT_EQ(chmod(path.c_str(), 0755), 0) << path;
}

void RegisterTool(const std::string* exePath) {
  const std::string config = ProcessRoot() + "config";
  mkdir(ProcessRoot().c_str(), 0700);
  mkdir(config.c_str(), 0700);
  mkdir((config + "/mergebridge").c_str(), 0700);
  std::string reg = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n";
  if (exePath != nullptr) {
    std::string escaped;
    for (char c : *exePath) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    reg += "\"ExePath\"=\"" + escaped + "\"\n";
  }
  WriteFileText(config + "/mergebridge/registry.reg", reg);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
}

std::string MakeTestDir(const std::string& name) {
  mkdir(ProcessRoot().c_str(), 0700);
  const std::string dir = ProcessRoot() + name + "/";
  mkdir(dir.c_str(), 0700);
  return dir;
}

void SetChildEnv(const char* name, const char* value) {
  if (value != nullptr) setenv(name, value, 1);
  else unsetenv(name);
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
