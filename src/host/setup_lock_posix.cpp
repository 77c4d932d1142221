// POSIX: flock on the managers' folder itself, opened read-only, so that no
// lock file is ever made and a killed run's lock goes with its process.
#include "host/setup_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace mergebridge {

namespace {

// flock has no time limit, and only a signal cuts a blocking flock short; a
// timer's signal would reach the whole process, whose other users (and the
// mask it hands its children) are not ours to change. So a helper thread makes
// the blocking call and the run waits for it on a condition variable with the
// deadline: woken the moment the other run ends, never polling. When the time
// is up the helper stays blocked; it uses only the descriptor, which is then
// never closed, and ends with the process.
struct LockWait {
  int fd = -1;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  long error = 0;
};

void* BlockOnLock(void* handedOver) {
  const std::unique_ptr<std::shared_ptr<LockWait>> owner(
      static_cast<std::shared_ptr<LockWait>*>(handedOver));
  LockWait& wait = **owner;
  long error;
  do {
    error = flock(wait.fd, LOCK_EX) == 0 ? 0 : errno;
  } while (error == EINTR);
  const std::lock_guard<std::mutex> hold(wait.mutex);
  wait.done = true;
  wait.error = error;
  wait.finished.notify_one();
  return nullptr;
}

// Held once the lock is ours, Busy when `waitMillis` went by first, or the
// error number.
Result<LockState> WaitForLock(int fd, long waitMillis) {
  auto wait = std::make_shared<LockWait>();
  wait->fd = fd;
  auto* handedOver = new std::shared_ptr<LockWait>(wait);
  pthread_t helper;
  if (const int error = pthread_create(&helper, nullptr, BlockOnLock, handedOver)) {
    delete handedOver;
    return {LockState::Held, ErrorStatus(error)};
  }
  pthread_detach(helper);
  std::unique_lock<std::mutex> hold(wait->mutex);
  const bool done = wait->finished.wait_for(hold, std::chrono::milliseconds(waitMillis),
                                            [&] { return wait->done; });
  if (!done) return {LockState::Busy, {}};
  return {LockState::Held, ErrorStatus(wait->error)};
}

}  // namespace

Result<LockState> LockManagers(const std::string& managers, long waitMillis) {
  // Never closed: the lock lasts as long as the descriptor, that is the run.
  const int fd = open(managers.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {LockState::Held, ErrorStatus(errno)};
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {LockState::Held, {}};
  const long error = errno;
  if (error == EBADF || error == ENOLCK || error == EOPNOTSUPP) {
    // An NFS client emulates flock with a byte-range lock, which needs a file
    // open for writing, and some servers lock nothing at all: there is no
    // lock to be had, which must not keep ClearCase from being set up.
    close(fd);
    return {LockState::Unavailable, {}};
  }
  if (error != EWOULDBLOCK) {
    close(fd);
    return {LockState::Held, ErrorStatus(error)};
  }
  const Result<LockState> waited = WaitForLock(fd, waitMillis);
  // A helper still waiting holds the descriptor.
  if (!waited.ok()) close(fd);
  return waited;
}

}  // namespace mergebridge
