// POSIX: flock on the managers' folder itself, opened read-only, so that no
// lock file is ever made and a killed run's lock goes with its process.
#include "host/setup_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace {

void Wake(int) {}

long Millis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

}  // namespace

long LockManagers(const std::string& managers, long waitMillis) {
  // Never closed: the lock lasts as long as the descriptor, that is the run.
  const int fd = open(managers.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  long error = errno;
  if (error == EBADF || error == ENOLCK || error == EOPNOTSUPP) {
    // An NFS client emulates flock with a byte-range lock, which needs a file
    // open for writing, and some servers lock nothing at all: there is no
    // lock to be had, which must not keep ClearCase from being set up.
    close(fd);
    return kLockUnavailable;
  }
  if (error == EWOULDBLOCK) {
    // The blocking flock returns the moment the other run ends; a timer's
    // signal, caught without SA_RESTART, interrupts it so that the deadline
    // is checked. It repeats, in case it fires before flock starts waiting.
    struct sigaction wake = {}, old;
    wake.sa_handler = Wake;
    sigemptyset(&wake.sa_mask);
    sigaction(SIGALRM, &wake, &old);
    // A blocked SIGALRM, inherited from whoever started the run, would
    // leave the wait without its deadline.
    sigset_t alarm, oldMask;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarm, &oldMask);
    itimerval timer = {{0, 100000}, {0, 100000}};
    setitimer(ITIMER_REAL, &timer, nullptr);
    const long deadline = Millis() + waitMillis;
    do {
      error = flock(fd, LOCK_EX) == 0 ? 0 : errno;
    } while (error == EINTR && Millis() < deadline);
    timer = {};
    setitimer(ITIMER_REAL, &timer, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    if (error == EINTR) error = kLockBusy;
  }
  if (error != 0) close(fd);
  return error;
}
