// The Windows installers run silently on a made-up ClearCase installation (cleartool.exe on PATH, a
// map of the usual shape), step by step.
#include <windows.h>

#include <cstdlib>

#include "common/tool_command.h"
#include "process_support.h"

namespace {

const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kClearCaseTool[] = "..\\..\\bin\\cleardiffmrg.exe";

std::string Map(const std::string& program) {
  return "; ClearCase type managers\r\n\r\ntext_file_delta   construct_version  "
         "..\\..\\bin\\tfdmgr.exe\r\n"
         "text_file_delta   xcompare   " +
         program + "\r\ntext_file_delta   xmerge     " + program +
         "\r\n\t\r\nwhole_copy  xcompare  " + program +
         "\r\nbinary_delta xmerge ..\\..\\bin\\bdmgr.exe";
}

std::string Registered(REGSAM view, const std::string& key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  HKEY opened;  // in one registry view: 64-bit Windows has two, 32-bit Windows one
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened)) return "";
  const LONG status = RegGetValueA(opened, nullptr, value, RRF_RT_ANY, nullptr, data, &size);
  RegCloseKey(opened);
  return status ? "" : data;
}

class Installer : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::filesystem::create_directories(mgrs_ = dir_ + "cc\\lib\\mgrs\\");
    std::filesystem::create_directories(dir_ + "cc\\bin");
    std::filesystem::copy_file(tool_, dir_ + "cc\\bin\\cleartool.exe");
    WriteFile(mgrs_ + "map", Map(kClearCaseTool));
    WriteFile(mgrs_ + "map.mergebridge-new.4001", "what a killed run left");
    SetProcessEnv("PATH=" + dir_ + "cc\\bin;" + std::getenv("PATH"));
  }
  void TearDown() override {  // and whatever a failed case left installed goes
    SetFileAttributesA((mgrs_ + "map").c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const char* msi : {"MB_MSI_OLDER", "MB_MSI_SAME", "MB_MSI"})
      RunProgram("msiexec.exe", {"/x", BuildFile(msi), "/qn"}, dir_);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (kUninstallKey + "mergebridge").c_str(), KEY_WOW64_32KEY,
                    0);
    ScratchTest::TearDown();
  }
  // The map, the value for all users, whether the program is installed, and the versions of the
  // Add/Remove Programs entries named mergebridge (where Windows keeps a 32-bit package's).
  std::string State(const std::string& bridge) {
    std::string state = ReadFile(mgrs_ + "map") + "|" +
                        Registered(KEY_WOW64_64KEY, "Software\\Harnvik\\Velmora", "ExePath") +
                        (std::filesystem::exists(bridge) ? "|program" : "|");
    HKEY key;
    char name[256];
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
    for (DWORD i = 0, size;
         size = sizeof name, !RegEnumKeyExA(key, i++, name, &size, 0, 0, 0, 0);) {
      if (Registered(KEY_WOW64_32KEY, kUninstallKey + name, "DisplayName") != "mergebridge")
        continue;
      (state += "|") += Registered(KEY_WOW64_32KEY, kUninstallKey + name, "DisplayVersion");
    }
    RegCloseKey(key);
    return state;
  }
  const std::string tool_ = BuildFile("MB_TOOL");
  std::string mgrs_;
};

// A program run, its status and the state it leaves (the map is read-only where it fails), then
// maybe a merge through the installed bridge (no value for this user: every case leaves none).
struct Step {
  std::string program = "msiexec.exe";  // empty: the Add/Remove Programs entry's string args[0]
  Args args = {};                       // for the entry's string: args[1] goes after it
  long status = 0;
  std::string state = "";   // State() afterwards
  std::string logged = "";  // in the log (msiexec) or the output
  bool merge = false;
};

