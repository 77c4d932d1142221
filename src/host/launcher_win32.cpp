// Win32 launcher: CreateProcessA with a minimised console, and a polling wait.
// Only Win32 process calls live here; the command line is built in the core.
#include "host/launcher.h"

#include <windows.h>

#include <vector>

#include "common/text.h"
#include "common/tool_command.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/registry.h"

namespace {

constexpr DWORD kPollMillis = 500;

}  // namespace

long LaunchCompareTool(std::string argumentString, bool statusOnly) {
  std::string exePath;
  // A failed lookup has already been shown to the user; an empty path is all
  // that matters here.
  RegGetString("SOFTWARE\\Harnvik\\Velmora", "ExePath", exePath);
  if (exePath.empty()) return 1;
  LowerCaseAscii(exePath);
  const std::string commandLine = BuildToolCommandLine(exePath, argumentString, statusOnly);
  if (traceEnabled) {
    ShowMessage(Format("Running command = '%s'", commandLine.c_str()), kStyleOk);
  }

  // The tool starts minimised; if it is a console program its window gets an
  // 80 x 500 buffer with black text on white.
  char title[] = "Velmora";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USECOUNTCHARS | STARTF_USEFILLATTRIBUTE;
  startup.wShowWindow = SW_MINIMIZE;
  startup.lpTitle = title;
  startup.dwXCountChars = 80;
  startup.dwYCountChars = 500;
  startup.dwFillAttribute =
      BACKGROUND_BLUE | BACKGROUND_GREEN | BACKGROUND_RED | BACKGROUND_INTENSITY;

  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);

  // CreateProcessA may write into the command line it is given.
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return ReportCommandError(static_cast<long>(GetLastError()));
  }

  // The wait is woken by the child's end; the 500 ms period only bounds each
  // call. Any other result than a timeout ends the wait and the exit code is
  // read all the same.
  while (WaitForSingleObject(process.hProcess, kPollMillis) == WAIT_TIMEOUT) {
  }
  DWORD exitCode = 0;
  long result;
  if (GetExitCodeProcess(process.hProcess, &exitCode)) {
    // Kept as the full 32 bits: a code like 0xC0000005 arrives as a negative
    // long and passes through the exit-status limit unchanged.
    result = static_cast<long>(exitCode);
  } else {
    // An unknown exit code must not pass for success.
    result = ReportCommandError(static_cast<long>(GetLastError()));
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}
