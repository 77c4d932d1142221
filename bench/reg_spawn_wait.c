/* The Windows baseline for the bridge's own cost: reads the tool's path from
 * HKEY_CURRENT_USER\SOFTWARE\Harnvik\Velmora, value ExePath, starts it with the
 * rest of this program's command line, waits for it and exits with its status,
 * and does nothing else. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(void) {
  HKEY key;
  char path[1024];
  DWORD size = sizeof path - 1;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Harnvik\\Velmora", 0, KEY_READ, &key) != 0) {
    return 1;
  }
  LONG read = RegQueryValueExA(key, "ExePath", NULL, NULL, (BYTE*)path, &size);
  RegCloseKey(key);
  if (read != 0) return 1;
  path[size] = '\0';

  /* Our own arguments follow the program name on our command line. */
  const char* rest = GetCommandLineA();
  int quoted = 0;
  for (; *rest != '\0' && (quoted || (*rest != ' ' && *rest != '\t')); ++rest) {
    if (*rest == '"') quoted = !quoted;
  }
  static char commandLine[32768];
  snprintf(commandLine, sizeof commandLine, "%s%s", path, rest);

  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  return (int)exitCode;
}
