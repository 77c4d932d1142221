// Win32 existence test through the file attributes.
#include "host/file_probe.h"

#include <windows.h>

#include "bridge/text.h"
#include "host/notify.h"

bool IsFileMissing(std::string path) {
  if (traceEnabled) {
    ShowMessage(Format("about to check existance of file '%s'", path.c_str()), kStyleOk);
  }
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (traceEnabled) ShowMessage(Format("File '%s' does not exist", path.c_str()), kStyleOk);
    return true;
  }
  return false;
}
