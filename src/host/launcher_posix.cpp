// Placeholder until the launcher lands.
#include "host/launcher.h"

long LaunchCompareTool(std::string, bool) { return 1; }
