// One setup run at a time on a ClearCase installation.
#pragma once

#include <string>

/// What LockManagers returns when another run held the lock for the whole wait.
constexpr long kLockBusy = -1;
/// What LockManagers returns where the file system has no such lock (NFS
/// without a lock service, for one): the run may go on, unserialised.
constexpr long kLockUnavailable = -2;

/// Takes the lock that serialises setup runs on the ClearCase installation
/// whose type managers are in the folder `managers`, waiting at most
/// `waitMillis` for a run that holds it. The lock is held until this process
/// ends and leaves nothing behind (POSIX: flock on the folder itself; Windows:
/// a lock file in the folder that only who may write there can open, deleted
/// with the run). Returns 0, kLockBusy, kLockUnavailable or the system's error
/// number; on Windows also 0, holding nothing, for an account that may not
/// make a file in the folder, and so cannot change anything in it.
long LockManagers(const std::string& managers, long waitMillis);
