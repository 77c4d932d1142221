// Conversions between the program's UTF-8 strings and the UTF-16 of the Win32
// wide calls, and the text of a wide call that fills a caller's buffer. For the
// Win32 implementation files only.
#pragma once

#include <algorithm>
#include <string>

namespace mergebridge {

/// `text` (UTF-8) as UTF-16; an invalid sequence becomes U+FFFD.
std::wstring ToUtf16(const std::string& text);

/// `text` (UTF-16) as UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

/// The text a Win32 call writes into a caller's buffer: `call(buffer, size)`
/// returns the length it wrote (0: it failed) or, when `size` characters were
/// too few, the size it needs or `size` itself (the text cut short). The buffer
/// is on the heap and grows until the text fits, up to 32,768 characters, the
/// longest path Windows has; empty when the call fails or the text is longer.
template <typename Call>
std::wstring GrowingWideText(Call call) {
  constexpr size_t kLongestPath = 32768;
  std::wstring buffer(260, L'\0');
  for (;;) {
    const size_t length = call(&buffer[0], static_cast<unsigned long>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return buffer.substr(0, length);
    if (buffer.size() >= kLongestPath) return std::wstring();
    buffer.resize(std::min(kLongestPath, std::max(length, buffer.size() * 2)));
  }
}

/// The full path of this program's file, however long; empty on failure.
std::wstring OwnModuleFileName();

}  // namespace mergebridge
