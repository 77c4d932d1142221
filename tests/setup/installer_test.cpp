// The Windows installers run silently on a made-up ClearCase installation
// (cleartool.exe on PATH, a map of the usual shape), step by step.
#include <windows.h>

#include <cstdlib>

#include "common/tool_command.h"
#include "process_support.h"

namespace {

const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kClearCaseTool[] = "..\\..\\bin\\cleardiffmrg.exe";

std::string Map(const std::string& program) {
  return "; ClearCase type managers\r\n\r\ntext_file_delta   construct_version  ..\\..\\bin\\tfdmgr.exe\r\n"
         "text_file_delta   xcompare   " + program + "\r\ntext_file_delta   xmerge     " + program +
         "\r\n\t\r\nwhole_copy  xcompare  " + program + "\r\nbinary_delta xmerge ..\\..\\bin\\bdmgr.exe";
}

std::string Registered(const std::string& key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  return RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_ANY, nullptr, data, &size) ? "" : data;
}

class Installer : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::filesystem::create_directories(mgrs_ = dir_ + "cc\\lib\\mgrs\\");
    std::filesystem::create_directories(dir_ + "cc\\bin");
    for (const char* copy : {"cc\\bin\\cleartool.exe", "velmora.exe"}) std::filesystem::copy_file(tool_, dir_ + copy);
    WriteFile(mgrs_ + "map", Map(kClearCaseTool));
    WriteFile(mgrs_ + "map.mergebridge-new.4001", "what a killed run left");
    SetProcessEnv("PATH=" + dir_ + "cc\\bin;" + std::getenv("PATH"));
  }
  void TearDown() override {  // and whatever a failed case left installed goes
    SetFileAttributesA((mgrs_ + "map").c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const char* msi : {"MB_MSI_OLDER", "MB_MSI_SAME", "MB_MSI"})
      RunProgram("msiexec.exe", {"/x", BuildFile(msi), "/qn"}, dir_);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKey + "mergebridge").c_str());
    ScratchTest::TearDown();
  }
  // The map, the value for all users, whether the program is installed, and
  // the versions of the Add/Remove Programs entries named mergebridge.
  std::string State(const std::string& bridge) {
    std::string state = ReadFile(mgrs_ + "map") + "|" + Registered("Software\\Harnvik\\Velmora", "ExePath") +
                        (std::filesystem::exists(bridge) ? "|program" : "|");
    HKEY key;
    char name[256];
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0, KEY_READ, &key);
    for (DWORD i = 0, size; size = sizeof name, !RegEnumKeyExA(key, i++, name, &size, 0, 0, 0, 0);) {
      if (Registered(kUninstallKey + name, "DisplayName") != "mergebridge") continue;
      state += "|" + Registered(kUninstallKey + name, "DisplayVersion");
    }
    RegCloseKey(key);
    return state;
  }
  const std::string tool_ = BuildFile("MB_TOOL");
  std::string mgrs_;
};

// A program run, its status and the state it leaves (the map is read-only in the steps that fail); then a
// merge through the installed bridge (no value for this user: every case leaves none) and the log's text.
struct Step {
  std::string program;
  Args args;
  long status;
  std::string state;
  bool merge = false;
  std::string logged = "";
};

TEST_F(Installer, SilentInstallUpgradeMergeAndRemoval) {
  const std::string prog = dir_ + "prog\\", bridge = prog + "mergebridge.exe", msi = BuildFile("MB_MSI");
  const std::string removed = Map(kClearCaseTool) + "||", installed = Map(bridge) + "|" + tool_ + "|program";
  const Args older = {"/i", BuildFile("MB_MSI_OLDER"), "CLEARCASE=1", "VELMORA=" + tool_, "INSTALLDIR=" + prog};
  const std::string copy = dir_ + "velmora.exe", kept = Map(kClearCaseTool) + "|" + copy + "|program|0.0.1";
  const Step steps[] = {
      {"msiexec.exe", {"/i", BuildFile("MB_MSI_OLDER"), "CLEARCASE=0", "VELMORA=" + copy, "INSTALLDIR=" + prog}, 0, kept},
      {"cmd.exe", {"/c", "del", copy}, 0, kept},  // then a repair runs no step, an upgrade fails:
      {"msiexec.exe", {"/i", BuildFile("MB_MSI_OLDER"), "REINSTALL=ALL"}, 0, kept},
      // Windows Installer rolls the older one's removal back too (kept); Wine's is an msiexec of its own.
      {"msiexec.exe", {"/i", msi}, 1603, removed, false, "is not a program that can be started"},
      // CLEARCASE not given: 1, cleartool.exe being on PATH.
      {"msiexec.exe", {"/i", BuildFile("MB_MSI_OLDER"), "VELMORA=" + tool_, "INSTALLDIR=" + prog}, 1603, removed},
      {"msiexec.exe", older, 0, installed + "|0.0.1"},
      // Told nothing (with a user interface): the older one's folder, ClearCase, Velmora; then the same version.
      {"msiexec.exe", {"/i", BuildFile("MB_MSI_SAME"), "/qr"}, 0, installed + "|" MB_VERSION},
      {"msiexec.exe", {"/i", msi}, 0, installed + "|" MB_VERSION, true, "Installed into " + mgrs_ + "map."},
      // Refused, the removal keeps everything; Wine's rollback drops the entry, though.
      {"msiexec.exe", {"/x", msi}, 1603, installed, false, "cannot write " + mgrs_ + "map: Access denied"},
      {"msiexec.exe", {"/x", msi}, 0, removed},
      {BuildFile("MB_INSTALLER"), {"/S", "/VELMORA=" + tool_, "/D=" + dir_ + "prog"}, 0, installed + "|" MB_VERSION},
      {BuildFile("MB_INSTALLER"), {"/S"}, 0, installed + "|" MB_VERSION, true},  // into the same folder
      {prog + "uninstall.exe", {"/S", "_?=" + dir_ + "prog"}, 3, installed + "|" MB_VERSION},
      {prog + "uninstall.exe", {"/S", "_?=" + dir_ + "prog"}, 0, removed},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.program + " " + step.args.front() + " " + std::to_string(step.status));
    SetFileAttributesA((mgrs_ + "map").c_str(), step.status ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    Args args = step.args;
    if (step.program == "msiexec.exe") args.insert(args.begin(), {"/qn", "/l*v", dir_ + "msi.log"});
    EXPECT_EQ(RunProgram(step.program, args, dir_).status, step.status);
    EXPECT_EQ(State(bridge), step.state);
    EXPECT_NE(ReadFile(dir_ + "msi.log").find(step.logged), std::string::npos);
    if (!step.merge) continue;
    SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
    EXPECT_EQ(RunProgram(bridge, {"-out", dir_ + "out.c", mgrs_ + "map", mgrs_ + "map"}, dir_).status, 0);
    EXPECT_EQ(SplitToolCommandLine(ReadFile(dir_ + "record")).at(1), "/savetarget=" + dir_ + "out.c");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mgrs_), {}), 1);  // the map alone
}

// While another run holds the lock file, a run waits, then is refused.
TEST_F(Installer, SetupLockHeld) {
  const HANDLE held = CreateFileA((mgrs_ + "mergebridge-setup.lock").c_str(), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_TRUE(LockFile(held, 0, 0, 1, 0));
  const ProgramRun run = RunProgram(BuildFile("MB_SETUP"), {"install", "--bridge", BuildFile("MB_SETUP")}, dir_);
  EXPECT_TRUE(run.status == 1 && run.err.find("another mergebridge-setup is changing") != std::string::npos) << run.err;
  CloseHandle(held);
}

}  // namespace
