// The registry file parser, through one table of small files: what a lookup
// finds or misses, and the line it names in a malformed file, in UTF-8 and
// UTF-16LE.
#include <gtest/gtest.h>

#include <string>

#include "host/reg_file.h"

namespace {

using namespace std::string_literals;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKey = "SOFTWARE\\Harnvik\\Velmora";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n";
const std::string kBom16 = "\xFF\xFE";

// ASCII text as UTF-16LE code units, without a byte-order mark.
std::string Wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// A version 5 file in which the key holds "v" with `data`; "v" is on line 4.
std::string Val(const std::string& data) { return kV5 + kKeyLine + "\"v\"=" + data + "\n"; }

std::string Describe(const RegFileLookup& r) {
  std::string skips;
  for (const RegFileSkip& skip : r.skipped) skips += " skipping " + std::to_string(skip.line);
  if (r.status == RegFileStatus::ParseError) {
    return "line " + std::to_string(r.line) + (r.reason.empty() ? " without a reason" : "");
  }
  return (r.status == RegFileStatus::Found ? "found [" + r.data + "]"
          : r.status == RegFileStatus::NoKey ? "no key" : "no value") + skips;
}

TEST(RegFile, Lookups) {
  struct Row {
    std::string file, expected, key = kKey, value = "v";
  } rows[] = {
      // Values as the registry's narrow functions return them.
      {"\xEF\xBB\xBF" + kV5 + "; top\n" + kKeyLine + "  ; indented\n  \"v\" =\t\"j\xC3\xB8rn\" ",
       "found [j\xC3\xB8rn]"},
      {Val("\"a\\\\b\\\"c\\\\\""), "found [a\\b\"c\\]"},
      {Val("\"\""), "found []"},
      {kV5 + "[hkcu\\software\\HARNVIK\\velmora]\n\"EXEPATH\"=\"x\"", "found [x]", kKey, "ExePath"},
      {kV5 + kKeyLine + "@=\"d\"\n\"@\"=\"named\"\n", "found [d]", kKey, ""},
      {Val("dword:434241"), "found [ABC\0]"s},
      {Val("hex:61,6f,00,63"), "found [ao\0c]"s},
      {Val("hex(2):25,00,48,00,00,00"), "found [%H\0]"s},
      {"REGEDIT4\n\n" + kKeyLine + "\"v\"=hex(2):25,48,00\n", "found [%H\0]"s},
      {Val("hex(7):61,00,00,00,\\\r\n  62,00,00,00,\\\r\n  00,00"), "found [a\0b\0\0]"s},
      {Val("hex(1):e9,00,00,08,3d,d8,00,de"), "found [\xC3\xA9\xE0\xA0\x80\xF0\x9F\x98\x80]"},
      {Val("hex(1):00,d8,41,00,42"), "found [\xEF\xBF\xBD" "A]"},  // lone surrogate, odd byte
      {kBom16 + Wide(kV5 + "; c\r\n" + kKeyLine + "\"v\"=\"") + "\xF8\x00\x3D\xD8\x00\xDE"s +
           Wide("\"\r\n"),
       "found [\xC3\xB8\xF0\x9F\x98\x80]"},
      {kV5 + "[HKEY_CURRENT_USER]\n@=\"r\"\n", "found [r]", "", ""},
      // Keys, other roots and deletions, applied in order as an import would.
      {Val("\"1\"") + "[HKCU\\Other]\n\"v\"=\"o\"\n" + kKeyLine + "\"V\"=\"2\"\n", "found [2]"},
      {Val("\"u\"") + "[HKLM\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n", "found [u]"},
      {Val("\"1\"") + "[-HKCU\\SOFTWARE\\Harnvik\\Velmora2]\n", "found [1]"},
      {kV5, "no key"},
      {kV5, "no value", "", ""},
      {kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora2]\n\"v\"=\"x\"\n", "no key"},
      {kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora\\Sub]\n\"v\"=\"x\"\n", "no value"},
      {Val("\"x\"") + "\"V\"=-\n", "no value"},
      {Val("\"x\"") + "[-HKCU\\software\\harnvik]\n", "no key"},
      {kV5 + "[-HKCU\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"x\"\n", "no key"},
      {Val("\"x\"") + "[-HKCU\\SOFTWARE]\n" + kKeyLine, "no value"},
      // Malformed files: truncated or without a header; faulty lines skipped.
      {kV5 + kKeyLine + "\"v\"=\"/opt/vel", "no value skipping 4"},
      {kBom16 + Wide(Val("\"x\"")) + "\n", "line 5"},  // ends inside a UTF-16 unit
      {"\xFE\xFF\0R"s, "line 1"},
      {"\xEF\xBB\xBF" + kKeyLine + "\"v\"=\"x\"\n", "line 1"},
      {kV5 + "[HKCU\\SOFTWARE\\Har", "no key skipping 3"},
      {Val("hex:01,\\"), "no value skipping 4"},
      {Val("hex:01,\\\n  02,\\\n  zz"), "no value skipping 6"},
      {Val("hex:01 02"), "no value skipping 4"},
      {Val("dword:123456789"), "no value skipping 4"},
      {Val("\"C:\\Program Files\""), "no value skipping 4"},
      {kV5 + kKeyLine + "\"v\" \"x\"\n", "no value skipping 4"},
      {Val("\"fine\"") + "# a comment\n", "found [fine]"},
      {kV5 + "\"v\"=\"x\"\n" + kKeyLine, "no value skipping 3"},
      {kV5 + "[SOFTWARE\\Harnvik\\Velmora]\n", "no key skipping 3"},
      {kV5 + "[-HKCU]\n", "no key skipping 3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    EXPECT_EQ(Describe(LookUpRegFileValue(row.file, row.key, row.value)), row.expected);
  }
}

}  // namespace
