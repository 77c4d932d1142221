// The registry file parser, through one table of small files: what a lookup
// finds or misses and the lines it skips, read the way Windows' import reads
// them, in UTF-8 and UTF-16LE; and the file written back with one value
// changed and every other byte kept.
#include <gtest/gtest.h>

#include <string>

#include "regfile/reg_file.h"

namespace {

using namespace std::string_literals;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKey = "SOFTWARE\\Harnvik\\Velmora";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n";
const std::string kBom16 = "\xFF\xFE";
const RegFileRoot kUser = RegFileRoot::CurrentUser, kMachine = RegFileRoot::LocalMachine;

// ASCII text as UTF-16LE code units, without a byte-order mark.
std::string Wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// The key with ExePath "old" on line 4.
const std::string kHead = kV5 + kKeyLine + "\"ExePath\"=\"old\"\r\n";

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
    RegFileRoot root = RegFileRoot::CurrentUser;
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
      {kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n" + kKeyLine +
           "\"v\"=\"u\"\n[-HKCU\\SOFTWARE]\n",
       "found [m]", kKey, "v", kMachine},
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
      // Lines Windows' import accepts, and lines it skips while reading the rest.
      {kV5 + kKeyLine + "\"ExePath\"=\"v\"  ; Last value preserved\r\n",
       "found [v]", kKey, "ExePath"},
      {kV5 + "# exported\r\n" + kKeyLine + "#\"ExePath\"=\"x\"\r\n\"ExePath\"=\"v\"\r\n",
       "found [v]", kKey, "ExePath"},
      {kHead + "\"W\"=dword:00000028  ; c\r\n\"ExePath\"=- ; gone\r\n",
       "no value", kKey, "ExePath"},
      {kHead + "\"ExePath\"=\"a\" \"W\"=\"b\"\r\n", "found [old] skipping 5", kKey, "ExePath"},
      {kHead + "@echo off\r\nset X=1\r\n/* note */\r\nstray\r\n",
       "found [old] skipping 5 skipping 6 skipping 7 skipping 8", kKey, "ExePath"},
      {kHead + "\"ExePath\"=\"C:\\new\r\nline\"\r\n",
       "found [old] skipping 5 skipping 6", kKey, "ExePath"},
      {kHead + "\"ExePath\"=dword:000000001\r\n", "found [old] skipping 5", kKey, "ExePath"},
      {kV5 + kKeyLine + "\"ExePath\"=\"C:\\Program Files\\v.exe\"\r\n",
       "no value skipping 4", kKey, "ExePath"},
      {kV5 + "\"ExePath\"=\"v\"\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora\r\n"
           "\"ExePath\"=\"w\"\r\n", "no key skipping 3 skipping 4", kKey, "ExePath"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    EXPECT_EQ(Describe(LookUpRegFileValue(row.file, row.root, row.key, row.value)), row.expected);
  }
}

TEST(RegFile, WritingOneValue) {
  const std::string path = "C:\\Program Files\\\"V\"\\v.exe";
  const std::string quoted = "\"C:\\\\Program Files\\\\\\\"V\\\"\\\\v.exe\"";
  const std::string others = kV5 + "; mine\r\n[HKEY_CURRENT_USER\\Other]\r\n\"ExePath\"=\"o\"\r\n";
  const struct {
    const char* name;
    std::string before, after;
  } rows[] = {
      {"a new file", "", "Windows Registry Editor Version 5.00\n\n" + kKeyLine.substr(0, 44) +
                             "\n\"ExePath\"=" + quoted + "\n"},
      {"the value's line replaced in place",
       others + kKeyLine + "\"ExePath\"=hex(2):41,00,\\\r\n  00,00 ; c\r\n\"x\"=dword:1",
       others + kKeyLine + "\"ExePath\"=" + quoted + "\r\n\"x\"=dword:1"},
      {"a section added after a deletion, without a last line end",
       kV5 + kKeyLine + "\"ExePath\"=\"v\"\r\n[-HKEY_CURRENT_USER\\SOFTWARE\\Harnvik]",
       kV5 + kKeyLine + "\"ExePath\"=\"v\"\r\n[-HKEY_CURRENT_USER\\SOFTWARE\\Harnvik]\r\n\r\n" +
           kKeyLine + "\"ExePath\"=" + quoted + "\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string after, fault;
    ASSERT_TRUE(SetRegFileValue(row.before, kUser, kKey, "ExePath", path, after, fault)) << fault;
    EXPECT_EQ(after, row.after);
    EXPECT_EQ(Describe(LookUpRegFileValue(after, kUser, kKey, "ExePath")), "found [" + path + "]");
  }
  // A UTF-16 export stays UTF-16, its other values and non-ASCII text intact.
  std::string wide = kBom16 + Wide(kV5 + kKeyLine + "\"A\"=\"\xC3\xB8\"\r\n\"ExePath\"=\"v\"\r\n");
  wide.replace(wide.find("\xC3\0\xB8\0", 0, 4), 4, "\xF8\0", 2);
  std::string after, fault;
  ASSERT_TRUE(SetRegFileValue(wide, kUser, kKey, "ExePath", "/\xE2\x82\xAC", after, fault));
  EXPECT_EQ(after, wide.substr(0, wide.size() - 8) + std::string("/\0\xAC\x20\"\0\r\0\n\0", 10));
  EXPECT_EQ(Describe(LookUpRegFileValue(after, kUser, kKey, "ExePath")), "found [/\xE2\x82\xAC]");
  EXPECT_FALSE(SetRegFileValue(kV5, kUser, kKey, "ExePath", "a\nb", after, fault));
  EXPECT_FALSE(SetRegFileValue("REGEDIT 4\n", kUser, kKey, "ExePath", "a", after, fault));
}

// Removing a value takes every line that names it in the key, and nothing else.
TEST(RegFile, RemovingOneValue) {
  const std::string machineKey = "[HKLM\\SOFTWARE\\Harnvik\\Velmora]\r\n";
  const std::string others = "[HKLM\\Other]\r\n\"ExePath\"=\"o\"\r\n" + kKeyLine + "\"ExePath\"=\"u\"\r\n";
  const struct {
    std::string before, after;
  } rows[] = {
      {kV5 + machineKey + "\"A\"=\"1\"\r\n\"ExePath\"=\"x\"\r\n" + others + machineKey +
           "\"exepath\"=hex(2):41,00,\\\r\n  00,00\r\n\"B\"=\"2\"\r\n\"ExePath\"=-\r\n\"ExePath\"=\"y\"",
       kV5 + machineKey + "\"A\"=\"1\"\r\n" + others + machineKey + "\"B\"=\"2\"\r\n"},
      {kV5 + others, kV5 + others},
      {kBom16 + Wide(kV5 + machineKey + "\"ExePath\"=\"x\"\r\n"), kBom16 + Wide(kV5 + machineKey)},
      {"", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.before);
    std::string after, fault;
    ASSERT_TRUE(RemoveRegFileValue(row.before, kMachine, kKey, "ExePath", after, fault)) << fault;
    EXPECT_EQ(after, row.after);
  }
}

}  // namespace
