// Windows side of the process-level test support: a Unicode program's CreateProcessW with the
// output in files, and the real HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of the Wine prefix. Text
// is UTF-8 here as in the programs.
#include <windows.h>

#include "host/utf16_win32.h"
#include "process_support.h"

namespace mergebridge {

namespace {

const char kToolKey[] = "Software\\Harnvik\\Velmora";
const char kPolicyKey[] = "Software\\Policies\\Harnvik\\Velmora";

// Quotes one argument so that the C runtime's argument parser gives it back unchanged: backslashes
// count only in front of a double quote.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '"') quoted.append(backslashes + 1, '\\');
    backslashes = c == '\\' ? backslashes + 1 : 0;
    quoted += c;
  }
  return quoted.append(backslashes, '\\') + '"';
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
  return CreateFileW(ToUtf16(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const Args& args, const std::string& folder) {
  std::string commandLine = QuoteArgument(program);
  for (const std::string& arg : args) commandLine.append(" ").append(QuoteArgument(arg));
  return RunCommandLine(commandLine, folder);
}

ProgramRun RunCommandLine(const std::string& commandLine, const std::string& folder) {
  // Files rather than pipes: nothing has to be drained while the program runs.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = InheritableFile(folder + "stdout", GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = InheritableFile(folder + "stderr", GENERIC_WRITE, CREATE_ALWAYS);
  PROCESS_INFORMATION process = {};
  std::wstring wide = ToUtf16(commandLine);
  const BOOL started = CreateProcessW(nullptr, &wide[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  for (HANDLE file : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) CloseHandle(file);
  if (!started) return {-1, "", "cannot start: error " + std::to_string(startError)};
  // All 32 bits of the exit code, which a shell under Wine sees only the low byte of.
  DWORD exitCode = 0;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {static_cast<long>(exitCode), ReadFile(folder + "stdout"), ReadFile(folder + "stderr")};
}

// Wine shows the Unix root as drive Z:.
std::string BuildFile(const char* variable) {
  const char* given = std::getenv(variable);
  std::string path = given != nullptr ? given : "";
  if (path.empty() || path[0] != '/') return path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

void RegisterTool(Registrations registrations, const std::string& exePath,
                  const std::string& scratch) {
  // Each view of the machine's named; 32-bit Windows has one, and `machine` goes there last.
  const struct {
    HKEY root;
    REGSAM view;
    Registration registration;
    const char* key;
  } places[] = {{HKEY_CURRENT_USER, 0, registrations.user, kToolKey},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, registrations.machine32, kToolKey},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, registrations.machine, kToolKey},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, registrations.policy, kPolicyKey},
                {HKEY_CURRENT_USER, 0, registrations.userPolicy, kPolicyKey}};
  for (const auto& [root, view, registration, path] : places) {
    RegDeleteKeyExA(root, path, view, 0);
    if (registration == Registration::NoStore || registration == Registration::NoKey) continue;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char* name = registration == Registration::NoValue ? "InstallDir" : "ExePath";
    const std::string value = registration == Registration::EmptyValue  ? std::string()
                              : registration == Registration::OtherPath ? scratch + "other.exe"
                                                                        : exePath;
    const std::wstring wide = ToUtf16(value);
    RegSetValueExW(key, ToUtf16(name).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
}

void SetProcessEnv(const std::string& entry) {
  const size_t equals = entry.find('=');
  const std::string name = entry.substr(0, equals);
  const std::wstring value = ToUtf16(entry.substr(equals == std::string::npos ? 0 : equals + 1));
  SetEnvironmentVariableW(ToUtf16(name).c_str(),
                          equals == std::string::npos ? nullptr : value.c_str());
}

}  // namespace mergebridge
