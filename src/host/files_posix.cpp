// POSIX files, links and paths for the setup program.
#include "host/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace mergebridge {

namespace {

// A name beside `path` that no other run uses at the same time, and that a
// later run can tell from the number whether its owner still runs.
std::string TemporaryBeside(const std::string& path) {
  return path + kScratchMark + std::to_string(getpid());
}

Status RenameAndFlush(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? FlushFolderOf(to) : ErrorStatus(errno);
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
  mode_t mode = 0644;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    // rename() would replace a read-only file as long as the folder is
    // writable; a file made read-only is meant to stay as it is.
    if ((info.st_mode & 0222) == 0) return ErrorStatus(EACCES);
    mode = info.st_mode & 07777;
  }
  const std::string temporary = TemporaryBeside(path);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return ErrorStatus(errno);
  Status status = WriteAll(fd, bytes);
  if (status.ok() && fchmod(fd, mode) != 0) status = ErrorStatus(errno);
  if (status.ok() && fsync(fd) != 0) status = ErrorStatus(errno);
  if (close(fd) != 0 && status.ok()) status = ErrorStatus(errno);
  if (status.ok()) status = RenameAndFlush(temporary, path);
  if (!status.ok()) unlink(temporary.c_str());
  return status;
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
  if (unlink(path.c_str()) == 0) return FlushFolderOf(path);
  return ErrorStatus(errno == ENOENT ? 0 : errno);
}

Status MovePath(const std::string& from, const std::string& to) {
  return RenameAndFlush(from, to);
}

Status ReplaceWithLink(const std::string& path, const std::string& target) {
  const std::string temporary = TemporaryBeside(path);
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return ErrorStatus(errno);
  Status status = RenameAndFlush(temporary, path);
  if (!status.ok()) unlink(temporary.c_str());
  return status;
}

Status KeepCopy(const std::string& path, const std::string& copyPath) {
  // A second name for the same file: the original never stops existing while
  // the method is switched over.
  return link(path.c_str(), copyPath.c_str()) == 0 ? FlushFolderOf(copyPath) : ErrorStatus(errno);
}

Result<bool> MakeFolder(const std::string& path, bool own) {
  const mode_t mode = own ? 0700 : 0755;
  if (mkdir(path.c_str(), mode) != 0) return {false, ErrorStatus(errno == EEXIST ? 0 : errno)};
  // The umask took away from mkdir's mode.
  if (chmod(path.c_str(), mode) != 0) return {true, ErrorStatus(errno)};
  return {true, FlushFolderOf(path)};
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

}  // namespace mergebridge
