// POSIX files, links and paths for the setup program.
#include "host/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace mergebridge {

namespace {

// A folder opened once, so that every change in it lands there whatever is
// done to its path meanwhile, and the name in it that a change is about.
class Place {
 public:
  // `path`'s folder and last name; a name that is not one plain name (empty,
  // "." or "..") is refused with EINVAL.
  explicit Place(const std::string& path) : Place(path, nullptr) {}
  // `path` beside the name of `other`: in the very folder `other` opened when
  // the two paths name the same folder, so that a move or a second name
  // between them stays in it whatever is done to the path meanwhile.
  Place(const std::string& path, const Place* other)
      : folder_(FolderOf(path)), name_(path.substr(path.find_last_of('/') + 1)) {
    if (!IsPlainName(name_)) {
      error_ = EINVAL;
      return;
    }
    const bool same = other != nullptr && other->ok() && other->folder_ == folder_;
    fd_ = same ? fcntl(other->fd_, F_DUPFD_CLOEXEC, 0) : OpenFolder(folder_);
    if (fd_ < 0) error_ = errno;
  }
  ~Place() {
    if (fd_ >= 0) close(fd_);
  }
  Place(const Place&) = delete;
  Place& operator=(const Place&) = delete;

  bool ok() const { return fd_ >= 0; }
  Status status() const { return ErrorStatus(error_); }
  int fd() const { return fd_; }
  const char* name() const { return name_.c_str(); }

  // The name's new state on disk; some file systems cannot flush a folder
  // (EINVAL), where nothing more can be done.
  Status Flush() const { return ErrorStatus(fsync(fd_) == 0 || errno == EINVAL ? 0 : errno); }

 private:
  // The folder itself, never a link put in its place, but for a link that
  // this account or root made (a configuration folder kept elsewhere).
  static int OpenFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR)) return fd;
    int error = errno;
    // The link looked at is the one read: its text cannot change, only the
    // link be replaced, which leaves this one as it was.
    const int link = open(folder.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    char text[PATH_MAX + 1];
    ssize_t length = -1;
    if (link >= 0 && fstat(link, &info) == 0 && S_ISLNK(info.st_mode)) {
      error = ELOOP;
      if (info.st_uid == 0 || info.st_uid == geteuid())
        length = readlinkat(link, "", text, PATH_MAX);
    }
    if (link >= 0) close(link);
    if (length <= 0) {
      errno = error;
      return -1;
    }
    const std::string target(text, static_cast<size_t>(length));
    const std::string followed = target[0] == '/' ? target : FolderOf(folder) + "/" + target;
    return open(followed.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }

  std::string folder_, name_;
  int fd_ = -1;
  long error_ = 0;
};

// A name beside `name` that nobody can guess before it is made, and from
// whose number a later run can tell whether its owner still runs.
std::string ScratchName(const std::string& name) {
  unsigned long long random = 0;
  if (getrandom(&random, sizeof random, 0) != sizeof random) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    random = static_cast<unsigned long long>(now.tv_nsec) ^ reinterpret_cast<uintptr_t>(&now);
  }
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, ".%016llx", random);
  return name + kScratchMark + std::to_string(getpid()) + suffix;
}

// Gives the scratch file `scratch` the place's name and puts that on disk,
// or removes it.
Status RenameInto(const Place& place, const std::string& scratch, Status status) {
  if (status.ok() && renameat(place.fd(), scratch.c_str(), place.fd(), place.name()) != 0)
    status = ErrorStatus(errno);
  if (status.ok()) return place.Flush();
  unlinkat(place.fd(), scratch.c_str(), 0);
  return status;
}

Status WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return ErrorStatus(errno);
    }
    done += static_cast<size_t>(wrote);
  }
  return {};
}

}  // namespace

