/* The Windows harness (run under Wine): starts one or more command lines many
 * times with CreateProcess, as ClearCase starts its tools, alternating between
 * them so that all see the same load, and prints per command the median wall
 * time from the start to the end of the wait, in microseconds. (Processor time
 * comes from the Linux harness: Wine's GetProcessTimes for another process
 * counts in 10 ms steps.)
 *
 * usage: harness_win32 RUNS "COMMAND LINE A" ["COMMAND LINE B"]...
 * output, one line per command: <median wall us>
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Compare(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double Median(double* values, int count) {
  qsort(values, (size_t)count, sizeof *values, Compare);
  return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static double RunOnce(const char* command) {
  static char writable[32768];
  snprintf(writable, sizeof writable, "%s", command);
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(NULL, writable, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    fprintf(stderr, "harness_win32: cannot start %s: error %lu\n", command, GetLastError());
    exit(2);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (exitCode != 0) {
    fprintf(stderr, "harness_win32: %s ended with %lu\n", command, exitCode);
    exit(2);
  }
  return (end.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: harness_win32 RUNS \"COMMAND LINE\"...\n");
    return 2;
  }
  const int runs = atoi(argv[1]), count = argc - 2;
  double* wall = calloc((size_t)(runs * count), sizeof *wall);
  /* One unmeasured round warms the caches. */
  for (int c = 0; c < count; ++c) RunOnce(argv[2 + c]);
  for (int run = 0; run < runs; ++run) {
    for (int c = 0; c < count; ++c) wall[c * runs + run] = RunOnce(argv[2 + c]);
  }
  for (int c = 0; c < count; ++c) printf("%.1f\n", Median(wall + c * runs, runs));
  return 0;
}
