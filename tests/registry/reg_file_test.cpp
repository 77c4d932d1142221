// The registry file parser, through tables of small files. Every file that is
// valid UTF-8 is also read as the UTF-16LE file the registry editor would
// export, and must give the same answer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/reg_file.h"

namespace {

using namespace std::string_literals;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kV4 = "REGEDIT4\n\n";
const std::string kKey = "SOFTWARE\\Harnvik\\Velmora";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n";

// UTF-8 text as UTF-16LE with a byte-order mark.
std::string Utf16Le(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto unit = [&](uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += length;
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

std::string Describe(const RegFileLookup& r) {
  switch (r.status) {
    case RegFileStatus::Found: return "found [" + r.data + "]";
    case RegFileStatus::NoKey: return "no key";
    case RegFileStatus::NoValue: return "no value";
    case RegFileStatus::ParseError:
      return "parse error at line " + std::to_string(r.line) + ": " + r.reason;
  }
  return "?";
}

// Runs one file as UTF-8 and as UTF-16LE, expecting the same answer.
RegFileLookup LookUpBoth(const std::string& file, const std::string& key,
                         const std::string& value) {
  const RegFileLookup utf8 = LookUpRegFileValue(file, key, value);
  const RegFileLookup utf16 = LookUpRegFileValue(Utf16Le(file), key, value);
  EXPECT_EQ(Describe(utf8), Describe(utf16)) << "UTF-8 and UTF-16LE disagree";
  return utf8;
}

TEST(RegFile, ValuesAsTheNarrowRegistryFunctionsReturnThem) {
  struct Row {
    const char* what;
    std::string file, key, value, expected;
  } rows[] = {
      {"plain string", kV5 + kKeyLine + "\"ExePath\"=\"/opt/velmora/bin/velmora\"\r\n", kKey,
       "ExePath", "/opt/velmora/bin/velmora"},
      {"escapes", kV5 + kKeyLine + "\"v\"=\"a\\\\b\\\"c\\\\\"\r\n", kKey, "v", "a\\b\"c\\"},
      {"empty string", kV5 + kKeyLine + "\"v\"=\"\"\r\n", kKey, "v", ""},
      {"HKCU and letter case",
       kV5 + "[hkcu\\software\\HARNVIK\\velmora]\n\"EXEPATH\"=\"x\"\n", kKey, "ExePath", "x"},
      {"default value", kV5 + kKeyLine + "@=\"d\"\n\"@\"=\"named\"\n", kKey, "", "d"},
      {"a value named @", kV5 + kKeyLine + "@=\"d\"\n\"@\"=\"named\"\n", kKey, "@", "named"},
      {"blanks around =, no final line end", kV5 + kKeyLine + "  \"v\" =\t\"x y\"  ", kKey, "v",
       "x y"},
      {"dword little-endian", kV5 + kKeyLine + "\"v\"=dword:41424344\n", kKey, "v", "DCBA"},
      {"short dword", kV5 + kKeyLine + "\"v\"=dword:2a\n", kKey, "v", "\x2a\0\0\0"s},
      {"binary", kV5 + kKeyLine + "\"v\"=hex:61,62,00,63\n", kKey, "v", "ab\0c"s},
      {"empty binary", kV5 + kKeyLine + "\"v\"=hex:\n", kKey, "v", ""},
      {"qword stays raw", kV5 + kKeyLine + "\"v\"=hex(b):01,02,03,04,05,06,07,08\n", kKey, "v",
       "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"expand string, version 5", kV5 + kKeyLine + "\"v\"=hex(2):25,00,48,00,25,00,00,00\n",
       kKey, "v", "%H%\0"s},
      {"expand string, REGEDIT4", kV4 + kKeyLine + "\"v\"=hex(2):25,48,25,00\n", kKey, "v",
       "%H%\0"s},
      {"multi string", kV5 + kKeyLine + "\"v\"=hex(7):61,00,00,00,62,00,00,00,00,00\n", kKey, "v",
       "a\0b\0\0"s},
      {"string without terminator", kV5 + kKeyLine + "\"v\"=hex(1):6f,00,6b,00\n", kKey, "v",
       "ok"},
      {"non-ASCII and a surrogate pair",
       kV5 + kKeyLine + "\"v\"=hex(1):e9,00,3d,d8,00,de,00,00\n", kKey, "v",
       "\xC3\xA9\xF0\x9F\x98\x80\0"s},
      {"lone surrogate and odd byte", kV5 + kKeyLine + "\"v\"=hex(1):00,d8,41,00,42\n", kKey,
       "v", "\xEF\xBF\xBD" "A"},
      {"UTF-8 text as it is", kV5 + kKeyLine + "\"v\"=\"/home/j\xC3\xB8rn/v\"\n", kKey, "v",
       "/home/j\xC3\xB8rn/v"},
      {"continuations", kV5 + kKeyLine + "\"v\"=hex(2):61,00,\\\r\n  62,00,\\\r\n  00,00\r\n",
       kKey, "v", "ab\0"s},
      {"continuation after a byte, single digits", kV5 + kKeyLine + "\"v\"=hex:1,a\\\n b\n",
       kKey, "v", "\x01\x0a\x0b"},
      {"comments", kV5 + "; top\n" + kKeyLine + "  ; indented\n\"v\"=\"x\"\n;last", kKey, "v",
       "x"},
      {"later value wins", kV5 + kKeyLine + "\"v\"=\"1\"\n\"V\"=\"2\"\n", kKey, "v", "2"},
      {"key given twice",
       kV5 + kKeyLine + "\"v\"=\"1\"\n[HKCU\\Other]\n\"v\"=\"o\"\n" + kKeyLine + "\"v\"=\"2\"\n",
       kKey, "v", "2"},
      {"other roots do not count",
       kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n" + kKeyLine +
           "\"v\"=\"u\"\n[HKLM\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n",
       kKey, "v", "u"},
      {"deleted and set again",
       kV5 + kKeyLine + "\"v\"=\"1\"\n\"v\"=-\n[-HKEY_CURRENT_USER\\SOFTWARE]\n" + kKeyLine +
           "\"v\"=\"3\"\n",
       kKey, "v", "3"},
      {"a sibling deleted", kV5 + kKeyLine + "\"v\"=\"1\"\n[-HKCU\\SOFTWARE\\Harnvik\\Velmora2]\n",
       kKey, "v", "1"},
      {"the root's own values", kV5 + "[HKEY_CURRENT_USER]\n@=\"r\"\n", "", "", "r"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const RegFileLookup result = LookUpBoth(row.file, row.key, row.value);
    EXPECT_EQ(Describe(result), "found [" + row.expected + "]");
  }
}

TEST(RegFile, MissingKeysAndValues) {
  const RegFileStatus noKey = RegFileStatus::NoKey, noValue = RegFileStatus::NoValue;
  struct Row {
    const char* what;
    std::string file, key;
    RegFileStatus expected;
  } rows[] = {
      {"header only", kV5, kKey, noKey},
      {"header only, the root", kV5, "", noValue},
      {"another key", kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora2]\n\"v\"=\"x\"\n", kKey, noKey},
      {"the value in a subkey", kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora\\Sub]\n\"v\"=\"x\"\n",
       kKey, noValue},
      {"a parent made by its child", kV5 + kKeyLine, "SOFTWARE\\Harnvik", noValue},
      {"another value", kV5 + kKeyLine + "\"w\"=\"x\"\n@=\"d\"\n", kKey, noValue},
      {"value deleted", kV5 + kKeyLine + "\"v\"=\"x\"\n\"V\"=-\n", kKey, noValue},
      {"key deleted", kV5 + kKeyLine + "\"v\"=\"x\"\n[-HKCU\\SOFTWARE\\harnvik\\velmora]\n", kKey,
       noKey},
      {"parent deleted", kV5 + kKeyLine + "\"v\"=\"x\"\n[-HKCU\\SOFTWARE\\Harnvik]\n", kKey,
       noKey},
      {"values after a deletion go nowhere", kV5 + "[-HKCU\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"x\"\n",
       kKey, noKey},
      {"recreated without the value",
       kV5 + kKeyLine + "\"v\"=\"x\"\n[-HKCU\\SOFTWARE]\n" + kKeyLine, kKey, noValue},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const RegFileLookup result = LookUpBoth(row.file, row.key, "v");
    EXPECT_EQ(Describe(result), row.expected == noKey ? "no key" : "no value");
  }
}

TEST(RegFile, MalformedFilesNameTheLine) {
  struct Row {
    std::string file;
    long line;
  } rows[] = {
      {"", 1},
      {"\xEF\xBB\xBF", 1},
      {kKeyLine + "\"v\"=\"x\"\n", 1},
      {"REGEDIT5\n" + kKeyLine, 1},
      {"\n" + kV5 + kKeyLine, 1},
      {kV5 + kKeyLine + "\"v\"=\"/opt/vel", 4},
      {kV5 + "[HKCU\\SOFTWARE\\Har", 3},
      {kV5 + kKeyLine + "\"v\"=hex:01,\\\n", 4},
      {kV5 + kKeyLine + "\"v\"=hex:01,\\\n  02,\\\n  zz\n", 6},
      {kV5 + kKeyLine + "\"v\"=hex:01 02\n", 4},
      {kV5 + kKeyLine + "\"v\"=hex:01,,02\n", 4},
      {kV5 + kKeyLine + "\"v\"=hex(2:00\n", 4},
      {kV5 + kKeyLine + "\"v\"=dword:123456789\n", 4},
      {kV5 + kKeyLine + "\"v\"=dword:\n", 4},
      {kV5 + kKeyLine + "\"v\"=dword:12 34\n", 4},
      {kV5 + kKeyLine + "\"v\"=\"C:\\Program Files\"\n", 4},
      {kV5 + kKeyLine + "\"v\"=\"x\" y\n", 4},
      {kV5 + kKeyLine + "\"v\" \"x\"\n", 4},
      {kV5 + kKeyLine + "\"v\"=str:x\n", 4},
      {kV5 + kKeyLine + "\"v\"=- x\n", 4},
      {kV5 + kKeyLine + "ExePath=x\n", 4},
      {kV5 + "\"v\"=\"x\"\n" + kKeyLine, 3},
      {kV5 + "[SOFTWARE\\Harnvik\\Velmora]\n", 3},
      {kV5 + "[]\n", 3},
      {kV5 + "[-HKCU]\n", 3},
      {kV5 + kKeyLine + "\"v\"=\"fine\"\n[HKCU\\Later]\n# not a comment\n", 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    const RegFileLookup result = LookUpBoth(row.file, kKey, "v");
    EXPECT_EQ(result.status, RegFileStatus::ParseError) << Describe(result);
    EXPECT_EQ(result.line, row.line) << Describe(result);
    EXPECT_FALSE(result.reason.empty());
  }
}

TEST(RegFile, EncodingFaults) {
  const std::string body = Utf16Le(kV5 + kKeyLine + "\"v\"=\"x\"\n");
  struct Row {
    const char* what;
    std::string file;
    long line;
  } rows[] = {
      {"UTF-16LE mark only", "\xFF\xFE", 1},
      {"UTF-16LE cut in a character", body + "\n", 5},
      {"UTF-16LE cut after a line end", body.substr(0, body.size() - 1), 4},
      {"UTF-16 big-endian", "\xFE\xFF\0R"s, 1},
      {"UTF-16LE without its mark", body.substr(2), 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const RegFileLookup result = LookUpRegFileValue(row.file, kKey, "v");
    EXPECT_EQ(result.status, RegFileStatus::ParseError) << Describe(result);
    EXPECT_EQ(result.line, row.line) << Describe(result);
  }
}

// A megabyte-sized value, exported the way the registry editor writes long
// data: UTF-16LE, a string type in hex, 25 bytes a line with continuations.
TEST(RegFile, HugeValuesStayFast) {
  std::string expected(1 << 20, ' ');
  for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>('a' + i % 26);
  static const char kHex[] = "0123456789abcdef";
  std::string file = kV5 + kKeyLine + "\"v\"=hex(2):";
  file.reserve(expected.size() * 7);
  for (size_t i = 0; i < expected.size(); ++i) {
    file += kHex[static_cast<unsigned char>(expected[i]) >> 4];
    file += kHex[expected[i] & 0xF];
    file += ",00,";
    if (i % 12 == 11) file += "\\\r\n  ";
  }
  file += "00,00\r\n\"quoted\"=\"" + expected + "\"\r\n";
  const std::string utf16 = Utf16Le(file);

  const auto start = std::chrono::steady_clock::now();
  const RegFileLookup hex = LookUpRegFileValue(utf16, kKey, "v");
  const RegFileLookup quoted = LookUpRegFileValue(utf16, kKey, "quoted");
  const auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(hex.status, RegFileStatus::Found);
  EXPECT_TRUE(hex.data == expected + '\0') << hex.data.size();
  EXPECT_EQ(quoted.status, RegFileStatus::Found);
  EXPECT_TRUE(quoted.data == expected) << quoted.data.size();
  // Two passes over a 13 MB file; a quadratic step would take minutes.
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

}  // namespace
