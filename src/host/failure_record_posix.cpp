// POSIX failure record: a file in the user's state folder that runs append to
// in turn under flock, and syslog.
#include "host/failure_record.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace mergebridge {

namespace {

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  // A relative folder is passed over, as the base directory rules say.
  if (state != nullptr && state[0] == '/') return state;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return std::string(home) + "/.local/state";
}

// Makes the folders above the record's file that are missing, for the user
// alone.
void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0700);
  }
}

std::string UtcTimeNow() {
  const time_t now = time(nullptr);
  struct tm parts;
  char text[32] = "";
  if (gmtime_r(&now, &parts) != nullptr) strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

Status WriteAll(int descriptor, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return ErrorStatus(written < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(written);
  }
  return {};
}

}  // namespace

std::string FailureRecordPath() {
  const std::string folder = StateFolder();
  return folder.empty() ? folder : folder + "/mergebridge/failures.log";
}

Status AppendFailure(const FailureEntry& entry) {
  const std::string path = FailureRecordPath();
  if (path.empty()) return ErrorStatus(ENOENT);
  MakeFolders(path);
  const std::string line = FailureLine(entry);
  // The file under the lock must still be the one at `path`: another run may
  // have moved it aside while this one waited.
  for (;;) {
    const int descriptor =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) return ErrorStatus(errno);
    struct stat held, named;
    Status status;
    if (flock(descriptor, LOCK_EX) != 0 || fstat(descriptor, &held) != 0) {
      status = ErrorStatus(errno);
    } else if (stat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino ||
               named.st_dev != held.st_dev) {
      close(descriptor);
      continue;
    } else if (held.st_size > 0 &&
               static_cast<size_t>(held.st_size) + line.size() > kFailureFileLimit) {
      const bool moved = rename(path.c_str(), (path + ".1").c_str()) == 0;
      status = ErrorStatus(errno);
      close(descriptor);
      if (moved) continue;
      return status;
    } else {
      status = WriteAll(descriptor, line);
    }
    close(descriptor);
    return status;
  }
}

void RecordFailure(long status, const std::string& reason, const std::vector<std::string>& files) {
  const FailureEntry entry{UtcTimeNow(), status, reason, files};
  (void)AppendFailure(entry);
  openlog("mergebridge", LOG_PID, LOG_USER);
  syslog(LOG_ERR, "%s", FailureSummary(entry).c_str());
  closelog();
}

}  // namespace mergebridge
