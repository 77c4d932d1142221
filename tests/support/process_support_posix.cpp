// Linux side of the process-level test support: posix_spawn with the output in
// files, and the registry file under a private XDG_CONFIG_HOME.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "process_support.h"

extern char** environ;

bool UnderWrapper() {
  const char* wrapper = std::getenv("MERGEBRIDGE_TEST_WRAPPER");
  return wrapper != nullptr && *wrapper != '\0';
}

ProgramRun RunProgram(const std::string& program, const Args& args, int timeoutSeconds) {
  Args command;
  std::istringstream wrapper(UnderWrapper() ? std::getenv("MERGEBRIDGE_TEST_WRAPPER") : "");
  for (std::string word; wrapper >> word;) command.push_back(word);
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);

  // Files rather than pipes: nothing has to be drained while the program runs.
  ProgramRun run;
  const std::string scratch = MakeScratchFolder();
  const std::string outPath = scratch + "stdout", errPath = scratch + "stderr";
  const int kWrite = O_WRONLY | O_CREAT;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), kWrite, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), kWrite, 0600);
  // Its own process group, so that a run that overstays ends with the tool it started.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  pid_t pid;
  const int spawnError = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawnError == 0) {
    // The process descriptor turns readable when the program ends; without
    // one (a kernel before 5.3) only CTest's own time limit is left.
    const int descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended = {descriptor, POLLIN, 0};
    int polled = 1;
    while (descriptor >= 0 && (polled = poll(&ended, 1, timeoutSeconds * 1000)) < 0 &&
           errno == EINTR) {
    }
    run.finished = polled > 0;
    if (!run.finished) kill(-pid, SIGKILL);
    if (descriptor >= 0) close(descriptor);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  run.out = ReadFile(outPath);
  run.err = spawnError != 0 ? std::strerror(spawnError) : ReadFile(errPath);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return run;
}

std::string BuildFile(const char* variable) {
  const char* path = std::getenv(variable);
  return path != nullptr ? path : "";
}

void RegisterTool(Registration registration, const std::string& exePath,
                  const std::string& scratch) {
  const std::string key = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n";
  std::string body = key + "\"ExePath\"=\"" + exePath + "\"\n";
  if (registration == Registration::NoKey) body = "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n";
  if (registration == Registration::NoValue) body = key + "\"InstallDir\"=\"/opt\"\n";
  if (registration == Registration::EmptyValue) body = key + "\"ExePath\"=\"\"\n";
  const std::string folder = scratch + "config/mergebridge/";
  std::filesystem::create_directories(folder);
  if (registration != Registration::NoStore) {
    WriteFile(folder + "registry.reg", "REGEDIT4\n\n" + body);
  }
  SetProcessEnv("XDG_CONFIG_HOME=" + scratch + "config");
}

void ForgetTool() {}

void SetProcessEnv(const std::string& entry) {
  const size_t equals = entry.find('=');
  const std::string name = entry.substr(0, equals), value = entry.substr(equals + 1);
  if (value.empty()) unsetenv(name.c_str());
  else setenv(name.c_str(), value.c_str(), 1);
}

Args RecordedToolArguments(const std::string& recordPath) {
  std::istringstream in(ReadFile(recordPath));
  Args args;
  for (std::string line; std::getline(in, line);) args.push_back(line);
  return args;
}
