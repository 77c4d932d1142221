// The Windows installers run silently on a made-up ClearCase installation (cleartool.exe on PATH, a
// map of the usual shape), step by step.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "common/tool_command.h"
#include "process_support.h"

namespace mergebridge {

namespace {

using enum Registration;

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

const std::string kEventSource =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\mergebridge";

// The value's raw text, and its type where it is REG_EXPAND_SZ.
std::string Registered(REGSAM view, const std::string& key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = REG_NONE;
  HKEY opened;  // in one registry view: 64-bit Windows has two, 32-bit Windows one
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened)) return "";
  const LONG status =
      RegGetValueA(opened, nullptr, value, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
  RegCloseKey(opened);
  return status ? "" : data + std::string(type == REG_EXPAND_SZ ? " (REG_EXPAND_SZ)" : "");
}

class Installer : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::filesystem::create_directories(mgrs_ = dir_ + "cc\\lib\\mgrs\\");
    std::filesystem::create_directories(dir_ + "cc\\bin");
    std::filesystem::copy_file(tool_, dir_ + "cc\\bin\\cleartool.exe");
    // Taken neither from the current folder nor through "." on PATH.
    std::filesystem::copy_file(tool_, dir_ + "cleartool.exe");
    std::filesystem::current_path(dir_);
    WriteFile(mgrs_ + "map", Map(kClearCaseTool));
    WriteFile(mgrs_ + "map.mergebridge-new.4001", "what a killed run left");
    SetProcessEnv("PATH=.;" + dir_ + "cc\\bin;" + std::getenv("PATH"));
    SetProcessEnv("MERGEBRIDGE_STATE_DIR=" + dir_ + "state");  // never the prefix's own
  }
  void TearDown() override {  // and whatever a failed case left installed goes
    std::filesystem::current_path(home_);
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
  const std::filesystem::path home_ = std::filesystem::current_path();
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
  bool locked = false;  // the map read-only, as it is in every step that fails
};

