// POSIX start-up: there is no framework to start; the process is ready as it is.
#include "host/app.h"

namespace mergebridge {

bool StartFramework() {
  return true;
}

void RestrictLibrarySearch() {}

}  // namespace mergebridge
