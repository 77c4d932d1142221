// Linux side of the process-level test support: posix_spawn with the output in files, and the
// registry file under a private XDG_CONFIG_HOME.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>

#include "host/files.h"
#include "process_support.h"

extern char** environ;

namespace mergebridge {

// What runs the program under test (timeout, then the wrapper), found on the PATH the tests start
// with: a row's PATH is for that program alone.
const Args kPrefix = [] {
  Args prefix = {SearchProgramPath("timeout"), "-k", "10", "120"};
  const char* wrapper = std::getenv("MERGEBRIDGE_TEST_WRAPPER");
  std::istringstream words(wrapper != nullptr ? wrapper : "");
  for (std::string word; words >> word;)
    prefix.push_back(prefix.size() == 4 ? SearchProgramPath(word) : word);
  return prefix;
}();

ProgramRun RunProgram(const std::string& program, const Args& args, const std::string& folder) {
  // Killed after two minutes, so that a hanging program fails its case (and the scratch folder
  // still goes) rather than the whole test.
  Args command = kPrefix;
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  // Files rather than pipes: nothing has to be drained while the program runs.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (folder + "stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (folder + "stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid;
  int status = 0;
  const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  while (spawnError == 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                 ReadFile(folder + "stdout"), ReadFile(folder + "stderr")};
  if (spawnError != 0) run = {-1, "", std::strerror(spawnError)};
  return run;
}

std::string BuildFile(const char* variable) {
  const char* path = std::getenv(variable);
  return path != nullptr ? path : "";
}

// The line that Registration (NoValue to OtherPath) puts under the tool's key.
std::string ValueLine(Registration registration, const std::string& exePath,
                      const std::string& scratch) {
  if (registration == Registration::NoValue) return "\"InstallDir\"=\"/opt\"";
  return "\"ExePath\"=\"" +
         (registration == Registration::EmptyValue  ? ""
          : registration == Registration::OtherPath ? scratch + "other"
                                                    : exePath) +
         "\"";
}

void RegisterTool(Registrations registrations, const std::string& exePath,
                  const std::string& scratch) {
  const std::string folder = scratch + ".config/mergebridge", file = folder + "/registry.reg";
  const std::string user = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n" +
                           ValueLine(registrations.user, exePath, scratch) + "\n";
  std::filesystem::create_directories(folder);
  switch (registrations.user) {
    case Registration::NoStore:
      break;
    case Registration::NoKey:
      WriteFile(file, "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n");
      break;
    case Registration::Fifo:
      mkfifo(file.c_str(), 0600);
      break;
    case Registration::Device:
      std::filesystem::create_symlink("/dev/zero", file);
      break;
    case Registration::FileForFolder:
      std::filesystem::remove(folder);
      WriteFile(folder, user);
      break;
    default:
      WriteFile(file, user);
  }
  SetProcessEnv("XDG_CONFIG_HOME=" + scratch + ".config");
  // The machine's key and the policy in an export's spelling, under the short root name.
  const struct {
    Registration registration;
    std::string file, key;
  } machines[] = {{registrations.machine, scratch + "xdg/mergebridge/registry.reg", "Harnvik"},
                  {registrations.policy, scratch + "policy.reg", "Policies\\Harnvik"}};
  for (const auto& [machine, file, key] : machines) {
    std::filesystem::remove(file);
    if (machine == Registration::NoStore) continue;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    if (machine == Registration::Device) std::filesystem::create_symlink("/dev/zero", file);
    if (machine == Registration::Device) continue;
    WriteFile(file, "Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\SOFTWARE\\" + key +
                        "\\Velmora]\r\n" + ValueLine(machine, exePath, scratch) + "\r\n");
  }
  SetProcessEnv("XDG_CONFIG_DIRS=" + scratch + "etc-xdg:" + scratch + "xdg");
  SetProcessEnv("MERGEBRIDGE_POLICY_FILE=" + scratch + "policy.reg");
}

void SetProcessEnv(const std::string& entry) {
  const size_t equals = entry.find('=');
  if (equals == std::string::npos)
    unsetenv(entry.c_str());
  else
    setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
}

}  // namespace mergebridge
