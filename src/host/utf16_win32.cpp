#include "host/utf16_win32.h"

#include <windows.h>

#include "common/utf8.h"

namespace mergebridge {

// Decoded by our own strict decoder, as every other part decodes UTF-8.
std::wstring ToUtf16(const std::string& text) {
  const std::u16string units = Utf8AsUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], length, nullptr, nullptr);
  return out;
}

std::wstring OwnModuleFileName() {
  // A long-path-aware program can live in a folder longer than MAX_PATH; the
  // name is cut short, not refused, when the buffer is too small.
  return GrowingWideText([](wchar_t* buffer, unsigned long size) {
    return GetModuleFileNameW(nullptr, buffer, size);
  });
}

}  // namespace mergebridge
