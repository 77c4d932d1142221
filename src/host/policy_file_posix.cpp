// Where the computer's policy is kept: a fixed place, never looked up through
// the XDG folders, which the user may set. The programs that ship read it
// there and nowhere else: nothing in the environment of whoever starts them may move
// what an administrator enforced. Only the tests' own builds of the programs
// (MB_POLICY_FILE_FROM_ENV, never installed or packed) take the file
// MERGEBRIDGE_POLICY_FILE names, so that a test can set a policy of its own.
#include "host/registry.h"

#include <cstdlib>

namespace mergebridge {

std::string ComputerPolicyFile() {
#ifdef MB_POLICY_FILE_FROM_ENV
  const char* file = std::getenv("MERGEBRIDGE_POLICY_FILE");
  if (file != nullptr && *file != '\0') return file;
#endif
  return "/etc/mergebridge/policy.reg";
}

}  // namespace mergebridge
