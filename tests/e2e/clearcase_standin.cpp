// Starts a program the way ClearCase starts its compare and merge tool on
// Windows, waits for it, and prints the full 32-bit exit code it ended with,
// which a shell under Wine would only see the low byte of.
//
//   clearcase_standin <program> [argument...]
//
// Prints "exit code <signed decimal> (0x<hex>)" and ends with that code; ends
// with 125 after "cannot start ..." when the program could not be started.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Quotes one argument so that the C runtime's argument parser gives it back
// unchanged: backslashes count only in front of a double quote.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: clearcase_standin <program> [argument...]\n");
    return 125;
  }
  std::string commandLine = QuoteArgument(argv[1]);
  for (int i = 2; i < argc; ++i) commandLine += " " + QuoteArgument(argv[i]);

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("cannot start %s: error %lu\n", commandLine.c_str(), GetLastError());
    return 125;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.hProcess, &exitCode)) {
    std::printf("cannot read the exit code: error %lu\n", GetLastError());
    return 125;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit code %ld (0x%08lX)\n", static_cast<long>(exitCode), exitCode);
  std::fflush(stdout);
  return static_cast<int>(exitCode);
}
