// The one UTF-8 decoder: every scalar value comes back as it went in, and what is not the shortest
// form of one is refused at its first byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.h"

namespace mergebridge {

namespace {

TEST(Utf8, EveryScalarValueRoundTrips) {
  for (uint32_t c = 0; c <= 0x10FFFF; c += c == 0xD7FF ? 0x801 : 1) {
    std::string bytes;
    AppendUtf8(c, bytes);
    const Utf8Char got = DecodeUtf8(bytes + "\x80", 0);
    ASSERT_TRUE(got.codePoint == c && got.length == bytes.size()) << std::hex << c;
  }
  EXPECT_EQ(Utf8AsUtf16("a\xff\xf0\x9f\x99\x82"), u"a\uFFFD\U0001F642");
}

TEST(Utf8, RefusedAtTheFirstByte) {
  const struct {
    const char* what;
    std::vector<std::string> bytes;
    size_t cut = 0;  // bytes the decoder is not shown
  } rows[] = {
      {"continuing nothing", {"\x80", "\xbf"}},
      {"overlong", {"\xc0\xaf", "\xc1\xbf", "\xe0\x9f\xbf", "\xf0\x8f\xbf\xbf"}},
      {"surrogates", {"\xed\xa0\x80", "\xed\xbf\xbf"}},
      {"past U+10FFFF", {"\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xff"}},
      {"broken off", {"\xe6\x97z", "\xf0\x9f(\x82"}},
      {"cut short", {"\xc3\xa9", "\xe6\x97\xa5", "\xf0\x9f\x99\x82"}, 1},
  };
  for (const auto& row : rows) {
    for (const std::string& bytes : row.bytes) {
      const std::string_view text(bytes.data(), bytes.size() - row.cut);
      EXPECT_EQ(DecodeUtf8(text, 0).length, 0u) << row.what << ": " << bytes;
    }
  }
}

}  // namespace

}  // namespace mergebridge
