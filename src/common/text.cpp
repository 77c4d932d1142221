#include "common/text.h"

#include <cstdarg>
#include <cstdio>

namespace mergebridge {

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

namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

void LowerCaseAscii(std::string& text) {
  for (char& c : text) c = LowerAscii(c);
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace mergebridge
