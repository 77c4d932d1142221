// Linux side of the end-to-end harness: posix_spawn with pipes, and the
// registry file under a private XDG_CONFIG_HOME.
#include "e2e_host.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

bool IsDroppedVariable(const char* entry) {
  static const char* const kDropped[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=",
                                         "STANDIN_"};
  for (const char* prefix : kDropped) {
    if (std::strncmp(entry, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

std::vector<std::string> SplitWords(const char* text) {
  std::vector<std::string> words;
  std::istringstream in(text == nullptr ? "" : text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

long MillisecondsSince(const timespec& start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

// Valgrind's own notes ("--1234-- WARNING: unhandled syscall ...") are not the
// program's output; its error reports ("==1234==") are, and make it fail.
std::string WithoutWrapperNotes(const std::string& text) {
  std::string kept;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(start, end - start);
    const size_t digits = line.find_first_not_of("0123456789", 2);
    const bool note = line.compare(0, 2, "--") == 0 && digits != std::string::npos &&
                      digits > 2 && line.compare(digits, 3, "-- ") == 0;
    if (!note) kept += line;
    start = end;
  }
  return kept;
}

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutSeconds) {
  std::vector<std::string> command = SplitWords(std::getenv("MERGEBRIDGE_TEST_WRAPPER"));
  const bool wrapped = !command.empty();
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!IsDroppedVariable(*entry)) entries.push_back(*entry);
  }
  entries.insert(entries.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);

  ProgramRun run;
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
    run.err = "pipe failed";
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  // Its own process group, so that a run that overstays can be ended together
  // with the tool it started.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid;
  const int spawnError =
      posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawnError != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    run.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawnError);
    return run;
  }

  // Both pipes are drained together so that neither fills up; they reach their
  // end when the program and the tool it started have closed them.
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  bool overdue = false;
  while (open > 0) {
    const long left = timeoutSeconds * 1000L - MillisecondsSince(start);
    if (left <= 0) {
      overdue = true;
      break;
    }
    const int ready = poll(fds, 2, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  if (overdue) kill(-pid, SIGKILL);
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (wrapped) run.err = WithoutWrapperNotes(run.err);
  run.finished = !overdue;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string NativePath(const std::string& cmakePath) { return cmakePath; }

std::string MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/mergebridge-e2e-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern + "/";
}

std::vector<std::string> RegisterTool(Registration registration, const std::string& exePath,
                                      const std::string& scratch) {
  const std::string config = scratch + "config";
  mkdir(config.c_str(), 0700);
  if (registration != Registration::NoStore) {
    mkdir((config + "/mergebridge").c_str(), 0700);
    std::ofstream reg(config + "/mergebridge/registry.reg", std::ios::binary);
    reg << "REGEDIT4\n\n";
    switch (registration) {
      case Registration::NoKey:
        reg << "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Other]\n\"ExePath\"=\""
            << Escaped(exePath) << "\"\n";
        break;
      case Registration::NoValue:
        reg << "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n\"InstallDir\"=\"/opt\"\n";
        break;
      case Registration::EmptyValue:
        reg << "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n\"ExePath\"=\"\"\n";
        break;
      default:
        reg << "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n\"ExePath\"=\""
            << Escaped(exePath) << "\"\n";
        break;
    }
  }
  return {"XDG_CONFIG_HOME=" + config};
}

std::vector<std::string> RecordedToolArguments(const std::string& recordPath) {
  std::ifstream in(recordPath, std::ios::binary);
  std::vector<std::string> args;
  std::string line;
  while (std::getline(in, line)) args.push_back(line);
  if (!args.empty()) args.erase(args.begin());
  return args;
}

void ForgetTool() {}
