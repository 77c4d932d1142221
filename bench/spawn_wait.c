/* The baseline for the bridge's own cost: starts argv[1] with the remaining
 * arguments through posix_spawn, waits for it and exits with its status, and
 * does nothing else. */
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: spawn_wait program [argument...]\n");
    return 2;
  }
  pid_t pid;
  int error = posix_spawn(&pid, argv[1], NULL, NULL, argv + 1, environ);
  if (error != 0) return 1;
  int status;
  if (waitpid(pid, &status, 0) < 0) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
