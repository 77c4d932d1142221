// mergebridge-setup on a made-up UNIX ClearCase tree: cleartool on PATH, type managers whose
// methods are links or files. Install, a merge through the installed link, register, status, and an
// uninstall that gives the tree back; registering for this user and for all users, and
// unregistering; then every system call of install, uninstall, register and unregister failed or
// killed in turn, each followed by a rerun that must finish the job.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>

#include "process_support.h"

namespace mergebridge {

namespace {

namespace fs = std::filesystem;

// Every path under `root` (from it) with a link's target or a file's bytes.
std::string Snapshot(const std::string& root) {
  std::string text;
  std::vector<fs::path> paths(fs::recursive_directory_iterator(root), {});
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) {
    text += path.string().substr(root.size()) +
            (fs::is_symlink(path)        ? " -> " + fs::read_symlink(path).string()
             : fs::is_regular_file(path) ? " = " + ReadFile(path.string())
                                         : "/") +
            "\n";
  }
  return text;
}

testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// Root's lock file for `folder`, made as a run makes it.
std::string RootLockFile(const std::string& folder) {
  struct stat info;
  stat(folder.c_str(), &info);
  mkdir("/run/mergebridge", 0700);
  const std::string file = "/run/mergebridge/" + std::to_string(info.st_dev) + "-" +
                           std::to_string(info.st_ino) + ".lock";
  close(open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
  return file;
}

class SetupOnLinks : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    SetProcessEnv("MERGEBRIDGE_STATE_DIR=" + dir_ + "state");  // never the machine's
    SetProcessEnv("XDG_RUNTIME_DIR");
    fs::create_directory(dir_ + "tmp");
    SetProcessEnv("TMPDIR=" + dir_ + "tmp");  // where try makes its scratch folder
  }
  ProgramRun Run(const Args& args) { return RunProgram(BuildFile("MB_SETUP"), args, dir_); }
  // Run, expecting `status`.
  ProgramRun Ran(const Args& args, long status) {
    ProgramRun run = Run(args);
    EXPECT_EQ(run.status, status) << run.out << run.err;
    return run;
  }
};

