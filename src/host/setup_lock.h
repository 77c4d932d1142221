// One setup run at a time on a ClearCase installation.
#pragma once

#include <string>

#include "common/status.h"

namespace mergebridge {

/// What taking a lock came to: the lock is ours (Held); another run held it
/// for the whole wait (Busy); the file system has no such lock (NFS without a
/// lock service, for one), and the run may go on, unserialised (Unavailable).
enum class LockState { Held, Busy, Unavailable };

/// Takes the lock that serialises setup runs on the ClearCase installation
/// whose type managers are in the folder `managers`, waiting at most
/// `waitMillis` for a run that holds it. The lock is held until this process
/// ends and leaves nothing behind (POSIX: flock on the folder itself; Windows:
/// a lock file in the folder that only who may write there can open, deleted
/// with the run). Fails with the system's error number; on Windows Held,
/// holding nothing, for an account that may not make a file in the folder,
/// and so cannot change anything in it.
Result<LockState> LockManagers(const std::string& managers, long waitMillis);

}  // namespace mergebridge