PathState GetPathKind(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    return {errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Unreadable, {}};
  }
  if (S_ISLNK(info.st_mode)) {
    std::string buffer(static_cast<size_t>(info.st_size) + 256, '\0');
    const ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
    if (length < 0) return {PathKind::Unreadable, {}};
    return {PathKind::Link, buffer.substr(0, static_cast<size_t>(length))};
  }
  if (S_ISREG(info.st_mode)) return {PathKind::File, {}};
  if (S_ISDIR(info.st_mode)) return {PathKind::Folder, {}};
  return {PathKind::Other, {}};
}

Result<std::string> ReadWholeFile(const std::string& path) {
  // O_NONBLOCK: a FIFO put in a file's place reads as empty instead of
  // waiting for a writer that never comes.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {{}, ErrorStatus(errno)};
  std::string bytes;
  long error = 0;
  // Left uninitialised: zeroing 64 KiB would cost more than a small file's
  // whole read, and the bridge reads one at every start.
  const auto chunk = std::make_unique_for_overwrite<char[]>(kReadChunkBytes);
  for (;;) {
    const ssize_t got = read(fd, chunk.get(), kReadChunkBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    if (bytes.size() + static_cast<size_t>(got) > kMaxFileBytes) {
      error = EFBIG;
      break;
    }
    bytes.append(chunk.get(), static_cast<size_t>(got));
  }
  close(fd);
  return {std::move(bytes), ErrorStatus(error)};
}

Status ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  if (Status swept = SweepScratchFiles(FolderOf(path)); !swept.ok()) return swept;
  const Place place(path);
  if (!place.ok()) return place.status();
  mode_t mode = 0644;
  struct stat info;
  if (fstatat(place.fd(), place.name(), &info, 0) == 0) {
    // rename() would replace a read-only file as long as the folder is
    // writable; a file made read-only is meant to stay as it is.
    if ((info.st_mode & 0222) == 0) return ErrorStatus(EACCES);
    mode = info.st_mode & 07777;
  }
  // O_EXCL and O_NOFOLLOW: never a file or link someone put there first.
  const std::string scratch = ScratchName(place.name());
  const int fd = openat(place.fd(), scratch.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return ErrorStatus(errno);
  Status status = WriteAll(fd, bytes);
  if (status.ok() && fchmod(fd, mode) != 0) status = ErrorStatus(errno);
  if (status.ok() && fsync(fd) != 0) status = ErrorStatus(errno);
  if (close(fd) != 0 && status.ok()) status = ErrorStatus(errno);
  return RenameInto(place, scratch, status);
}

Status FlushFolderOf(const std::string& path) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrorStatus(errno);
  // Some file systems cannot flush a folder (EINVAL): nothing more can be done there.
  const long error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  close(fd);
  return ErrorStatus(error);
}

Status RemoveFileIfPresent(const std::string& path) {
  const Place place(path);
  if (!place.ok()) return ErrorStatus(place.status().error == ENOENT ? 0 : place.status().error);
  if (unlinkat(place.fd(), place.name(), 0) == 0) return place.Flush();
  return ErrorStatus(errno == ENOENT ? 0 : errno);
}

Status MovePath(const std::string& from, const std::string& to) {
  const Place source(from), place(to, &source);
  if (!source.ok()) return source.status();
  if (!place.ok()) return place.status();
  if (renameat(source.fd(), source.name(), place.fd(), place.name()) != 0)
    return ErrorStatus(errno);
  return place.Flush();
}

Status ReplaceWithLink(const std::string& path, const std::string& target) {
  const Place place(path);
  if (!place.ok()) return place.status();
  const std::string scratch = ScratchName(place.name());
  if (symlinkat(target.c_str(), place.fd(), scratch.c_str()) != 0) return ErrorStatus(errno);
  return RenameInto(place, scratch, {});
}

Status KeepCopy(const std::string& path, const std::string& copyPath) {
  // A second name for the same file: the original never stops existing while
  // the method is switched over.
  const Place source(path), place(copyPath, &source);
  if (!source.ok()) return source.status();
  if (!place.ok()) return place.status();
  if (linkat(source.fd(), source.name(), place.fd(), place.name(), 0) != 0)
    return ErrorStatus(errno);
  return place.Flush();
}