TEST_F(SetupOnLinks, InstallMergeUninstall) {
  const std::string cc = dir_ + "cc/", mgrs = cc + "lib/mgrs/", bridge = BuildFile("MB_BRIDGE");
  fs::create_directories(cc + "bin");
  WriteFile(cc + "bin/cleartool", "#!/bin/sh\n");
  fs::permissions(cc + "bin/cleartool", fs::perms::owner_all);
  for (const char* manager : {"text_file_delta", "whole_copy", "binary_delta"}) {
    fs::create_directories(mgrs + manager);
    fs::create_symlink("../../../bin/cleardiffmrg", mgrs + manager + "/xcompare");
  }
  fs::create_symlink("../../../bin/cleardiffmrg", mgrs + "text_file_delta/xmerge");
  WriteFile(mgrs + "whole_copy/xmerge", "#!/bin/sh\nexit 3\n");
  SetProcessEnv("PATH=" + cc + "bin:" + std::getenv("PATH"));
  SetProcessEnv("XDG_CONFIG_HOME=" + dir_ + "config");
  const std::string original = Snapshot(cc);

  EXPECT_TRUE(Holds(Ran({"status"}, 1).out,
                    "will not start Velmora: no xcompare or xmerge method runs mergebridge"));
  EXPECT_TRUE(Holds(Ran({"try"}, 1).err, "not installed: the text_file_delta methods in "));
  ProgramRun run =
      Ran({"install", "--bridge", bridge, "--dry-run", "--managers", "binary_delta"}, 0);
  EXPECT_TRUE(Holds(run.out, "--- " + mgrs + "binary_delta\n"));
  EXPECT_TRUE(Holds(run.out, "+xcompare -> " + bridge));
  EXPECT_EQ(run.out.find("text_file_delta"), std::string::npos) << run.out;
  EXPECT_EQ(Run({"install", "--bridge", bridge, "--managers", "z_whole_copy"}).status, 1);
  EXPECT_EQ(Snapshot(cc), original);
  // While another run holds the lock: refused after a short wait.
  const std::string lock = geteuid() == 0 ? RootLockFile(mgrs) : mgrs;
  run = RunProgram("flock", {lock, BuildFile("MB_SETUP"), "install", "--bridge", bridge}, dir_);
  if (lock != mgrs) fs::remove(lock);
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(
      Holds(run.err, "another mergebridge-setup is changing " + cc + "lib/mgrs; run this again"));
  EXPECT_EQ(Snapshot(cc), original);

  // Scratch files under this test's number: one written before it started (a killed run's, the
  // number since reused) goes, a fresh one stays.
  const std::string reused = mgrs + "whole_copy/xmerge.mergebridge-new." + std::to_string(getpid());
  const std::string owned =
      mgrs + "text_file_delta/xcompare.mergebridge-new." + std::to_string(getpid());
  WriteFile(reused, "a killed run's");
  WriteFile(owned, "a running one's");
  fs::last_write_time(reused, fs::last_write_time(reused) - std::chrono::hours(24));
  EXPECT_EQ(Run({"install", "--bridge", bridge}).status, 0);
  EXPECT_FALSE(fs::exists(reused));
  EXPECT_TRUE(fs::exists(owned));
  fs::remove(owned);
  for (const char* method : {"text_file_delta/xcompare", "text_file_delta/xmerge",
                             "whole_copy/xcompare", "whole_copy/xmerge"}) {
    EXPECT_EQ(fs::read_symlink(mgrs + method), bridge) << method;
  }
  EXPECT_EQ(fs::read_symlink(mgrs + "binary_delta/xcompare"), "../../../bin/cleardiffmrg");
  // Installing again, where the installation cannot be remembered: a warning.
  SetProcessEnv("MERGEBRIDGE_STATE_DIR=" + dir_ + "none/state");
  EXPECT_TRUE(Holds(Ran({"install", "--bridge", bridge}, 0).err,
                    "warning: cannot remember " + cc + "lib/mgrs in"));
  SetProcessEnv("MERGEBRIDGE_STATE_DIR=" + dir_ + "state");

  // Registering: a non-program refused unless forced, and then status says so.
  WriteFile(dir_ + "base", "a\n");
  EXPECT_EQ(Run({"register", dir_ + "base"}).status, 1);
  EXPECT_EQ(Run({"register", "--force", dir_ + "base"}).status, 0);
  EXPECT_TRUE(Holds(Ran({"status"}, 1).out, "will not start Velmora: Velmora's program " + dir_ +
                                                "base cannot be started"));
  EXPECT_EQ(Run({"register", BuildFile("MB_TOOL")}).status, 0);
  Ran({"status"}, 0);
  // try: a compare, then a merge whose output Velmora saves, or does not; the scratch folder goes.
  run = Ran({"try"}, 0);
  EXPECT_TRUE(Holds(run.out, "xmerge runs " + bridge + "\n"));
  EXPECT_TRUE(Holds(run.out, "status 0\n  the merge's output was saved"));
  SetProcessEnv("STANDIN_SAVE=no");
  EXPECT_TRUE(Holds(Ran({"try"}, 1).err, "the merge's output was not saved"));
  SetProcessEnv("STANDIN_SAVE");
  EXPECT_TRUE(fs::is_empty(dir_ + "tmp"));
  run = Ran({"--version", "--bridge", dir_ + "elsewhere"}, 0);  // the methods' bridge
  EXPECT_EQ(run.out.substr(run.out.find('\n')),
            "\nmergebridge " + run.out.substr(18, run.out.find('\n') - 18) + " (" + bridge + ")\n");
  SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
  run = RunProgram(mgrs + "text_file_delta/xmerge", {"-base", dir_ + "base", dir_ + "base"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir_ + "record").substr(ReadFile(dir_ + "record").rfind(dir_)),
            dir_ + "base\n");
  // Without cleartool on PATH status takes the installation install remembered, and lists this
  // user's failed merges, newest first.
  SetProcessEnv("STANDIN_EXIT=3");
  RunProgram(mgrs + "text_file_delta/xmerge", {"-base", "b", "o", "t"}, dir_);
  SetProcessEnv("STANDIN_EXIT");
  RunProgram(mgrs + "text_file_delta/xmerge", {"-x"}, dir_);
  const std::string path = std::getenv("PATH");
  SetProcessEnv("PATH=/usr/bin:/bin");
  run = Ran({"status"}, 0);
  EXPECT_TRUE(Holds(run.out, "(no cleartool on PATH): " + cc.substr(0, cc.size() - 1) + "\n"));
  EXPECT_TRUE(Holds(run.out,
                    "Z status 1: Command Line error. Option '-x ' is not recognised (command"
                    " line = '-x ')\n  2"));
  EXPECT_TRUE(Holds(Ran({"status", "--json"}, 0).out,
                    "\"status\":1,\"reason\":\"Velmora ended with status "
                    "3\",\"files\":[\"b\",\"o\",\"t\"]}"));
  SetProcessEnv("PATH=" + cc + "bin:" + std::getenv("PATH"));

  // Another bridge, then someone repoints one method; uninstall leaves that one alone and restores
  // the rest.
  EXPECT_EQ(Run({"install", "--bridge", BuildFile("MB_TOOL")}).status, 0);
  // Removing the package of the bridge beside the setup program leaves it alone.
  const std::string remembered = Snapshot(cc) + Snapshot(dir_ + "state");
  EXPECT_NE(remembered.find(" = mergebridge-setup installation 1\n" + cc + "lib/mgrs\n"),
            std::string::npos);
  EXPECT_EQ(Run({"uninstall", "--remembered"}).status, 0);
  EXPECT_EQ(Snapshot(cc) + Snapshot(dir_ + "state"), remembered);
  fs::remove(mgrs + "whole_copy/xcompare");
  fs::create_symlink("/opt/other", mgrs + "whole_copy/xcompare");
  EXPECT_TRUE(
      Holds(Ran({"uninstall"}, 0).out, "whole_copy xcompare: changed since install; left alone"));
  fs::remove(mgrs + "whole_copy/xcompare");
  fs::create_symlink("../../../bin/cleardiffmrg", mgrs + "whole_copy/xcompare");
  EXPECT_EQ(Snapshot(cc), original);
  EXPECT_TRUE(fs::is_empty(dir_ + "state"));
  // ClearCase removed before the package: nothing of ours left there, and the removal says so.
  Ran({"install", "--bridge", bridge}, 0);
  fs::remove_all(cc);
  EXPECT_TRUE(Holds(Ran({"uninstall", "--remembered", "--bridge", bridge}, 0).out,
                    cc + "lib/mgrs: no longer there, so nothing of mergebridge's is left in it"));
  EXPECT_TRUE(fs::is_empty(dir_ + "state"));

  // For all users: the file in the first folder of XDG_CONFIG_DIRS, made with folders every user
  // can read; a merge takes the user's own while there is one.
  const std::string machine = dir_ + "etc/xdg/mergebridge/registry.reg";
  SetProcessEnv("XDG_CONFIG_DIRS=" + dir_ + "etc/xdg:" + dir_ + "xdg");
  const mode_t mask = umask(077);
  EXPECT_EQ(Run({"register", "--all-users", BuildFile("MB_TOOL")}).status, 0);
  umask(mask);
  EXPECT_EQ(fs::status(dir_ + "etc/xdg/mergebridge").permissions(), fs::perms(0755));
  EXPECT_EQ(fs::status(machine).permissions(), fs::perms(0644));
  EXPECT_TRUE(
      Holds(Run({"status"}).out, "A merge of this user takes the registration for this user."));
  EXPECT_EQ(Run({"unregister"}).status, 0);
  EXPECT_TRUE(Holds(Run({"status"}).out, "takes the registration for all users of this computer."));

  // Unregistering takes ExePath alone, and is no failure when there is none.
  const std::string header =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\"
      "Harnvik\\Velmora]\n";
  const std::string others = "\"Other\"=\"1\"\n[HKLM\\Other]\n\"ExePath\"=\"o\"\n";
  EXPECT_EQ(ReadFile(machine), header + "\"ExePath\"=\"" + BuildFile("MB_TOOL") + "\"\n");
  WriteFile(machine, ReadFile(machine) + others);
  for (int i = 0; i < 2; ++i) {
    run = Ran({"unregister", "--all-users"}, 0);
    EXPECT_EQ(run.out.rfind(i == 0 ? "Unregistered" : "Nothing to remove", 0), 0u) << run.out;
    EXPECT_EQ(ReadFile(machine), header + others);
  }
  EXPECT_TRUE(
      Holds(Run({"status"}).out, "\n  Velmora is not registered (run mergebridge-setup register"));
  // A broken line that keeps the user's value from a merge is named, as the merge names it.
  WriteFile(dir_ + "config/mergebridge/registry.reg",
            "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n\"ExePath\"=\"/op\n");
  EXPECT_TRUE(Holds(Run({"status"}).out, "\n  Velmora is not registered; " + dir_ +
                                             "config/mergebridge/registry.reg:3: quoted"));

  // Refused for want of rights, it says so and changes nothing.
  chmod(machine.c_str(), 0444);
  EXPECT_TRUE(Holds(Ran({"register", "--all-users", "--force", "/opt/velmora"}, 1).err,
                    "Permission denied (error 13); registering Velmora for all users of this "
                    "computer needs root. Nothing was changed."));
  EXPECT_EQ(ReadFile(machine), header + others);
}

