// The checks the state folder and its records pass, for the Win32
// implementation files and their tests.
#pragma once

namespace mergebridge {

/// True when `owner` (a SID) is SYSTEM, the Administrators or the account this
/// process runs as: the owners a state folder or a record in it may have.
bool IsTrustedOwner(void* owner);

}  // namespace mergebridge
