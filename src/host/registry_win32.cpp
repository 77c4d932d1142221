// Placeholder until the registry reader lands.
#include "host/registry.h"

int RegGetString(const std::string&, const std::string&, std::string&) { return 1; }
