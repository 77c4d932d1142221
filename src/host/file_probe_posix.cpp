// POSIX existence test: stat() follows links, so a dangling link is missing.
#include "host/file_probe.h"

#include <sys/stat.h>

namespace mergebridge {

bool PathExists(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

}  // namespace mergebridge
