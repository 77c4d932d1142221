// What both platforms' registries share: where Velmora's path is looked up,
// in which order.
#include "host/registry.h"

#include "host/host_reports.h"

namespace mergebridge {

const char* VelmoraKeyOf(RegistryScope scope) {
  for (const VelmoraPlace& place : kVelmoraLookup) {
    if (place.scope == scope) return place.key;
  }
  return kVelmoraKey;
}

bool IsAccountScope(RegistryScope scope) {
  return scope == RegistryScope::User || scope == RegistryScope::UserPolicy;
}

bool IsPolicyScope(RegistryScope scope) {
  return scope == RegistryScope::MachinePolicy || scope == RegistryScope::UserPolicy;
}

Result<std::string> FindVelmora() {
  for (const VelmoraPlace& place : kVelmoraLookup) {
    // The user's and the machine's value, with the reports a merge has always
    // shown, are RegGetString's.
    if (!IsPolicyScope(place.scope)) break;
    const Result<RegistryRead> read = ReadRegistryString(place.scope, place.key, kVelmoraValue);
    if (read.ok()) return {read.value.value, {}};
    if (!IsAbsentFromRegistry(read.status)) {
      return {
          {},
          RegistryFailure(RegistryStep::ReadValue, place.key, kVelmoraValue, read.status.error)};
    }
  }
  return RegGetString(kVelmoraKey, kVelmoraValue);
}

}  // namespace mergebridge