// Runs `work` in a child process under a user number no account has, which owns `tree`; the child
// stops when done, holding what it opened, and is to be killed.
pid_t AsOtherAccount(const std::string& tree, const std::function<void()>& work) {
  uid_t id = 64000;
  while (getpwuid(id) != nullptr) ++id;
  const pid_t child = fork();
  if (child == 0) {
    for (const auto& entry : fs::recursive_directory_iterator(tree))
      lchown(entry.path().c_str(), id, id);
    if (setgroups(0, nullptr) || setgid(id) || setuid(id)) _exit(1);
    work();
    raise(SIGSTOP);
    _exit(0);
  }
  waitpid(child, nullptr, WUNTRACED);
  return child;
}

// Root's commands on a ClearCase tree and a configuration folder another account owns and turns
// against root as it can, holding a lock on everything it can open: each succeeds or refuses, and
// a file of root's outside keeps its bytes, mode and owner, a folder of root's stays empty.
TEST_F(SetupOnLinks, SecondAccountCannotTurnRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string bridge = BuildFile("MB_BRIDGE"), outside = dir_ + "outside";
  const std::string mgr = "cc/lib/mgrs/whole_copy/", rec = mgr + ".mergebridge-setup";
  const std::string record = "mergebridge-setup record 1\nbridge\tb\nxmerge\tfile\t";
  const std::string refused = ": whole_copy: the record of an earlier install cannot be read: ";
  WriteFile(outside, "root's own\n");
  chmod(outside.c_str(), 0640);
  fs::create_directories(dir_ + "kept");
  fs::create_directories(dir_ + "xdg/mergebridge");
  fs::create_directories(dir_ + "installed/config/mergebridge");
  fs::create_directories(dir_ + "installed/" + mgr);
  fs::create_symlink("../../../bin/cleardiffmrg", dir_ + "installed/" + mgr + "xcompare");
  WriteFile(dir_ + "installed/" + mgr + "xmerge", "#!/bin/sh\n");
  SetProcessEnv("XDG_CONFIG_HOME=" + dir_ + "installed/config");
  Ran({"install", "--clearcase", dir_ + "installed/cc", "--bridge", bridge}, 0);
  const struct {
    std::string name, link, bytes;  // what the other account puts there
    Args command;
    long status;
    std::string says = "";
  } rows[] = {
      {rec, "", record + "../../../../../outside", {"uninstall"}, 1, rec + refused + "line 3"},
      {"config/mergebridge", dir_ + "kept", "", {"register"}, 1, "symbolic links"},
      {"", "", "", {"uninstall"}, 0},
      {"", "", "", {"register", "--all-users"}, 0},
  };
  int copies = 0;
  for (const auto& row : rows) {
    const std::string root = dir_ + std::to_string(copies++) + "/";
    SCOPED_TRACE(root);
    fs::copy(dir_ + "installed/", root,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    const pid_t account = AsOtherAccount(root, [&] {
      std::error_code none;
      if (!row.link.empty()) fs::remove_all(root + row.name, none);
      if (!row.link.empty()) fs::create_symlink(row.link, root + row.name, none);
      if (!row.bytes.empty()) WriteFile(root + row.name, row.bytes);
      for (const auto& entry : fs::recursive_directory_iterator(root, none))
        flock(open(entry.path().c_str(), O_RDONLY | O_CLOEXEC), LOCK_EX | LOCK_NB);
      flock(open((dir_ + "xdg/mergebridge").c_str(), O_RDONLY | O_CLOEXEC), LOCK_EX | LOCK_NB);
    });
    SetProcessEnv("XDG_CONFIG_HOME=" + root + "config");
    Args args = row.command;
    if (args[0] == "register") args.insert(args.end(), {"--force", "/opt/w"});
    if (args[0] != "register") args.insert(args.end(), {"--clearcase", root + "cc"});
    const ProgramRun run = Run(args);
    kill(account, SIGKILL);
    waitpid(account, nullptr, 0);
    EXPECT_EQ(run.status, row.status) << run.out << run.err;
    EXPECT_TRUE(Holds(run.out + run.err, row.says));
    struct stat info;
    EXPECT_EQ(stat(outside.c_str(), &info) + info.st_uid + (info.st_mode & 07777), 0640u);
    EXPECT_EQ(ReadFile(outside), "root's own\n");
    EXPECT_TRUE(fs::is_empty(dir_ + "kept"));
  }
  // The shipped programs read the computer's policy file alone, whatever the environment names.
  Ran({"register", "--policy", dir_ + "chosen", "--force"}, 0);
  EXPECT_TRUE(Holds(Run({"status"}).out, dir_ + "chosen"));
  EXPECT_EQ(RunProgram(BuildFile("MB_SHIPPED_SETUP"), {"status"}, dir_).out.find(dir_ + "chosen"),
            std::string::npos);
}

// What a fleet's tools read and do: status and --json's "changed", the policy, compare-and-set,
// and an install that ClearCase's repair undid, seen and repaired.
TEST_F(SetupOnLinks, FleetStatusPolicyAndDrift) {
  const std::string cc = dir_ + "cc", mgrs = cc + "/lib/mgrs/", tool = BuildFile("MB_TOOL");
  const std::string clearcase = "../../../bin/cleardiffmrg", policy = dir_ + "policy.reg";
  fs::create_directories(cc + "/bin");
  WriteFile(cc + "/bin/cleartool", "#!/bin/sh\n");
  fs::permissions(cc + "/bin/cleartool", fs::perms::owner_all);
  for (const char* method : {"text_file_delta/xcompare", "text_file_delta/xmerge",
                             "whole_copy/xcompare", "binary_delta/xmerge"}) {
    fs::create_directories(fs::path(mgrs + method).parent_path());
    fs::create_symlink(clearcase, mgrs + method);
  }
  SetProcessEnv("PATH=" + cc + "/bin:" + std::getenv("PATH"));
  SetProcessEnv("XDG_CONFIG_HOME=" + dir_ + "config");
  const Args install = {"install", "--bridge", BuildFile("MB_BRIDGE"), "--json"};
  auto said = [&](const Args& args, long status, const std::string& part) {
    const ProgramRun run = Ran(args, status);
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    EXPECT_TRUE(!json || std::count(run.out.begin(), run.out.end(), '\n') == 1) << run.out;
    EXPECT_TRUE(!json || args[0] != "status" || run.err.empty()) << run.err;
    EXPECT_TRUE(Holds(run.out, part));
    return run;
  };
  const struct {
    Args args;
    long status;
    std::string part;      // in the one line of stdout
    std::string err = "";  // in stderr
  } steps[] = {
      {{"status", "--json"},
       1,
       R"("path":null,"source":null,"policy":null,"exists":false},"clearcase":{"home":")" + cc +
           R"(","managers":[{"name":"binary_delta","installed":false},{"name":"text_file_delta")"
           R"(,"installed":false},{"name":"whole_copy","installed":false}],"reverted":false,)"
           R"("revertedMethods":[]}})"},
      {{"status", "--json", "--clearcase", dir_},
       1,
       R"({"format":1,"ok":false,"errors":[{"code":"clearcase-not-found","message":"ClearCase's )"},
      {{"install", "--json", "--clearcase", dir_}, 1, R"([{"code":"clearcase-not-found",)"},
      {{"install", "--force", "--json"},
       2,
       R"({"format":1,"ok":false,"changed":false,"messages":["mergebridge-setup: option '--force')"
       R"( does not go with install."],"errors":[{"code":"command-line","message":"mergebridge-)",
       "mergebridge-setup: option '--force' does not go with install.\nusage: "},
      {{"install", "--dry-run", "--json"}, 0, R"({"format":1,"ok":true,"changed":true,)"},
      {install, 0, R"({"format":1,"ok":true,"changed":true,"messages":[")"},
      {install, 0, R"("ok":true,"changed":false,)"},
      {{"install", "--dry-run", "--json"}, 0, R"("ok":true,"changed":false,)"},
      {{"register", tool, "--json"}, 0, R"("ok":true,"changed":true,)"},
      {{"register", tool, "--json"}, 0, R"("ok":true,"changed":false,)"},
      {{"status", "--json"}, 0, R"("ok":true,"errors":[],"ready":true,"reason":"","version":")"},
      {{"status", "--all-users", "--json"}, 1, R"("reason":"Velmora is not registered (run )"},
      // The policy wins, whatever the XDG folders say; a register under it warns.
      {{"register", "--policy", dir_ + "v\"\x01", "--force"}, 0, "by this computer's policy: "},
      {{"status", "--all-users", "--json"},
       1,
       R"("velmora":{"path":")" + dir_ + R"(v\"\u0001","source":"policy","policy":"machine",)"},
      {{"register", "--all-users", tool},
       0,
       "Registered Velmora for all users",
       "mergebridge-setup: warning: the policy ExePath under "
       "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Harnvik\\"
       "Velmora in " +
           policy + " (" + dir_ + "v\"\x01) wins over this registration.\n"},
      // Compare-and-set and compare-and-delete: only over exactly what was read.
      {{"unregister", "--policy", "--if-value", dir_ + "v\"", "--json"},
       0,
       R"("changed":false,"messages":["Left ExePath under HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies)"
       R"(\\Harnvik\\Velmora in )" +
           policy + R"( as it is: it holds )" + dir_ + R"(v\"\u0001, whi)"},
      {{"unregister", "--policy", "--if-value", dir_ + "v\"\x01", "--json"},
       0,
       R"("changed":true,)"},
      {{"register", "--policy", tool, "--if-value", ""},
       0,
       "as it is: it holds nothing (no value)"},
      {{"register", dir_ + "w", "--force", "--if-value", tool}, 0, "for this user: " + dir_ + "w"},
      {{"register", tool, "--if-value", tool}, 0, "as it is: it holds " + dir_ + "w, which some"},
      // An installer's record: what it wrote, exactly, and what was there before, kept over its
      // upgrade and given back; another installer refused meanwhile.
      {{"register", "--all-users", dir_ + "v\\1\"", "--force", "--record", "msi"}, 0, "users"},
      {{"register", "--all-users", tool, "--record", "nsis"},
       1,
       "",
       "(" + dir_ + "v\\1\") was registered by mergebridge's msi installation; remove"},
      {{"register", "--all-users", dir_ + "v2", "--force", "--record", "msi"}, 0, "users"},
      {{"unregister", "--all-users", "--if-recorded", "msi", "--json"},
       0,
       R"(: )" + tool + R"("])"},
      {{"unregister", "--all-users", "--if-recorded", "msi"}, 0, "the msi installation wrote none"},
      {{"register", "--all-users", dir_ + "v3", "--force", "--record", "nsis"}, 0, "users"},
      {{"register", "--all-users", tool}, 0, "users"},
      {{"unregister", "--all-users", "--if-recorded", "nsis"}, 0, "holds " + tool + ", which some"},
      {{"register", tool, "--record", "msi"}, 2, "", "--record goes with --all-users"},
      {{"status", "--all-users", "--json"},
       0,
       R"("velmora":{"path":")" + tool + R"(","source":"machine","policy":null,"exists":true})"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + step.args[1]);
    EXPECT_TRUE(Holds(said(step.args, step.status, step.part).err, step.err));
  }
  EXPECT_FALSE(Holds(ReadFile(policy), "ExePath"));
  // A method status cannot look at: whether it was put back is unknown, never true.
  const ProgramRun blind = RunProgram(
      "strace",
      {"-f", "-qq", "-o", "/dev/null", "-P", mgrs + "text_file_delta/xmerge", "-e",
       "inject=%file:error=EACCES", BuildFile("MB_SETUP"), "status", "--all-users", "--json"},
      dir_);
  EXPECT_TRUE(Holds(blind.out, R"("reverted":null,"revertedMethods":[])")) << blind.err;
  EXPECT_TRUE(Holds(blind.out, R"({"code":"drift-unknown","message":"whether ClearCase put its )"));
  // ClearCase's repair puts its own links back, of some methods or all: seen, and repaired by
  // install.
  for (const char* method : {"text_file_delta/xcompare", "whole_copy/xcompare"}) {
    fs::remove(mgrs + method);
    fs::create_symlink(clearcase, mgrs + method);
  }
  said({"status", "--all-users", "--json"}, 1,
       R"("installed":false}],"reverted":true,"revertedMethods":["text_file_delta xcompare",)"
       R"("whole_copy xcompare"]})");
  fs::remove(mgrs + "text_file_delta/xmerge");
  fs::create_symlink(clearcase, mgrs + "text_file_delta/xmerge");
  said({"status"}, 1,
       "\n  ClearCase's own methods are back in " + cc +
           " (text_file_delta xcompare, text_file_delta xmerge, whole_copy xcompare) where "
           "mergebridge was installed; run mergebridge-setup install again\n");
  said(install, 0, R"("ok":true,"changed":true,)");
  said({"status", "--json"}, 1, R"("reason":"Velmora's program )" + dir_ + "w does not exist");
  EXPECT_EQ(Run({"uninstall"}).status, 0);
  said({"status", "--json"}, 1, R"(,"reverted":false,"revertedMethods":[]}})");
  // The value compared serves from the second folder of XDG_CONFIG_DIRS, which nothing changes.
  RegisterTool({Registration::NoStore, Registration::Path}, tool, dir_);
  EXPECT_TRUE(Holds(Ran({"unregister", "--all-users", "--if-value", tool}, 1).err,
                    dir_ + "xdg/mergebridge/registry.reg holds " + tool + ", but this"));
}

// What must hold after a run however it ended, in the tree the table makes: each method runs what
// it ran or mergebridge, the site's script is in place or kept, and the registry file holds its old
// bytes or its new ones.
void CheckInvariants(const std::string& root, const std::string& bridge,
                     const std::string& registry, const std::string& registered) {
  const std::string mgr = root + "cc/lib/mgrs/text_file_delta/",
                    compare = fs::read_symlink(mgr + "xcompare");
  EXPECT_TRUE(compare == "../../../bin/cleardiffmrg" || compare == bridge) << compare;
  const bool merge = fs::is_symlink(mgr + "xmerge");
  EXPECT_TRUE(!merge || fs::read_symlink(mgr + "xmerge") == bridge);
  EXPECT_EQ(ReadFile(mgr + (merge ? "xmerge.before-mergebridge" : "xmerge")),
            "#!/bin/sh\nexit 3\n");
  const std::string bytes = ReadFile(root + "config/mergebridge/registry.reg");
  EXPECT_TRUE(bytes == registry || bytes == registered) << bytes;
}

TEST_F(SetupOnLinks, EveryCallFailedOrKilled) {
  const std::string bridge = BuildFile("MB_BRIDGE");
  const std::string registry =
      "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n\"ExePath\"=\"/opt/v\"\n";
  // Killed before each change of the files, and failed at every call that reads or changes them.
  const std::string changing = "fchmod,fsync,renameat,symlinkat,linkat,unlinkat,mkdirat";
  const std::string all = "openat,newfstatat,getdents64,read,readlink,flock,write," + changing;
  const struct {
    Args command;
    std::string calls, fault;
    Args then = {};  // the command run afterwards (default: the same), here taking back an install
  } rows[] = {
      {{"install"}, all, "error=EIO"},
      {{"install"}, changing, "signal=KILL"},
      {{"install"}, changing, "signal=KILL", {"uninstall"}},
      {{"uninstall"}, all, "error=EIO"},
      {{"uninstall"}, changing, "signal=KILL"},
      {{"register", "--force", "/opt/velmora"}, all, "error=EIO"},
      {{"register", "--force", "/opt/velmora"}, changing, "signal=KILL"},
      {{"unregister"}, all, "error=EIO"},
      {{"unregister"}, changing, "signal=KILL"},
  };
  const std::string mgr = dir_ + "made/cc/lib/mgrs/text_file_delta/";
  fs::create_directories(mgr);
  fs::create_directories(dir_ + "made/config/mergebridge");
  fs::create_symlink("../../../bin/cleardiffmrg", mgr + "xcompare");
  WriteFile(mgr + "xmerge", "#!/bin/sh\nexit 3\n");
  WriteFile(dir_ + "made/config/mergebridge/registry.reg", registry);
  auto fresh = [&, copies = 0](const std::string& from) mutable {  // a copy of a tree
    const std::string root = dir_ + std::to_string(copies++) + "/";
    fs::copy(dir_ + from, root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    SetProcessEnv("XDG_CONFIG_HOME=" + root + "config");
    return root;
  };
  // The command on a tree, under strace with `options` when given.
  auto setup = [&](const std::string& root, Args args, Args options = {}) {
    if (args[0].find("register") == std::string::npos)
      args.insert(args.end(), {"--clearcase", root + "cc"});
    if (args[0] == "install") args.insert(args.end(), {"--bridge", bridge});
    if (options.empty()) return Run(args);
    options.insert(options.end(), {"-E", "ASAN_OPTIONS=detect_leaks=0",
                                   BuildFile("MB_SETUP")});  // none under ptrace
    options.insert(options.end(), args.begin(), args.end());
    return RunProgram("strace", options, dir_);
  };
  fs::copy(dir_ + "made", dir_ + "installed",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  ASSERT_EQ(setup(dir_ + "installed/", {"install"}).status, 0);
  for (const auto& row : rows) {
    // The calls a clean run makes, counted, and the state it leaves.
    const std::string tree = row.command[0] == "uninstall" ? "installed/" : "made/";
    const std::string clean = fresh(tree), original = Snapshot(clean);
    ProgramRun run =
        setup(clean, row.command, {"-f", "-qq", "-o", dir_ + "trace", "-e", "trace=" + all});
    ASSERT_EQ(run.status, 0) << run.out << run.err;  // also when strace may not trace here
    const std::string done = Snapshot(clean);
    EXPECT_TRUE(row.command[0] != "uninstall" || done == Snapshot(dir_ + "made/")) << done;
    // Calls from the program's first look at the tree on: those before only start the process (the
    // loader, a sanitizer's run-time).
    std::istringstream trace(ReadFile(dir_ + "trace"));
    std::map<std::string, int> before, counts;
    bool started = false;
    for (std::string line; std::getline(trace, line);) {
      const size_t open = line.find('('), start = line.find_last_of(' ', open);
      const std::string call =
          line.substr(start == std::string::npos ? 0 : start + 1, open - start - 1);
      started = started || line.find(clean) != std::string::npos;
      ++(started ? counts : before)[call];
    }
    EXPECT_TRUE(counts.count("renameat") && counts.count("fsync"))
        << "the calls are named otherwise here";
    for (const auto& [call, count] : counts) {
      if (("," + row.calls + ",").find("," + call + ",") == std::string::npos) continue;
      for (int n = before[call] + 1; n <= before[call] + count; ++n) {
        const std::string inject =
            "inject=" + call + ":" + row.fault + ":when=" + std::to_string(n);
        SCOPED_TRACE(row.command[0] + " " + inject);
        const std::string root = fresh(tree);
        run = setup(root, row.command, {"-f", "-qq", "-o", "/dev/null", "-e", inject});
        CheckInvariants(root, bridge, registry,
                        ReadFile(clean + "config/mergebridge/registry.reg"));
        const std::string said = run.out + run.err;
        EXPECT_TRUE(run.status != 0 || Snapshot(root) == done) << said;
        EXPECT_TRUE(said.find("Nothing was changed.") == std::string::npos ||
                    Snapshot(root) == original)
            << said;
        // The rerun finishes the job and leaves nothing of the interrupted run.
        run = setup(root, row.then.empty() ? row.command : row.then);
        EXPECT_EQ(run.status, 0) << said << run.out << run.err;
        EXPECT_EQ(Snapshot(root), row.then.empty() ? done : original) << said;
      }
    }
  }
}

}  // namespace

}  // namespace mergebridge
