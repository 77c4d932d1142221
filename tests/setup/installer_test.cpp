// The Windows installer run silently on a made-up ClearCase installation:
// cleartool.exe on PATH and a map of the usual shape. Install, a merge through
// the installed bridge, the uninstaller refused by a read-only map, then the
// uninstaller giving back the map byte for byte.
#include <windows.h>

#include <cstdlib>

#include "common/tool_command.h"
#include "process_support.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\mergebridge";

std::string Map(const std::string& compare, const std::string& merge) {
  return "; ClearCase type managers\r\n\r\ntext_file_delta   construct_version  ..\\..\\bin\\tfdmgr.exe\r\n"
         "text_file_delta   xcompare   " + compare + "\r\ntext_file_delta   xmerge     " + merge +
         "\r\n\t\r\nwhole_copy  xcompare  " + compare + "\r\nbinary_delta xmerge ..\\..\\bin\\bdmgr.exe";
}

std::string Registered(HKEY root, const char* key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  return RegGetValueA(root, key, value, RRF_RT_ANY, nullptr, data, &size) == ERROR_SUCCESS ? data : "";
}

class Installer : public ScratchTest {
 protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    ScratchTest::TearDown();
  }
};

TEST_F(Installer, SilentInstallMergeAndUninstall) {
  const std::string cc = dir_ + "cc\\", mgrs = cc + "lib\\mgrs\\", prog = dir_ + "prog";
  const std::string tool = BuildFile("MB_TOOL"), bridge = prog + "\\mergebridge.exe";
  std::filesystem::create_directories(mgrs);
  std::filesystem::create_directories(cc + "bin");
  std::filesystem::copy_file(tool, cc + "bin\\cleartool.exe");
  const std::string original = Map("..\\..\\bin\\cleardiffmrg.exe", "..\\..\\bin\\cleardiffmrg.exe");
  WriteFile(mgrs + "map", original);
  WriteFile(mgrs + "map.mergebridge-new.4001", "what a killed run left");
  SetProcessEnv("PATH=" + cc + "bin;" + std::getenv("PATH"));

  ProgramRun run = RunProgram(BuildFile("MB_INSTALLER"), {"/S", "/VELMORA=" + tool, "/D=" + prog}, dir_);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(mgrs + "map"), Map(bridge, bridge));
  EXPECT_EQ(Registered(HKEY_CURRENT_USER, "Software\\Harnvik\\Velmora", "ExePath"), tool);
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), MB_VERSION);
  run = RunProgram(prog + "\\mergebridge-setup.exe", {"status"}, dir_);
  EXPECT_EQ(run.status, 0) << run.out;

  WriteFile(dir_ + "base.c", "a\n");
  SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
  run = RunProgram(bridge, {"-base", dir_ + "base.c", "-out", dir_ + "out.c", dir_ + "base.c", dir_ + "base.c"}, dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(SplitToolCommandLine(ReadFile(dir_ + "record")).at(1), "/savetarget=" + dir_ + "out.c");

  // A read-only map: the uninstaller changes and removes nothing.
  SetFileAttributesA((mgrs + "map").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string uninstaller = prog + "\\uninstall.exe";
  EXPECT_NE(RunProgram(uninstaller, {"/S", "_?=" + prog}, dir_).status, 0);
  EXPECT_EQ(ReadFile(mgrs + "map"), Map(bridge, bridge));
  EXPECT_TRUE(std::filesystem::exists(bridge));

  SetFileAttributesA((mgrs + "map").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(RunProgram(uninstaller, {"/S", "_?=" + prog}, dir_).status, 0);
  EXPECT_EQ(ReadFile(mgrs + "map"), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mgrs), {}), 1);  // the map alone
  EXPECT_FALSE(std::filesystem::exists(bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "");
}

}  // namespace
