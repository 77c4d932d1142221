/* Runs one or more commands many times, alternating between them so that all
 * see the same machine load, and prints per command the medians of:
 *   the wall time from spawn to the end of the wait;
 *   with a stamp file: the time from the stamp the compare tool wrote just
 *   before exiting to the end of our wait (how long the command outlives it);
 *   the peak resident size (wait4's ru_maxrss, which covers the command and the
 *   children it waited for);
 *   the processor time, user and system (wait4's ru_utime and ru_stime, over
 *   the same processes).
 *
 * usage: harness RUNS STAMPFILE|- A-ARGV... [--vs B-ARGV...]...
 * output, one line per command:
 *   <median wall us> <median latency us|-> <max latency us|-> <median maxrss KiB> <max maxrss KiB>
 *   <median processor us>
 */
#define _GNU_SOURCE
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static long long Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static int Compare(const void* a, const void* b) {
  long long x = *(const long long*)a, y = *(const long long*)b;
  return (x > y) - (x < y);
}

static long long Median(long long* values, int count) {
  qsort(values, (size_t)count, sizeof *values, Compare);
  return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static long long ReadStamp(const char* path) {
  FILE* file = fopen(path, "r");
  long long stamp = -1;
  if (file == NULL) return -1;
  if (fscanf(file, "%lld", &stamp) != 1) stamp = -1;
  fclose(file);
  return stamp;
}

typedef struct {
  char** argv;
  long long *wall, *latency, *rss, *processor;
  int latencies;
} Command;

static void RunOnce(Command* command, int run, const char* stampPath) {
  if (stampPath != NULL) unlink(stampPath);
  long long start = Now();
  pid_t pid;
  int error = posix_spawn(&pid, command->argv[0], NULL, NULL, command->argv, environ);
  if (error != 0) {
    fprintf(stderr, "harness: cannot start %s: %s\n", command->argv[0], strerror(error));
    exit(2);
  }
  int status;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) {
    perror("harness: wait4");
    exit(2);
  }
  long long end = Now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "harness: %s ended with status %d\n", command->argv[0], status);
    exit(2);
  }
  command->wall[run] = end - start;
  command->rss[run] = usage.ru_maxrss;
  command->processor[run] = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                            usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
  if (stampPath != NULL) {
    long long stamp = ReadStamp(stampPath);
    if (stamp < 0) {
      fprintf(stderr, "harness: no stamp in %s\n", stampPath);
      exit(2);
    }
    command->latency[command->latencies++] = end - stamp;
  }
}

static void Report(Command* command, int runs) {
  printf("%.1f ", Median(command->wall, runs) / 1000.0);
  if (command->latencies > 0) {
    long long median = Median(command->latency, command->latencies);
    printf("%.1f %.1f ", median / 1000.0, command->latency[command->latencies - 1] / 1000.0);
  } else {
    printf("- - ");
  }
  long long medianRss = Median(command->rss, runs);
  printf("%lld %lld ", medianRss, command->rss[runs - 1]);
  printf("%lld\n", Median(command->processor, runs));
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: harness RUNS STAMPFILE|- A-ARGV... [--vs B-ARGV...]...\n");
    return 2;
  }
  int runs = atoi(argv[1]);
  const char* stampPath = strcmp(argv[2], "-") == 0 ? NULL : argv[2];
  enum { kMaxCommands = 8 };
  Command commands[kMaxCommands];
  int count = 1;
  commands[0].argv = argv + 3;
  for (int i = 3; i < argc && count < kMaxCommands; ++i) {
    if (strcmp(argv[i], "--vs") == 0) {
      argv[i] = NULL;
      commands[count++].argv = argv + i + 1;
    }
  }
  for (int c = 0; c < count; ++c) {
    commands[c].wall = calloc((size_t)runs, sizeof(long long));
    commands[c].latency = calloc((size_t)runs, sizeof(long long));
    commands[c].rss = calloc((size_t)runs, sizeof(long long));
    commands[c].processor = calloc((size_t)runs, sizeof(long long));
    commands[c].latencies = 0;
  }
  /* One unmeasured round warms the page cache and the dynamic loader. */
  for (int c = 0; c < count; ++c) {
    RunOnce(&commands[c], 0, stampPath);
    commands[c].latencies = 0;
  }
  for (int run = 0; run < runs; ++run) {
    for (int c = 0; c < count; ++c) RunOnce(&commands[c], run, stampPath);
  }
  for (int c = 0; c < count; ++c) Report(&commands[c], runs);
  return 0;
}
