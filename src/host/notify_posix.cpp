// POSIX notifications: a desktop dialog when one can be shown, else stderr.
#include "host/notify.h"

#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/files.h"

extern char** environ;

namespace mergebridge {

namespace {

bool HasGraphicalSession() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
}

std::string ProgramName() {
  const char* name = program_invocation_short_name;
  return (name != nullptr && *name != '\0') ? std::string(name) : std::string("mergebridge");
}

// Builds the argument vector for the first dialog program found on PATH.
std::vector<std::string> DialogCommand(const std::string& text, unsigned style) {
  const bool error = style == kStyleError;
  const std::string title = ProgramName();
  std::string program = SearchProgramPath("zenity");
  if (!program.empty()) {
    return {program, error ? "--error" : "--warning", "--no-markup", "--title=" + title,
            "--text=" + text};
  }
  program = SearchProgramPath("kdialog");
  if (!program.empty()) {
    return {program, "--title", title, error ? "--error" : "--sorry", text};
  }
  program = SearchProgramPath("xmessage");
  if (!program.empty()) {
    return {program, "-title", title, "-center", "-buttons", "OK:0", text};
  }
  return {};
}

// Runs the dialog and waits until it is dismissed. False if it could not start.
bool RunDialog(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // Whatever the dialog program prints goes to stderr: in status-only mode
  // ClearCase reads our stdout.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  pid_t pid;
  const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  // A dialog that could not open its window exits non-zero, and so does one the
  // user closed without pressing OK; the caller then also writes the text to
  // stderr, so a message is never lost.
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One write per line, its line feed included, straight to the descriptor:
// nothing is buffered, so the line is out when this returns, and the program
// carries no stream library (whose start-up every run would pay for).
void WriteLine(int descriptor, const std::string& text) {
  const std::string line = text + '\n';
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t written = write(descriptor, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

}  // namespace

void ShowMessage(const std::string& text, unsigned style) {
  if (HasGraphicalSession()) {
    const std::vector<std::string> command = DialogCommand(text, style);
    if (!command.empty() && RunDialog(command)) return;
  }
  WriteLine(STDERR_FILENO, text);
}

void WriteConsoleLine(ConsoleStream stream, const std::string& text) {
  WriteLine(stream == ConsoleStream::Err ? STDERR_FILENO : STDOUT_FILENO, text);
}

void WriteUtf8Line(ConsoleStream stream, const std::string& text) {
  WriteConsoleLine(stream, text);
}

std::string SystemErrorText(long errorNumber) {
  return std::strerror(static_cast<int>(errorNumber));
}

}  // namespace mergebridge
