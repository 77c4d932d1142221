// The existence test with its traces; the platform files only answer whether
// something is at the path.
#include "host/file_probe.h"

#include "common/text.h"
#include "host/notify.h"

namespace mergebridge {

bool IsFileMissing(std::string path) {
  if (traceEnabled) {
    ShowMessage(Format("about to check existance of file '%s'", path.c_str()), kStyleOk);
  }
  if (!PathExists(path)) {
    if (traceEnabled) ShowMessage(Format("File '%s' does not exist", path.c_str()), kStyleOk);
    return true;
  }
  return false;
}

}  // namespace mergebridge
