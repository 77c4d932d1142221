// Windows side of the launcher tests: the registry is the Wine prefix's own,
// and children inherit the environment block that SetEnvironmentVariableA edits.
#include <windows.h>

#include <cstdlib>

#include "launch_support.h"

namespace {

std::string ProcessRoot() {
  return ::testing::TempDir() + "mb_launcher_" + std::to_string(GetCurrentProcessId()) + "\\";
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(dir + name + "\\");
      else DeleteFileA((dir + name).c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

// The folders of one test binary run go when it ends.
struct RootCleanup {
  ~RootCleanup() { RemoveTree(ProcessRoot()); }
} rootCleanup;

}  // namespace

std::string StandinPath() {
  // CTest hands over the Linux path of the build; Wine shows the Linux root as Z:.
  const char* given = std::getenv("STANDIN_PATH");
  std::string path = given != nullptr ? given : "";
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

void CopyStandin(const std::string& path) {
  ASSERT_TRUE(CopyFileA(StandinPath().c_str(), path.c_str(), FALSE)) << path;
}

void RegisterTool(const std::string* exePath) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Harnvik\\Velmora", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (exePath != nullptr) {
    EXPECT_EQ(RegSetValueExA(key, "ExePath", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(exePath->c_str()),
                             static_cast<DWORD>(exePath->size() + 1)),
              ERROR_SUCCESS);
  } else {
    RegDeleteValueA(key, "ExePath");
  }
  RegCloseKey(key);
}

std::string MakeTestDir(const std::string& name) {
  CreateDirectoryA(ProcessRoot().c_str(), nullptr);
  const std::string dir = ProcessRoot() + name + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

void SetChildEnv(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
