// POSIX registry reader: the current user's registry is a registry export file
// in the user's configuration folder. File access and failure reports live
// here; the format is reg_file.cpp's business.
#include "host/registry.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "common/text.h"
#include "host/host_reports.h"
#include "host/notify.h"
#include "host/reg_file.h"
#include "host/user_registry.h"

namespace {

// Far above any real settings file; it keeps a path that leads to a device
// such as /dev/zero from eating memory.
constexpr size_t kMaxFileBytes = 64u << 20;

// Reads the whole file into `bytes`. Returns 0 or the errno value.
int ReadWholeFile(const std::string& path, std::string& bytes) {
  // O_NONBLOCK: a FIFO put in the file's place must not hang the merge; it
  // reads as empty and fails to parse instead.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  int error = 0;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    if (bytes.size() + static_cast<size_t>(got) > kMaxFileBytes) {
      error = EFBIG;
      break;
    }
    bytes.append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  return error;
}

}  // namespace

int RegGetString(const std::string& keyPath, const std::string& valueName, std::string& out) {
  // Failures map onto the Windows steps: a registry that cannot be reached or
  // understood is the connect failure, a missing file or key the open
  // failure, a missing value the read failure.
  const std::string path = UserRegistryPlace();
  if (path.empty()) {
    ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, ENOENT);
    return 1;
  }
  std::string bytes;
  if (const int error = ReadWholeFile(path, bytes)) {
    if (error == ENOENT || error == ENOTDIR) {
      ReportRegistryFailure(RegistryStep::OpenKey, keyPath, valueName, error);
    } else {
      ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, error);
    }
    return 1;
  }

  RegFileLookup lookup = LookUpRegFileValue(bytes, keyPath, valueName);
  // A broken line far from the value does not stop the merge, but the user
  // still learns about it.
  for (const RegFileSkip& skipped : lookup.skipped) {
    WriteConsoleLine(ConsoleStream::Err,
                     Format("%s:%ld: %s", path.c_str(), skipped.line, skipped.reason.c_str()));
  }
  switch (lookup.status) {
    case RegFileStatus::ParseError:
      WriteConsoleLine(ConsoleStream::Err,
                       Format("%s:%ld: %s", path.c_str(), lookup.line, lookup.reason.c_str()));
      ReportRegistryFailure(RegistryStep::Connect, keyPath, valueName, EINVAL);
      return 1;
    case RegFileStatus::NoKey:
      ReportRegistryFailure(RegistryStep::OpenKey, keyPath, valueName, ENOENT);
      return 1;
    case RegFileStatus::NoValue:
      out.clear();
      ReportRegistryFailure(RegistryStep::ReadValue, keyPath, valueName, ENOENT);
      return 1;
    case RegFileStatus::Found:
      break;
  }
  // Whatever the value holds is text up to its first zero byte.
  const size_t zero = lookup.data.find('\0');
  if (zero != std::string::npos) lookup.data.resize(zero);
  out = std::move(lookup.data);
  return 0;
}
