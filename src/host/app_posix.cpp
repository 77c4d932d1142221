// POSIX start-up: there is no framework to start; the process is ready as it is.
#include "host/app.h"

bool StartFramework() {
  return true;
}
