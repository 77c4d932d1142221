// Where Velmora's program is registered: the one place these names are spelt.
// cmake/registry_names.cmake reads the quoted names below for the installers'
// and the Group Policy templates, so each stays a single line of this form.
#pragma once

namespace mergebridge {

/// The key under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE that Velmora's own
/// installer and its users write.
inline constexpr char kVelmoraKey[] = "SOFTWARE\\Harnvik\\Velmora";
/// The key Group Policy writes, under HKEY_LOCAL_MACHINE (the computer's policy)
/// and HKEY_CURRENT_USER (the user's).
inline constexpr char kVelmoraPolicyKey[] = "SOFTWARE\\Policies\\Harnvik\\Velmora";
/// The string value under either key that holds the program's full path.
inline constexpr char kVelmoraValue[] = "ExePath";

}  // namespace mergebridge
