// POSIX launcher: posix_spawnp and a wait that wakes the moment the child ends.
// Only process calls live here; the command line is built and split in the core.
#include "host/launcher.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "common/text.h"
#include "common/tool_command.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/registry.h"

extern char** environ;

namespace mergebridge {

namespace {

constexpr int kPollMillis = 500;

// execve says EACCES for a directory, which reads as a permission problem; for
// a path (not a name searched on PATH) say what is really there.
int ExplainStartError(int errorNumber, const std::string& program) {
  struct stat info;
  if (errorNumber == EACCES && program.find('/') != std::string::npos &&
      stat(program.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return EISDIR;
  }
  return errorNumber;
}

// A descriptor that turns readable when `pid` ends, or -1 where the kernel
// (before 5.3) or a sandbox does not offer one.
int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Waits until `pid` ends: its wait status, or the errno of the failed wait. The wait keeps the
// tool's 500 ms polling period, but each poll is woken by the child's end, so no time is lost after
// it; without a process descriptor (or if polling fails) the blocking waitpid does the wait.
Result<int> WaitForChild(pid_t pid) {
  const int descriptor = OpenProcessDescriptor(pid);
  if (descriptor >= 0) {
    pollfd ready = {descriptor, POLLIN, 0};
    int polled;
    do {
      polled = poll(&ready, 1, kPollMillis);
    } while (polled == 0 || (polled < 0 && errno == EINTR));
    close(descriptor);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return {0, ErrorStatus(errno)};
  }
  return {status, {}};
}

}  // namespace

ToolRun LaunchCompareTool(std::string argumentString, bool statusOnly) {
  ToolRun run;
  Result<std::string> found = FindVelmora();
  run.lookup = found.status;
  const std::string exePath = std::move(found.value);
  if (exePath.empty()) return run;
  // Unlike on Windows the path keeps its letter case: file names here are
  // case-sensitive.
  const std::string commandLine = BuildToolCommandLine(exePath, argumentString, statusOnly);
  if (traceEnabled) {
    ShowMessage(Format("Running command = '%s'", commandLine.c_str()), kStyleOk);
  }

  std::vector<std::string> args = SplitToolCommandLine(commandLine);
  if (args.empty()) {
    run.start = CommandError(ENOENT);
    return run;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // A parent that ignores SIGCHLD (the setting survives exec) would have the
  // child reaped behind our back, and its exit code lost to ECHILD. The tool
  // inherits the default back as well.
  struct sigaction childAction;
  if (sigaction(SIGCHLD, nullptr, &childAction) == 0 && childAction.sa_handler == SIG_IGN) {
    signal(SIGCHLD, SIG_DFL);
  }

  pid_t pid;
  const int spawnError = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawnError != 0) {
    run.start = CommandError(ExplainStartError(spawnError, args[0]));
    return run;
  }

  const Result<int> waited = WaitForChild(pid);
  // An unknown exit code must not pass for success.
  if (!waited.ok()) {
    run.start = CommandError(waited.status.error);
    return run;
  }
  const int status = waited.value;
  run.ran = true;
  run.exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  return run;
}

Result<long> RunProgramAndWait(const std::vector<std::string>& argv) {
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid;
  const int spawnError = posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ);
  if (spawnError != 0) return {0, ErrorStatus(ExplainStartError(spawnError, args[0]))};
  const Result<int> waited = WaitForChild(pid);
  if (!waited.ok()) return {0, waited.status};
  const int status = waited.value;
  return {WIFSIGNALED(status) ? WTERMSIG(status) + 128 : WEXITSTATUS(status), {}};
}

}  // namespace mergebridge
