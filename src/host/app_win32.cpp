// Win32 start-up: the module handle and the command line are what the message
// boxes and the rest of the program rely on; without them nothing can be shown.
#include "host/app.h"

#include <windows.h>

namespace mergebridge {

bool StartFramework() {
  return GetModuleHandleW(nullptr) != nullptr && GetCommandLineW() != nullptr;
}

}  // namespace mergebridge
