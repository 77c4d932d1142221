// What both platforms share of the notifications.
#include "host/notify.h"

namespace mergebridge {

// Nothing in the program turns it on; a debugging build or a test may.
bool traceEnabled = false;

std::string SystemErrorTextInSentence(long errorNumber) {
  // The system's text ends in a full stop, and on Windows in a line break.
  std::string text = SystemErrorText(errorNumber);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace mergebridge
