// Win32 existence test through the file attributes, by the path's UTF-16 form
// so that a name outside the ANSI code page is the file it names.
#include "host/file_probe.h"

#include <windows.h>

#include "host/utf16_win32.h"

namespace mergebridge {

bool PathExists(const std::string& path) {
  return GetFileAttributesW(ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace mergebridge
