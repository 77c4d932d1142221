// mergebridge-setup on a made-up UNIX ClearCase tree: cleartool on PATH, type managers whose
// methods are links or files. Install, a merge through the installed link, register, status, and an
// uninstall that gives the tree back; registering for this user and for all users, and
// unregistering; then every system call of install, uninstall, register and unregister failed or
// killed in turn, each followed by a rerun that must finish the job.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

class SetupOnLinks : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    SetProcessEnv("MERGEBRIDGE_STATE_DIR=" + dir_ + "state");  // never the machine's
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
  ProgramRun run =
      Ran({"install", "--bridge", bridge, "--dry-run", "--managers", "binary_delta"}, 0);
  EXPECT_TRUE(Holds(run.out, "--- " + mgrs + "binary_delta\n"));
  EXPECT_TRUE(Holds(run.out, "+xcompare -> " + bridge));
  EXPECT_EQ(run.out.find("text_file_delta"), std::string::npos) << run.out;
  EXPECT_EQ(Run({"install", "--bridge", bridge, "--managers", "z_whole_copy"}).status, 1);
  EXPECT_EQ(Snapshot(cc), original);
  // While another run holds the lock: refused after a short wait.
  run = RunProgram("flock", {mgrs, BuildFile("MB_SETUP"), "install", "--bridge", bridge}, dir_);
  EXPECT_EQ(run.status, 1);
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
  SetProcessEnv("STANDIN_RECORD=" + dir_ + "record");
  run = RunProgram(mgrs + "text_file_delta/xmerge", {"-base", dir_ + "base", dir_ + "base"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir_ + "record").substr(ReadFile(dir_ + "record").rfind(dir_)),
            dir_ + "base\n");

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

  // Refused for want of rights, it says so and changes nothing.
  chmod(machine.c_str(), 0444);
  EXPECT_TRUE(Holds(Ran({"register", "--all-users", "--force", "/opt/velmora"}, 1).err,
                    "Permission denied (error 13); registering Velmora for all users of this "
                    "computer needs root. Nothing was changed."));
  EXPECT_EQ(ReadFile(machine), header + others);
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
       R"("path":null,"source":null,"exists":false},"clearcase":{"home":")" + cc +
           R"(","managers":[{"name":"binary_delta","installed":false},{"name":"text_file_delta")"
           R"(,"installed":false},{"name":"whole_copy","installed":false}],"reverted":false}})"},
      {{"install", "--force"},
       1,
       "",
       "mergebridge-setup: option '--force' does not go with install."},
      {{"install", "--bogus"}, 1, "", "mergebridge-setup: unknown option '--bogus'.\nusage: "},
      {install, 0, R"({"ok":true,"changed":true,"messages":[")"},
      {install, 0, R"({"ok":true,"changed":false,)"},
      {{"register", tool, "--json"}, 0, R"({"ok":true,"changed":true,)"},
      {{"register", tool, "--json"}, 0, R"({"ok":true,"changed":false,)"},
      {{"status", "--json"}, 0, R"({"ready":true,"reason":"","version":")"},
      {{"status", "--all-users", "--json"}, 1, R"("reason":"Velmora is not registered (run )"},
      // The policy wins, whatever the XDG folders say; a register under it warns.
      {{"register", "--policy", dir_ + "v\"\x01", "--force"}, 0, "by this computer's policy: "},
      {{"status", "--all-users", "--json"},
       1,
       R"("velmora":{"path":")" + dir_ + R"(v\"\u0001","source":"policy","exists":false})"},
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
      {{"status", "--all-users", "--json"}, 0, R"("source":"machine","exists":true})"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + step.args[1]);
    EXPECT_TRUE(Holds(said(step.args, step.status, step.part).err, step.err));
  }
  EXPECT_FALSE(Holds(ReadFile(policy), "ExePath"));
  // ClearCase's repair puts its own links back: seen, and repaired by install.
  for (const char* method : {"text_file_delta/xcompare", "whole_copy/xcompare"}) {
    fs::remove(mgrs + method);
    fs::create_symlink(clearcase, mgrs + method);
  }
  said({"status", "--all-users", "--json"}, 0,
       R"("installed":true},{"name":"whole_copy","installed":false}],"reverted":false})");
  fs::remove(mgrs + "text_file_delta/xmerge");
  fs::create_symlink(clearcase, mgrs + "text_file_delta/xmerge");
  said({"status"}, 1,
       "\n  ClearCase's own methods are back in " + cc +
           " (text_file_delta, whole_copy) where mergebridge was installed; run "
           "mergebridge-setup install again\n");
  said({"status", "--json"}, 1, R"(,"reverted":true}})");
  said(install, 0, R"({"ok":true,"changed":true,)");
  said({"status", "--json"}, 1, R"("reason":"Velmora's program )" + dir_ + "w does not exist");
  EXPECT_EQ(Run({"uninstall"}).status, 0);
  said({"status", "--json"}, 1, R"(,"reverted":false}})");
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
  const std::string changing = "fchmod,fsync,rename,symlink,link,unlink";
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
    EXPECT_TRUE(counts.count("rename") && counts.count("fsync"))
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
