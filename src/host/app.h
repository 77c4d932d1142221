// Process start-up of the host environment.
#pragma once

namespace mergebridge {

/// Prepares what the rest of the program needs from the host (module handle,
/// command line). Returns false when that is not available.
bool StartFramework();

}  // namespace mergebridge