TEST_F(Installer, SilentInstallUpgradeMergeAndRemoval) {
  const std::string prog = dir_ + "prog\\", bridge = prog + "mergebridge.exe",
                    msi = BuildFile("MB_MSI"), older = BuildFile("MB_MSI_OLDER"),
                    setup = BuildFile("MB_SETUP"), installer = BuildFile("MB_INSTALLER");
  // Velmora's program (not there yet), and values an administrator sets: one that no command line
  // could carry, given back byte for byte with its type.
  const std::string velmora = dir_ + "velmora.exe", other = "#%SystemDrive%\\Old \"Velmora\"\\",
                    third = dir_ + "third.exe", shown = other + " (REG_EXPAND_SZ)";
  std::string slashed = velmora;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const std::string removed = Map(kClearCaseTool) + "|" + shown + "|",
                    installed = Map(bridge) + "|" + velmora + "|program",
                    denied = "cannot write " + mgrs_ + "map: Access denied",
                    current = installed + "|" MB_VERSION, newest = installed + "|9.9.9";
  const std::string kept = Map(kClearCaseTool) + "|" + velmora + "|program|0.0.1",
                    undone = Map(kClearCaseTool) + "|" + velmora + "|program|" MB_VERSION;
  const Args copy = {"/c", "copy", tool_, velmora}, nsis = {"/S"},
             repair = {"/i", msi, "REINSTALL=ALL", "REINSTALLMODE=omus"},
             placed = {"/S", "/VELMORA=" + velmora, "/D=" + dir_ + "prog"};
  const Step steps[] = {
      // Before Velmora and ClearCase's setup: registered all the same; it arrives, and a merge
      // starts it.
      {.args = {"/i", older, "CLEARCASE=0", "VELMORA=" + velmora, "INSTALLDIR=" + prog},
       .state = kept,
       .logged = "warning: " + velmora},
      {.program = "cmd.exe", .args = copy, .state = kept, .merge = true},
      // An administrator changes the value: an upgrade leaves it, and sets ClearCase up (found on
      // PATH, the remembered 0 not given again); the removal leaves it too.
      {.program = "reg.exe",
       .args = {"add", "HKLM\\Software\\Harnvik\\Velmora", "/v", "ExePath", "/t", "REG_EXPAND_SZ",
                "/d", other, "/f", "/reg:64"},
       .state = Map(kClearCaseTool) + "|" + shown + "|program|0.0.1"},
      {.args = {"/i", msi},
       .state = Map(bridge) + "|" + shown + "|program|" MB_VERSION,
       .logged = "Installed into " + mgrs_ + "map."},
      {.args = {"/x", msi}, .state = removed, .logged = "as it is: it holds " + other},
      // A step fails after the value was written: the value there before is put back. A relative
      // VELMORA: refused before anything is done.
      {.args = {"/i", msi, "CLEARCASE=1", "VELMORA=" + velmora},
       .status = 1603,
       .state = removed,
       .logged = denied},
      {.args = {"/i", msi, "CLEARCASE=0", "VELMORA=velmora.exe"},
       .status = 1603,
       .state = removed,
       .logged = "VELMORA=velmora.exe is"},
      {.args = {"/i", older, "VELMORA=" + slashed, "INSTALLDIR=" + prog},
       .state = installed + "|0.0.1"},
      // Told nothing (a user interface): the older one's folder, ClearCase, and Velmora's value as
      // it is; then again.
      {.args = {"/i", BuildFile("MB_MSI_SAME"), "/qr"}, .state = current},
      {.args = {"/i", msi}, .state = current, .merge = true},
      // The NSIS installer beside it may not take the value the package wrote.
      {.program = installer,
       .args = {"/S", "/CLEARCASE=0", "/VELMORA=" + third, "/D=" + dir_ + "nsis"},
       .status = 3,
       .state = current + "|" MB_VERSION},
      {.program = "", .args = {"UninstallString", " /S"}, .state = current},
      // A repair sets ClearCase up again; where it cannot, it says so and takes nothing away. It
      // writes no value, even told one.
      {.program = setup, .args = {"uninstall"}, .state = undone},
      {.args = repair, .state = undone, .logged = denied, .locked = true},
      {.args = {"/i", msi, "REINSTALL=ALL", "REINSTALLMODE=omus", "VELMORA=" + other},
       .state = current},
      // Refused, the removal keeps everything; then it puts back the value there was before.
      {.args = {"/x", msi}, .status = 1603, .state = installed, .logged = denied},
      {.args = {"/x", msi}, .state = removed},
      // The NSIS installer before Velmora too.
      {.program = "cmd.exe", .args = {"/c", "del", velmora}, .state = removed},
      {.program = installer,
       .args = {"/S", "/VELMORA=velmora.exe", "/D=" + dir_ + "prog"},
       .status = 3,
       .state = Map(kClearCaseTool) + "|" + shown + "|program|" MB_VERSION,
       .logged = "/VELMORA=velmora.exe is not the full path"},
      {.program = installer,
       .args = placed,
       .state = current,
       .logged = "no program at " + velmora},
      {.program = "cmd.exe", .args = copy, .state = current, .merge = true},
      // Into the same folder; then a newer one, which an older one does not replace.
      {.program = installer, .args = nsis, .state = current, .merge = true},
      {.program = BuildFile("MB_INSTALLER_NEWER"), .args = nsis, .state = newest},
      {.program = installer,
       .args = nsis,
       .status = 4,
       .state = newest,
       .logged = "mergebridge 9.9.9 is installed, newer"},
      // The entry's strings as written: they return when the removal is over, saying how it went;
      // the value there was before is put back.
      {.program = "", .args = {"QuietUninstallString", ""}, .status = 3, .state = newest},
      {.program = "", .args = {"UninstallString", " /S"}, .state = removed},
      // A value changed since the installation stays.
      {.program = installer, .args = placed, .state = current},
      {.program = setup,
       .args = {"register", "--all-users", third, "--force"},
       .state = Map(bridge) + "|" + third + "|program|" MB_VERSION},
      {.program = "",
       .args = {"UninstallString", " /S"},
       .state = Map(kClearCaseTool) + "|" + third + "|"},
      {.program = setup,
       .args = {"unregister", "--all-users"},
       .state = Map(kClearCaseTool) + "||"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.program + " " + step.args.front() + " " + std::to_string(step.status));
    SetFileAttributesA((mgrs_ + "map").c_str(), step.status || step.locked ? FILE_ATTRIBUTE_READONLY
                                                                           : FILE_ATTRIBUTE_NORMAL);
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
    // The event source names the installed bridge's message table while there is one.
    const std::string source = Registered(0, kEventSource, "EventMessageFile");
    EXPECT_EQ(source.substr(0, source.find(" (REG_EXPAND_SZ)")),
              std::filesystem::exists(bridge) ? bridge : "");
    const std::string text =
        step.program == "msiexec.exe" ? ReadFile(dir_ + "msi.log") : run.out + run.err;
    EXPECT_NE(text.find(step.logged), std::string::npos);
    if (!step.merge) continue;
    SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
    EXPECT_EQ(
        RunProgram(bridge, {"-out", dir_ + "out.c", mgrs_ + "map", mgrs_ + "map"}, dir_).status, 0);
    EXPECT_EQ(SplitToolCommandLine(ReadFile(dir_ + "record")).at(1),
              "/savetarget=" + dir_ + "out.c");
    SetProcessEnv("WINEDEBUG=-all,+eventlog");  // a failure's event, as ReportEventW got it
    const size_t logged = ReadFile(BuildFile("MB_WINE_LOG")).size();
    EXPECT_EQ(RunProgram(bridge, {"-status_only", "-x"}, dir_).status, 1);
    SetProcessEnv("WINEDEBUG=-all");
    const std::string events = ReadFile(BuildFile("MB_WINE_LOG")).substr(logged);
    EXPECT_NE(events.find("exit status 1: Command Line error. Option '-x ' is not"),
              std::string::npos)
        << events;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mgrs_), {}), 1);  // the map alone
  EXPECT_FALSE(std::filesystem::exists(prog));  // uninstall.exe and its folder gone too
}

