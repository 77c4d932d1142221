// The encodings of registry export files: UTF-16LE read as UTF-8 and UTF-8
// written as UTF-16LE.
#include "regfile/reg_file_scan.h"

#include <cstdint>

#include "common/utf8.h"

namespace mergebridge {

namespace {

void AppendUtf16Le(uint32_t unit, std::string& out) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

// UTF-16LE to UTF-8. A lone surrogate becomes U+FFFD, as Windows' own
// conversion to UTF-8 makes it; a trailing odd byte is not a character and is
// left out.
void AppendUtf16LeAsUtf8(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + bytes.size());
  const size_t end = bytes.size() & ~static_cast<size_t>(1);
  auto unitAt = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (size_t i = 0; i < end; i += 2) {
    uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < end) {
      const uint32_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = kReplacementChar;
    AppendUtf8(unit, out);
  }
}

// UTF-8 to UTF-16LE; a byte that does not begin a valid sequence becomes U+FFFD.
std::string Utf8AsUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(2 * text.size());
  for (const char16_t unit : Utf8AsUtf16(text)) AppendUtf16Le(unit, out);
  return out;
}

}  // namespace mergebridge
