// POSIX: flock on a lock file named after the folder (its device and inode,
// so that every path to it, links too, takes the same lock), in a folder that
// only this account can open: root's /run/mergebridge, an ordinary user's
// $XDG_RUNTIME_DIR/mergebridge. A lock on the folder itself could be held
// against root by any account that can open it. Where there is no such folder
// (a chroot without /run, a user without XDG_RUNTIME_DIR) the folder itself is
// locked. A killed run's lock goes with its process; the file goes with the
// run that held it last.
#include "host/setup_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// The folder of this account's lock files; empty for none.
std::string LockFolder() {
  if (geteuid() == 0) return "/run/mergebridge";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' ? std::string(runtime) + "/mergebridge" : "";
}

// True when `fd` is this account's own and opens for no one else.
bool IsPrivate(int fd, bool folder) {
  struct stat info;
  return fstat(fd, &info) == 0 && info.st_uid == geteuid() && (info.st_mode & 077) == 0 &&
         (folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode));
}

// -1 with EPERM, for something that is not ours alone.
int Refuse(int fd) {
  close(fd);
  errno = EPERM;
  return -1;
}

// The folder of lock files, made when missing; -1 with ENOENT when there is
// none, nor a folder to make it in.
int OpenLockFolder(const std::string& folder) {
  errno = ENOENT;
  if (folder.empty() || (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)) return -1;
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return fd < 0 || IsPrivate(fd, true) ? fd : Refuse(fd);
}

// A lock's descriptor (-1: failed with `error`) and, for a lock file, its
// folder and name there.
struct LockPlace {
  int fd = -1, folder = -1;
  long error = 0;
  std::string name;
};

// Opens what locks the folder `managers`.
LockPlace OpenLock(const std::string& managers) {
  LockPlace place;
  const int fd = open(managers.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    place.error = errno;
    if (fd >= 0) close(fd);
    return place;
  }
  place.folder = OpenLockFolder(LockFolder());
  place.error = place.folder < 0 ? errno : 0;
  if (place.error == ENOENT) {
    place.fd = fd;
    return place;
  }
  close(fd);
  if (place.folder >= 0) {
    place.name = std::to_string(info.st_dev) + "-" + std::to_string(info.st_ino) + ".lock";
    place.fd = openat(place.folder, place.name.c_str(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (place.fd >= 0 && !IsPrivate(place.fd, false)) place.fd = Refuse(place.fd);
  }
  if (place.fd < 0 && place.folder >= 0) place.error = errno;
  return place;
}

// True when the lock file locked is still the one under its name: the run
// that held it last removes it when it ends, after which a run that waited
// on it holds nothing.
bool StillNamed(const LockPlace& place) {
  struct stat locked, named;
  return place.name.empty() ||
         (fstat(place.fd, &locked) == 0 &&
          fstatat(place.folder, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
          locked.st_dev == named.st_dev && locked.st_ino == named.st_ino);
}

std::vector<LockPlace> held;  // the lock files this run holds

void RemoveHeldFiles() {
  for (const LockPlace& place : held) unlinkat(place.folder, place.name.c_str(), 0);
}

// Waits for the lock `place` at most `waitMillis`.
Result<LockState> TakeLock(const LockPlace& place, long waitMillis) {
  if (flock(place.fd, LOCK_EX | LOCK_NB) == 0) return {LockState::Held, {}};
  const long error = errno;
  if (error == EBADF || error == ENOLCK || error == EOPNOTSUPP) {
    // An NFS client emulates flock with a byte-range lock, which needs a file
    // open for writing, and some servers lock nothing at all: there is no
    // lock to be had, which must not keep ClearCase from being set up.
    return {LockState::Unavailable, {}};
  }
  if (error != EWOULDBLOCK) return {LockState::Held, ErrorStatus(error)};
  return WaitForLock(place.fd, waitMillis);
}

}  // namespace

Result<LockState> LockManagers(const std::string& managers, long waitMillis) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMillis);
  for (;;) {
    // Never closed once held: the lock lasts as long as the descriptor, that is the run.
    const LockPlace place = OpenLock(managers);
    if (place.fd < 0) return {LockState::Held, ErrorStatus(place.error)};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const Result<LockState> lock = TakeLock(place, std::max(0L, static_cast<long>(left.count())));
    // A helper still waiting holds the descriptor.
    if (lock.ok() && lock.value == LockState::Busy) return lock;
    const bool ours = lock.ok() && lock.value == LockState::Held;
    if (ours && StillNamed(place)) {
      if (!place.name.empty()) {
        if (held.empty()) std::atexit(RemoveHeldFiles);
        held.push_back(place);
      }
      return lock;
    }
    close(place.fd);
    if (place.folder >= 0) close(place.folder);
    if (!ours) return lock;
  }
}

}  // namespace mergebridge