// ClearCase removed before mergebridge, its folder gone from PATH too: either package goes all the
// same, and the MSI's log says why nothing was given back.
TEST_F(Installer, RemovalAfterClearCaseWent) {
  for (const bool nsis : {false, true}) {
    if (nsis) TearDown(), SetUp();  // a fresh ClearCase
    const std::string prog = dir_ + "prog\\", msi = BuildFile("MB_MSI");
    const ProgramRun installed =
        nsis ? RunProgram(BuildFile("MB_INSTALLER"), {"/S", "/D=" + dir_ + "prog"}, dir_)
             : RunProgram("msiexec.exe", {"/qn", "/i", msi, "INSTALLDIR=" + prog}, dir_);
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(ReadFile(mgrs_ + "map"), Map(prog + "mergebridge.exe"));
    std::filesystem::remove_all(dir_ + "cc");
    const std::string entry =
        Registered(KEY_WOW64_32KEY, kUninstallKey + "mergebridge", "UninstallString");
    const ProgramRun run =
        nsis ? RunCommandLine(entry + " /S", dir_)
             : RunProgram("msiexec.exe", {"/qn", "/l*v", dir_ + "msi.log", "/x", msi}, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(std::filesystem::exists(prog));
    EXPECT_TRUE(nsis ||
                ReadFile(dir_ + "msi.log").find("lib\\mgrs: no longer there") != std::string::npos);
  }
}

// The computer's policy over every registration, as status --json reads it for this user; for all
// users the user's policy counts for nothing; the install ClearCase's repair undid, seen and
// repaired; the policy written where Group Policy writes it, and compare-and-delete.
TEST_F(Installer, PolicyStatusAndRepair) {
  auto json = [](std::string text) {  // a path as JSON spells it
    for (size_t at = 0; (at = text.find('\\', at)) != std::string::npos; at += 2)
      text.insert(at, 1, '\\');
    return text;
  };
  const std::string policy = "Software\\Policies\\Harnvik\\Velmora", tool = json(tool_);
  const std::string taken = R"("velmora":{"path":")" + tool + R"(","source":)";
  std::string upper = tool_;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  const struct {
    std::optional<Registrations> registrations;  // nullopt: as they are
    Args args;
    long status;
    std::string part;       // in stdout
    bool repaired = false;  // ClearCase's repair put its own xmerge line back first
    const char* env = "";   // set for this step alone
  } steps[] = {
      {{{OtherPath, OtherPath, NoStore, Path}},
       {"status", "--json"},
       1,
       taken + R"("policy","policy":"machine","exists":true},"clearcase":{"home":")" + json(dir_) +
           R"(cc","managers":[{"name":"text_file_delta","installed":false},{"name":"whole_copy","installed":false},{"name":"binary_delta","installed":false}],"reverted":false,"revertedMethods":[]}})"},
      {{{OtherPath, OtherPath, NoStore, Path}},
       {"status", "--all-users", "--json"},
       1,
       taken + R"("policy")"},
      {{{OtherPath, Path, NoStore, NoStore, OtherPath}},
       {"status", "--all-users", "--json"},
       1,
       taken + R"("machine")"},
      {{{NoStore, NoStore, Path}},  // the value compared serves from the 32-bit view alone
       {"unregister", "--all-users", "--if-value", tool_, "--json"},
       1,
       R"(32-bit view holds )" + tool + ", but this"},
      {{}, {"install", "--dry-run", "--json"}, 0, R"("ok":true,"changed":true,)"},
      {{}, {"--json", "install", "--bogus"}, 2, R"("ok":false,"changed":false,"messages":[")"},
      {{{Path}}, {"install", "--json"}, 0, R"("ok":true,"changed":true,)"},
      {{{Path}}, {"status", "--json"}, 0, R"("ready":true,"reason":"",)"},
      {{}, {"try"}, 0, "text_file_delta xmerge runs "},  // through the map, as ClearCase starts it
      {{}, {"try"}, 1, "", false, "STANDIN_SAVE=no"},    // a merge not saved: one failure recorded
      {{}, {"status", "--json"}, 0, R"("recent_failures":[{"time":")"},
      {{}, {"status", "--json"}, 1, R"(true,"revertedMethods":["text_file_delta xmerge"]})", true},
      {{}, {"install", "--json"}, 0, R"("ok":true,"changed":true,)"},
      {{}, {"status", "--json"}, 0, R"(,"reverted":false,"revertedMethods":[]}})"},
      {{}, {"register", "--policy", tool_, "--json"}, 0, R"("ok":true,"changed":true,)"},
      {{},  // the path compared as Windows compares names
       {"unregister", "--policy", "--if-value", upper, "--json"},
       0,
       R"("ok":true,"changed":true,)"},
      {{}, {"uninstall"}, 0, "Uninstalled from"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + (step.args.size() > 1 ? step.args[1] : ""));
    BOOL twoViews = FALSE;  // this 32-bit program under 64-bit Windows; 32-bit Windows has one view
    if (step.registrations && step.registrations->machine32 != NoStore &&
        IsWow64Process(GetCurrentProcess(), &twoViews) && !twoViews)
      continue;
    if (step.registrations) RegisterTool(*step.registrations, tool_, dir_);
    if (step.repaired) {
      std::string map = ReadFile(mgrs_ + "map");
      const size_t line = map.find("xmerge");
      map.replace(line, map.find("\r\n", line) - line, "xmerge " + std::string(kClearCaseTool));
      WriteFile(mgrs_ + "map", map);
    }
    if (*step.env) SetProcessEnv(step.env);
    const ProgramRun run = RunProgram(BuildFile("MB_SETUP"), step.args, dir_);
    const std::string setting = step.env;
    if (!setting.empty()) SetProcessEnv(setting.substr(0, setting.find('=')));  // unset again
    EXPECT_EQ(run.status, step.status) << run.out << run.err;
    EXPECT_NE(run.out.find(step.part), std::string::npos) << run.out;
    EXPECT_TRUE(step.args[0] != "status" || run.err.empty()) << run.err;
    if (step.args[0] == "register") {
      EXPECT_EQ(Registered(KEY_WOW64_64KEY, policy, "ExePath"), tool_);
    }
  }
  EXPECT_EQ(Registered(KEY_WOW64_64KEY, policy, "ExePath"), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir_ + "state"));
}

// While another run holds the lock file, a run waits, then is refused.
TEST_F(Installer, SetupLockHeld) {
  const HANDLE held = CreateFileA((mgrs_ + "mergebridge-setup.lock").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_TRUE(LockFile(held, 0, 0, 1, 0));
  const ProgramRun run =
      RunProgram(BuildFile("MB_SETUP"), {"install", "--bridge", BuildFile("MB_SETUP")}, dir_);
  EXPECT_TRUE(run.status == 3 &&
              run.err.find("another mergebridge-setup is changing") != std::string::npos)
      << run.err;
  CloseHandle(held);
}

}  // namespace

}  // namespace mergebridge
