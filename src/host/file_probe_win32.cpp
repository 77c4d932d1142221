// Win32 existence test through the file attributes.
#include "host/file_probe.h"

#include <windows.h>

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
