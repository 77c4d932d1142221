#include "host/host_reports.h"

#include "common/text.h"
#include "host/notify.h"

namespace mergebridge {

Status RegistryFailure(RegistryStep step, const std::string& keyPath, const std::string& valueName,
                       long errorNumber) {
  std::string text;
  switch (step) {
    case RegistryStep::Connect:
      text = "REG Get - Failed to connect to registry";
      break;
    case RegistryStep::OpenKey:
      text = Format("REG Get - Failed to open key '%s' in the registry", keyPath.c_str());
      break;
    case RegistryStep::ReadValue:
      text = Format("REG Get - Failed to get string value from '%s\\%s' in the registry",
                    keyPath.c_str(), valueName.c_str());
      break;
  }
  text += Format("\n (Error %ld, %s)", errorNumber, SystemErrorText(errorNumber).c_str());
  return Status{errorNumber, text};
}

Status CommandError(long errorNumber) {
  return Status{errorNumber,
                Format("CMD Error %ld, %s", errorNumber, SystemErrorText(errorNumber).c_str())};
}

}  // namespace mergebridge
