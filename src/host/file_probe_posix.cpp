// POSIX existence test: stat() follows links, so a dangling link is missing.
#include "host/file_probe.h"

#include <sys/stat.h>

#include "bridge/text.h"
#include "host/notify.h"

bool IsFileMissing(std::string path) {
  if (traceEnabled) {
    ShowMessage(Format("about to check existance of file '%s'", path.c_str()), kStyleOk);
  }
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) {
    if (traceEnabled) ShowMessage(Format("File '%s' does not exist", path.c_str()), kStyleOk);
    return true;
  }
  return false;
}