TEST_F(Installer, SilentInstallUpgradeMergeAndRemoval) {
  const std::string prog = dir_ + "prog\\", bridge = prog + "mergebridge.exe",
                    msi = BuildFile("MB_MSI"), older = BuildFile("MB_MSI_OLDER");
  const std::string setup = prog + "mergebridge-setup.exe",
                    velmora = dir_ + "velmora.exe";  // not there yet
  const std::string removed = Map(kClearCaseTool) + "||",
                    installed = Map(bridge) + "|" + velmora + "|program";
  const std::string kept = Map(kClearCaseTool) + "|" + velmora + "|program|0.0.1",
                    absent = "program " + velmora + " does not exist",
                    unregistered = Map(kClearCaseTool) + "||program|0.0.1",
                    denied = "cannot write " + mgrs_ + "map: Access denied",
                    current = installed + "|" MB_VERSION, newest = installed + "|9.9.9";
  const Args copy = {"/c", "copy", tool_, velmora}, nsis = {"/S"};
  const std::string installer = BuildFile("MB_INSTALLER");
  const Step steps[] = {
      // Before Velmora: registered all the same; it arrives, and a merge starts it.
      {.args = {"/i", older, "CLEARCASE=0", "VELMORA=" + velmora, "INSTALLDIR=" + prog},
       .state = kept,
       .logged = "warning: " + velmora},
      {.program = setup, .args = {"status"}, .status = 1, .state = kept, .logged = absent},
      {.program = "cmd.exe", .args = copy, .state = kept, .merge = true},
      // Then a repair runs no step, an upgrade fails:
      {.program = setup, .args = {"unregister", "--all-users"}, .state = unregistered},
      {.args = {"/i", older, "REINSTALL=ALL"}, .state = unregistered},
      // Windows Installer rolls the older one's removal back too (kept); Wine's does not.
      {.args = {"/i", msi, "CLEARCASE=1"}, .status = 1603, .state = removed, .logged = denied},
      // CLEARCASE not given: 1, cleartool.exe being on PATH. A relative VELMORA: refused.
      {.args = {"/i", older, "VELMORA=" + velmora, "INSTALLDIR=" + prog},
       .status = 1603,
       .state = removed},
      {.args = {"/i", msi, "CLEARCASE=0", "VELMORA=velmora.exe"},
       .status = 1603,
       .state = removed,
       .logged = "VELMORA=velmora.exe is"},
      {.args = {"/i", older, "CLEARCASE=1", "VELMORA=" + velmora, "INSTALLDIR=" + prog},
       .state = installed + "|0.0.1"},
      // Told nothing (a user interface): the older one's folder, ClearCase, Velmora; then again.
      {.args = {"/i", BuildFile("MB_MSI_SAME"), "/qr"}, .state = current},
      {.args = {"/i", msi},
       .state = current,
       .logged = "Installed into " + mgrs_ + "map.",
       .merge = true},
      // Refused, the removal keeps everything; Wine's rollback drops the entry, though.
      {.args = {"/x", msi}, .status = 1603, .state = installed, .logged = denied},
      {.args = {"/x", msi}, .state = removed},
      // The NSIS installer before Velmora too.
      {.program = "cmd.exe", .args = {"/c", "del", velmora}, .state = removed},
      {.program = installer,
       .args = {"/S", "/VELMORA=velmora.exe", "/D=" + dir_ + "prog"},
       .status = 3,
       .state = Map(kClearCaseTool) + "||program|" MB_VERSION,
       .logged = "/VELMORA=velmora.exe is not the full path"},
      {.program = installer,
       .args = {"/S", "/VELMORA=" + velmora, "/D=" + dir_ + "prog"},
       .state = current,
       .logged = "no program at " + velmora},
      {.program = setup, .args = {"status"}, .status = 1, .state = current, .logged = absent},
      {.program = "cmd.exe", .args = copy, .state = current, .merge = true},
      // Into the same folder; then a newer one, which an older one does not replace.
      {.program = installer, .args = nsis, .state = current, .merge = true},
      {.program = BuildFile("MB_INSTALLER_NEWER"), .args = nsis, .state = newest},
      {.program = installer,
       .args = nsis,
       .status = 4,
       .state = newest,
       .logged = "mergebridge 9.9.9 is installed, newer"},
      // The entry's strings as written: they return when the removal is over, saying how it went.
      {.program = "", .args = {"QuietUninstallString", ""}, .status = 3, .state = newest},
      {.program = "", .args = {"UninstallString", " /S"}, .state = removed},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.program + " " + step.args.front() + " " + std::to_string(step.status));
    SetFileAttributesA((mgrs_ + "map").c_str(),
                       step.status ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    Args args = step.args;
    if (step.program == "msiexec.exe") args.insert(args.begin(), {"/qn", "/l*v", dir_ + "msi.log"});
    const std::string entry =
        step.program.empty()
            ? Registered(KEY_WOW64_32KEY, kUninstallKey + "mergebridge", args[0].c_str())
            : "";
    const ProgramRun run = step.program.empty() ? RunCommandLine(entry + args[1], dir_)
                                                : RunProgram(step.program, args, dir_);
    EXPECT_EQ(run.status, step.status);
    EXPECT_EQ(State(bridge), step.state);
    const std::string text =
        step.program == "msiexec.exe" ? ReadFile(dir_ + "msi.log") : run.out + run.err;
    EXPECT_NE(text.find(step.logged), std::string::npos);
    if (!step.merge) continue;
    SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
    EXPECT_EQ(
        RunProgram(bridge, {"-out", dir_ + "out.c", mgrs_ + "map", mgrs_ + "map"}, dir_).status, 0);
    EXPECT_EQ(SplitToolCommandLine(ReadFile(dir_ + "record")).at(1),
              "/savetarget=" + dir_ + "out.c");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mgrs_), {}), 1);  // the map alone
  EXPECT_FALSE(std::filesystem::exists(prog));  // uninstall.exe and its folder gone too
}

// While another run holds the lock file, a run waits, then is refused.
TEST_F(Installer, SetupLockHeld) {
  const HANDLE held = CreateFileA((mgrs_ + "mergebridge-setup.lock").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_TRUE(LockFile(held, 0, 0, 1, 0));
  const ProgramRun run =
      RunProgram(BuildFile("MB_SETUP"), {"install", "--bridge", BuildFile("MB_SETUP")}, dir_);
  EXPECT_TRUE(run.status == 1 &&
              run.err.find("another mergebridge-setup is changing") != std::string::npos)
      << run.err;
  CloseHandle(held);
}

}  // namespace
