// The setup program's commands: status, install, uninstall and register.
#pragma once

#include <string>
#include <vector>

#include "setup/setup_options.h"

/// Runs the command in `args` (without the program name), telling the user on
/// stdout what it found and did and on stderr what went wrong. Returns the exit
/// status: 0 when the command did its work (status: a merge would start
/// Velmora), 1 otherwise.
int RunSetup(const std::vector<std::string>& args);

// The commands RunSetup dispatches to, each in a file of its own. Each returns
// the exit status.
int Status(const SetupOptions& options);                 // setup_status.cpp
int Install(const SetupOptions& options, bool install);  // setup_install.cpp; false: uninstall
int Register(const SetupOptions& options);               // setup_register.cpp
int Unregister(const SetupOptions& options);             // setup_register.cpp
