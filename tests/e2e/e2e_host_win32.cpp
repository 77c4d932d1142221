// Windows side of the end-to-end harness: CreateProcessA with the output in
// files, and the real HKEY_CURRENT_USER of the test prefix.
#include "e2e_host.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "bridge/tool_command.h"

namespace {

const char kToolKey[] = "Software\\Harnvik\\Velmora";

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

bool IsDroppedVariable(const char* entry) {
  static const char* const kDropped[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=",
                                         "STANDIN_"};
  for (const char* prefix : kDropped) {
    if (_strnicmp(entry, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

std::string EnvironmentBlock(const std::vector<std::string>& extra) {
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    // Entries starting with '=' are the per-drive current folders.
    if (!IsDroppedVariable(entry)) block.append(entry, std::strlen(entry) + 1);
  }
  FreeEnvironmentStringsA(strings);
  for (const std::string& entry : extra) block.append(entry.c_str(), entry.size() + 1);
  block += '\0';
  return block;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string TempFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, path);
  return std::string(path, length);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutSeconds) {
  ProgramRun run;
  std::string commandLine = QuoteArgument(program);
  for (const std::string& arg : args) commandLine += " " + QuoteArgument(arg);
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  std::string environment = EnvironmentBlock(env);

  // Files rather than pipes: nothing has to be drained while the program runs.
  const std::string scratch = MakeScratchFolder();
  const std::string outPath = scratch + "stdout.txt", errPath = scratch + "stderr.txt";
  HANDLE input = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE output = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0,
                                      &environment[0], nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  CloseHandle(input);
  CloseHandle(output);
  CloseHandle(error);
  if (!started) {
    run.err = "cannot start " + commandLine + ": error " + std::to_string(startError);
    return run;
  }
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) ==
      WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    run.finished = true;
    run.status = static_cast<long>(exitCode);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.out = ReadAll(outPath);
  run.err = ReadAll(errPath);
  DeleteFileA(outPath.c_str());
  DeleteFileA(errPath.c_str());
  RemoveDirectoryA(scratch.c_str());
  return run;
}

// Wine maps the Unix root to drive Z:.
std::string NativePath(const std::string& cmakePath) {
  if (cmakePath.empty() || cmakePath[0] != '/') return cmakePath;
  std::string path = "Z:" + cmakePath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string MakeScratchFolder() {
  static unsigned counter = 0;
  const std::string base = TempFolder();
  for (;;) {
    const std::string folder = base + "mergebridge-e2e-" + std::to_string(GetCurrentProcessId()) +
                               "-" + std::to_string(++counter);
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
}

std::vector<std::string> RegisterTool(Registration registration, const std::string& exePath,
                                      const std::string&) {
  RegDeleteKeyA(HKEY_CURRENT_USER, kToolKey);
  if (registration == Registration::NoStore || registration == Registration::NoKey) return {};
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kToolKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return {};
  }
  const std::string name = registration == Registration::NoValue ? "InstallDir" : "ExePath";
  const std::string value = registration == Registration::EmptyValue ? std::string() : exePath;
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return {};
}

// The stand-in records its raw command line; it is read back by the same rules
// the tool reads it.
std::vector<std::string> RecordedToolArguments(const std::string& recordPath) {
  std::vector<std::string> args = SplitToolCommandLine(ReadAll(recordPath));
  if (!args.empty()) args.erase(args.begin());
  return args;
}

void ForgetTool() { RegDeleteKeyA(HKEY_CURRENT_USER, kToolKey); }
