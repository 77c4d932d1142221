// The setup program's commands: status, install, uninstall and register.
#pragma once

#include <string>
#include <vector>

/// Runs the command in `args` (without the program name), telling the user on
/// stdout what it found and did and on stderr what went wrong. Returns the exit
/// status: 0 when the command did its work (status: a merge would start
/// Velmora), 1 otherwise.
int RunSetup(const std::vector<std::string>& args);
