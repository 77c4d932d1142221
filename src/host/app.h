// Process start-up of the host environment.
#pragma once

namespace mergebridge {

/// Prepares what the rest of the program needs from the host (module handle,
/// command line). Returns false when that is not available.
bool StartFramework();

/// Windows: libraries the process loads from now on come from the system's
/// folder only, never from the program's or the current folder, where someone
/// else may have put one of the same name. First thing at every entry point.
/// POSIX: nothing to do.
void RestrictLibrarySearch();

}  // namespace mergebridge
