// The setup program's command line carried out.
#pragma once

#include <string>
#include <vector>

namespace mergebridge {

/// Runs the command in `args` (without the program name), telling the user on
/// stdout what it found and did and on stderr what went wrong (with --json: one
/// JSON object on stdout instead of the lines). Returns the exit status: 0
/// when the command did its work (status: a merge would start Velmora), 1
/// otherwise.
int RunSetup(const std::vector<std::string>& args);

}  // namespace mergebridge
