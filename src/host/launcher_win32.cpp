// Win32 launcher: CreateProcessW with a minimised console, and a polling wait.
// Only Win32 process calls live here; the command line is built in the core
// (UTF-8) and handed over in UTF-16, so every name reaches the tool intact.
#include "host/launcher.h"

#include <windows.h>

#include <utility>

#include "common/text.h"
#include "common/tool_command.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/registry.h"
#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

constexpr DWORD kPollMillis = 500;
constexpr size_t kMaxCommandLineChars = 32767;

// The start-up settings and the wait, defined after the launch itself.
STARTUPINFOW MinimisedStartup(wchar_t* title);
ToolRun WaitForExitCode(const PROCESS_INFORMATION& process);

}  // namespace

ToolRun LaunchCompareTool(std::string argumentString, bool statusOnly) {
  ToolRun run;
  Result<std::string> found = FindVelmora();
  run.lookup = found.status;
  std::string exePath = std::move(found.value);
  if (exePath.empty()) return run;
  // Windows names ignore letter case, so the same file starts either way; the
  // tool has always been handed its path in lower case, and still is.
  LowerCaseAscii(exePath);
  const std::string commandLine = BuildToolCommandLine(exePath, argumentString, statusOnly);
  if (traceEnabled) {
    ShowMessage(Format("Running command = '%s'", commandLine.c_str()), kStyleOk);
  }

  wchar_t title[] = L"Velmora";
  STARTUPINFOW startup = MinimisedStartup(title);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  // CreateProcessW may write into the command line it is given. Windows takes
  // at most 32,767 characters, terminator included; Wine's wide call takes
  // more, so the limit is kept here and both say the same.
  std::wstring writable = ToUtf16(commandLine);
  if (writable.size() >= kMaxCommandLineChars) {
    run.start = CommandError(ERROR_FILENAME_EXCED_RANGE);
    return run;
  }
  if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    run.start = CommandError(static_cast<long>(GetLastError()));
    return run;
  }
  return WaitForExitCode(process);
}

namespace {

// The tool starts minimised; if it is a console program its window gets an
// 80 x 500 buffer with black text on white. `title` must outlive the start.
STARTUPINFOW MinimisedStartup(wchar_t* title) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USECOUNTCHARS | STARTF_USEFILLATTRIBUTE;
  startup.wShowWindow = SW_MINIMIZE;
  startup.lpTitle = title;
  startup.dwXCountChars = 80;
  startup.dwYCountChars = 500;
  startup.dwFillAttribute =
      BACKGROUND_BLUE | BACKGROUND_GREEN | BACKGROUND_RED | BACKGROUND_INTENSITY;
  return startup;
}

// Waits for the started tool to end, closes its handles and gives its exit
// code.
ToolRun WaitForExitCode(const PROCESS_INFORMATION& process) {
  ToolRun run;
  // The wait is woken by the child's end; the 500 ms period only bounds each
  // call. Any other result than a timeout ends the wait and the exit code is
  // read all the same.
  while (WaitForSingleObject(process.hProcess, kPollMillis) == WAIT_TIMEOUT) {
  }
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.hProcess, &exitCode)) {
    // Kept as the full 32 bits: a code like 0xC0000005 arrives as a negative
    // long and passes through the exit-status limit unchanged.
    run.ran = true;
    run.exitCode = static_cast<long>(exitCode);
  } else {
    // An unknown exit code must not pass for success.
    run.start = CommandError(static_cast<long>(GetLastError()));
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

}  // namespace

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted
// when it holds a blank or a quote or is empty, a quote escaped, and the
// backslashes before a quote or the closing quote doubled.
std::string QuotedArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

}  // namespace

Result<long> RunProgramAndWait(const std::vector<std::string>& argv) {
  std::string commandLine;
  for (const std::string& arg : argv)
    commandLine += (commandLine.empty() ? "" : " ") + QuotedArgument(arg);
  std::wstring writable = ToUtf16(commandLine);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(ToUtf16(argv[0]).c_str(), &writable[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return {0, ErrorStatus(static_cast<long>(GetLastError()))};
  }
  const HANDLE thread = process.hThread;  // not waited on
  CloseHandle(thread);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process.hProcess, &code);
  const long error = ended ? 0 : static_cast<long>(GetLastError());
  CloseHandle(process.hProcess);
  return {static_cast<long>(static_cast<int32_t>(code)), ErrorStatus(error)};
}

}  // namespace mergebridge