Result<bool> MakeFolder(const std::string& path, bool own) {
  const mode_t mode = own ? 0700 : 0755;
  const Place place(path);
  if (!place.ok()) return {false, place.status()};
  if (mkdirat(place.fd(), place.name(), mode) != 0)
    return {false, ErrorStatus(errno == EEXIST ? 0 : errno)};
  // The umask took away from mkdirat's mode: it is set on the folder opened,
  // which must be the one made here, not something put in its place since.
  const int fd = openat(place.fd(), place.name(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {true, ErrorStatus(errno)};
  struct stat info;
  long error = fstat(fd, &info) != 0 ? errno : info.st_uid != geteuid() ? EEXIST : 0;
  if (error == 0 && fchmod(fd, mode) != 0) error = errno;
  close(fd);
  return {true, error != 0 ? ErrorStatus(error) : place.Flush()};
}

Result<std::vector<std::string>> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return {{}, ErrorStatus(errno)};
  // readdir's end and its failure look alike but for errno.
  long error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  return {std::move(names), ErrorStatus(error)};
}

bool ScratchOwnerRuns(unsigned long id, const std::string& path) {
  // Our own number is a leftover of an earlier process that had it: this
  // process has no scratch file open while it sweeps.
  const pid_t process = static_cast<pid_t>(id);
  if (process == getpid() || (kill(process, 0) != 0 && errno != EPERM)) return false;
  // The process's start, in clock ticks since boot, is the 22nd field of its
  // stat line; the name before it is in parentheses and may hold anything.
  // Whatever cannot be read leaves the file to its possible owner.
  struct stat file;
  if (lstat(path.c_str(), &file) != 0) return true;
  const Result<std::string> stat = ReadWholeFile("/proc/" + std::to_string(id) + "/stat");
  if (!stat.ok()) return true;
  const std::string& line = stat.value;
  const size_t name = line.rfind(')');
  unsigned long long ticks = 0;
  if (name == std::string::npos ||
      std::sscanf(line.c_str() + name + 1,
                  " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u "
                  "%*d %*d %*d %*d %*d %*d %llu",
                  &ticks) != 1) {
    return true;
  }
  timespec sinceBoot, now;
  clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
  clock_gettime(CLOCK_REALTIME, &now);
  const double started = static_cast<double>(now.tv_sec) - static_cast<double>(sinceBoot.tv_sec) +
                         static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  // A second's leeway for the clocks' rounding: an owner writes its file
  // after it starts.
  return started <= static_cast<double>(file.st_mtime) + 1.0;
}

std::string SetupStateFolder() {
  const char* folder = std::getenv("MERGEBRIDGE_STATE_DIR");
  return folder != nullptr && *folder != '\0' ? folder : "/var/lib/mergebridge";
}

std::string OwnProgramPath() {
  char buffer[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

Status MakeStateFolder(const std::string& folder) {
  return MakeFolder(folder).status;
}

Status CheckStateEntry(const std::string&) {
  return {};
}

std::string SearchProgramPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = AbsolutePath(folder + "/" + name);
    if (IsStartableProgram(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char buffer[PATH_MAX + 1];
  if (getcwd(buffer, sizeof buffer) == nullptr) return path;
  return std::string(buffer) + "/" + path;
}

bool IsStartableProgram(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool IsAccessDenied(const Status& status) {
  return status.error == EACCES || status.error == EPERM || status.error == EROFS;
}

std::string RightsHint() {
  return "run it as root or as the owner of ClearCase's installation";
}

char PathSeparator() {
  return '/';
}
bool ManagersUseMap() {
  return false;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool IsSamePathText(const std::string& a, const std::string& b) {
  return a == b;
}

}  // namespace mergebridge
