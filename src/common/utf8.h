// UTF-8, decoded strictly and encoded, once for every part of the programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mergebridge {

/// One character decoded from UTF-8: its code point and how many bytes it took.
struct Utf8Char {
  uint32_t codePoint = 0;
  size_t length = 0;  // 0: no valid character starts here
};

/// The character at `text[at]`. Length 0 where the bytes there are not the
/// shortest form of one Unicode scalar value: a stray continuation byte, an
/// overlong form, a surrogate, a value past U+10FFFF, a sequence cut short.
Utf8Char DecodeUtf8(std::string_view text, size_t at);

/// Appends the UTF-8 form of `codePoint` (a Unicode scalar value) to `out`.
void AppendUtf8(uint32_t codePoint, std::string& out);

/// UTF-8 `text` as UTF-16 code units; each byte that begins no valid
/// character becomes U+FFFD.
std::u16string Utf8AsUtf16(std::string_view text);

/// The replacement character U+FFFD, which stands for each byte that begins
/// no valid character.
inline constexpr uint32_t kReplacementChar = 0xFFFD;

}  // namespace mergebridge
