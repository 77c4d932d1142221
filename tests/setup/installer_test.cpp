// The Windows installers run silently on a made-up ClearCase installation:
// cleartool.exe on PATH and a map of the usual shape. NSIS: install, a second
// run over the first, a merge through the installed bridge, the uninstaller
// refused by a read-only map, then giving back the map byte for byte. The
// Windows Installer package: refused by a read-only map, an upgrade from an
// older version, a merge, a refused and a complete removal.
#include <windows.h>

#include <cstdlib>

#include "common/tool_command.h"
#include "process_support.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kVelmoraKey[] = "Software\\Harnvik\\Velmora";

std::string Map(const std::string& compare, const std::string& merge) {
  return "; ClearCase type managers\r\n\r\ntext_file_delta   construct_version  ..\\..\\bin\\tfdmgr.exe\r\n"
         "text_file_delta   xcompare   " + compare + "\r\ntext_file_delta   xmerge     " + merge +
         "\r\n\t\r\nwhole_copy  xcompare  " + compare + "\r\nbinary_delta xmerge ..\\..\\bin\\bdmgr.exe";
}

std::string Registered(HKEY root, const std::string& key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  return RegGetValueA(root, key.c_str(), value, RRF_RT_ANY, nullptr, data, &size) == ERROR_SUCCESS ? data : "";
}

// The versions of the Add/Remove Programs entries named mergebridge.
Args Entries() {
  Args versions;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return versions;
  char name[256];
  for (DWORD i = 0, size = sizeof name; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                                        ERROR_SUCCESS; ++i, size = sizeof name) {
    const std::string entry = kUninstallKey + ("\\" + std::string(name));
    if (Registered(HKEY_LOCAL_MACHINE, entry, "DisplayName") == "mergebridge") {
      versions.push_back(Registered(HKEY_LOCAL_MACHINE, entry, "DisplayVersion"));
    }
  }
  RegCloseKey(key);
  return versions;
}

class Installer : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::filesystem::create_directories(mgrs_ = dir_ + "cc\\lib\\mgrs\\");
    std::filesystem::create_directories(dir_ + "cc\\bin");
    std::filesystem::copy_file(tool_, dir_ + "cc\\bin\\cleartool.exe");
    WriteFile(mgrs_ + "map", original_);
    SetProcessEnv("PATH=" + dir_ + "cc\\bin;" + std::getenv("PATH"));
  }
  void TearDown() override {
    SetFileAttributesA((mgrs_ + "map").c_str(), FILE_ATTRIBUTE_NORMAL);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKey + std::string("\\mergebridge")).c_str());
    ScratchTest::TearDown();
  }
  void SetMapReadOnly(bool readOnly) {
    SetFileAttributesA((mgrs_ + "map").c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
  }
  // A merge through `bridge` reaches the stand-in; this user has no value of
  // their own (every case leaves none).
  void ExpectMerge(const std::string& bridge) {
    WriteFile(dir_ + "base.c", "a\n");
    SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
    const ProgramRun run = RunProgram(bridge, {"-base", dir_ + "base.c", "-out", dir_ + "out.c", dir_ + "base.c", dir_ + "base.c"}, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(SplitToolCommandLine(ReadFile(dir_ + "record")).at(1), "/savetarget=" + dir_ + "out.c");
  }
  const std::string tool_ = BuildFile("MB_TOOL"), original_ = Map("..\\..\\bin\\cleardiffmrg.exe", "..\\..\\bin\\cleardiffmrg.exe");
  std::string mgrs_;
};

TEST_F(Installer, SilentInstallMergeAndUninstall) {
  const std::string prog = dir_ + "prog", bridge = prog + "\\mergebridge.exe";
  ProgramRun run = RunProgram(BuildFile("MB_INSTALLER"), {"/S", "/VELMORA=" + tool_, "/D=" + prog}, dir_);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(bridge, bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kVelmoraKey, "ExePath"), tool_);
  run = RunProgram(prog + "\\mergebridge-setup.exe", {"status"}, dir_);
  EXPECT_EQ(run.status, 0) << run.out;

  // Run again, told nothing: the same folder, one entry, ClearCase still set up.
  EXPECT_EQ(RunProgram(BuildFile("MB_INSTALLER"), {"/S"}, dir_).status, 0);
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kUninstallKey + std::string("\\mergebridge"), "InstallLocation"), prog);
  EXPECT_EQ(Entries(), Args{MB_VERSION});
  EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(bridge, bridge));
  ExpectMerge(bridge);

  // A read-only map: the uninstaller changes and removes nothing.
  SetMapReadOnly(true);
  const std::string uninstaller = prog + "\\uninstall.exe";
  EXPECT_NE(RunProgram(uninstaller, {"/S", "_?=" + prog}, dir_).status, 0);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(bridge, bridge));
  EXPECT_TRUE(std::filesystem::exists(bridge));

  SetMapReadOnly(false);
  EXPECT_EQ(RunProgram(uninstaller, {"/S", "_?=" + prog}, dir_).status, 0);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), original_);
  EXPECT_FALSE(std::filesystem::exists(mgrs_ + "map.mergebridge"));
  EXPECT_FALSE(std::filesystem::exists(bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kVelmoraKey, "ExePath"), "");
  EXPECT_EQ(Entries(), Args{});
}

class Msi : public Installer {
 protected:
  void TearDown() override {
    SetMapReadOnly(false);  // whatever a failed case left installed goes
    Msiexec({"/x", BuildFile("MB_MSI")});
    Installer::TearDown();
  }
  long Msiexec(Args args) {
    args.insert(args.end(), {"/qn", "/l*v", dir_ + "msi.log"});
    return RunProgram("msiexec.exe", args, dir_).status;
  }
};

TEST_F(Msi, RefusedInstallUpgradeMergeAndRemoval) {
  const std::string prog = dir_ + "prog\\", bridge = prog + "mergebridge.exe";
  const Args older = {"/i", BuildFile("MB_MSI_OLDER"), "CLEARCASE=1", "VELMORA=" + tool_, "INSTALLDIR=" + prog};
  SetMapReadOnly(true);
  EXPECT_EQ(Msiexec(older), 1603);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), original_);
  EXPECT_FALSE(std::filesystem::exists(bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kVelmoraKey, "ExePath"), "");
  EXPECT_EQ(Entries(), Args{});

  // The newer version over the older one, told nothing: the older one's
  // folder, ClearCase and Velmora.
  SetMapReadOnly(false);
  ASSERT_EQ(Msiexec(older), 0);
  ASSERT_EQ(Msiexec({"/i", BuildFile("MB_MSI")}), 0);
  EXPECT_NE(ReadFile(dir_ + "msi.log").find("Installed into " + mgrs_ + "map."), std::string::npos);
  EXPECT_EQ(Entries(), Args{MB_VERSION});
  EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(bridge, bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kVelmoraKey, "ExePath"), tool_);
  ExpectMerge(bridge);

  SetMapReadOnly(true);
  EXPECT_EQ(Msiexec({"/x", BuildFile("MB_MSI")}), 1603);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(bridge, bridge));
  EXPECT_TRUE(std::filesystem::exists(bridge));
  SetMapReadOnly(false);
  EXPECT_EQ(Msiexec({"/x", BuildFile("MB_MSI")}), 0);
  EXPECT_EQ(ReadFile(mgrs_ + "map"), original_);
  EXPECT_FALSE(std::filesystem::exists(bridge));
  EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE, kVelmoraKey, "ExePath"), "");
  EXPECT_EQ(Entries(), Args{});
}

}  // namespace
