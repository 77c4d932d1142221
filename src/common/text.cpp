#include "common/text.h"

#include <cstdarg>
#include <cstdio>

// Process-wide trace switch (declared in host/notify.h). Nothing in the program
// turns it on; a debugging build or a test may.
bool traceEnabled = false;

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out;
  if (length > 0) {
    out.resize(static_cast<size_t>(length));
    // C++17 guarantees a writable terminator slot at out[length].
    std::vsnprintf(&out[0], static_cast<size_t>(length) + 1, format, again);
  }
  va_end(again);
  return out;
}

void LowerCaseAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}
