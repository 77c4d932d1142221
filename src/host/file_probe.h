// Asking whether something exists at a path.
#pragma once

#include <string>

namespace mergebridge {

/// True when no file-system object exists at `path` (an empty path and a
/// dangling link included); a directory counts as present.
bool IsFileMissing(std::string path);

/// The platform's answer behind IsFileMissing: whether any file-system object
/// (a directory included) is at `path`. Without the traces.
bool PathExists(const std::string& path);

}  // namespace mergebridge
