// What both platforms' registries share: where Velmora's path is looked up,
// in which order.
#include "host/registry.h"

#include "host/host_reports.h"

const char* VelmoraKeyOf(RegistryScope scope) {
  for (const VelmoraPlace& place : kVelmoraLookup) {
    if (place.scope == scope) return place.key;
  }
  return kVelmoraKey;
}

bool IsAccountScope(RegistryScope scope) {
  return scope == RegistryScope::User || scope == RegistryScope::UserPolicy;
}

int FindVelmora(std::string& out) {
  for (const VelmoraPlace& place : kVelmoraLookup) {
    // The user's and the machine's value, with the reports a merge has always
    // shown, are RegGetString's.
    if (place.scope == RegistryScope::User || place.scope == RegistryScope::Machine) break;
    std::string value, where;
    const long error = ReadRegistryString(place.scope, place.key, kVelmoraValue, value, where);
    if (error == 0) {
      out = value;
      return 0;
    }
    if (!IsAbsentFromRegistry(error)) {
      ReportRegistryFailure(RegistryStep::ReadValue, place.key, kVelmoraValue, error);
      return 1;
    }
  }
  return RegGetString(kVelmoraKey, kVelmoraValue, out);
}
