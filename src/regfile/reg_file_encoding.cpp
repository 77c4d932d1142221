// The encodings of registry export files: UTF-16LE read as UTF-8 and UTF-8
// written as UTF-16LE.
#include "regfile/reg_file_scan.h"

#include <cstdint>

namespace mergebridge {

namespace {

void AppendUtf8(uint32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

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
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
    AppendUtf8(unit, out);
  }
}

// UTF-8 to UTF-16LE; a byte that does not begin a valid sequence becomes U+FFFD.
std::string Utf8AsUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(2 * text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    uint32_t codePoint = length == 1   ? lead
                         : length == 2 ? lead & 0x1F
                         : length == 3 ? lead & 0x0F
                                       : lead & 0x07;
    bool valid = length != 0 && i + length <= text.size() && lead < 0xF5;
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (!valid) {
      AppendUtf16Le(0xFFFD, out);
      ++i;
      continue;
    }
    i += length;
    if (codePoint >= 0x10000) {
      AppendUtf16Le(0xD800 + ((codePoint - 0x10000) >> 10), out);
      AppendUtf16Le(0xDC00 + ((codePoint - 0x10000) & 0x3FF), out);
    } else {
      AppendUtf16Le(codePoint, out);
    }
  }
  return out;
}

}  // namespace mergebridge
