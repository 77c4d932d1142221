// The registry file parser, through one table of small files: what a lookup finds or misses and the
// lines it skips, read the way Windows' import reads them, in UTF-8 and UTF-16LE; and the file
// written back with one value changed and every other byte kept.
#include <gtest/gtest.h>

#include <string>

#include "regfile/reg_file.h"

namespace mergebridge {

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

// The key with "v" = "old" on line 4.
const std::string kHead = kV5 + kKeyLine + "\"v\"=\"old\"\r\n";

// A version 5 file in which the key holds "v" with `data`; "v" is on line 4.
std::string Val(const std::string& data) {
  return kV5 + kKeyLine + "\"v\"=" + data + "\n";
}

std::string Describe(const RegFileLookup& r) {
  std::string skips;
  for (const RegFileSkip& skip : r.skipped) skips += " skipping " + std::to_string(skip.line);
  if (r.status == RegFileStatus::ParseError) {
    return "line " + std::to_string(r.line) + (r.reason.empty() ? " without a reason" : "");
  }
  return (r.status == RegFileStatus::Found   ? "found [" + r.data + "]"
          : r.status == RegFileStatus::NoKey ? "no key"
                                             : "no value") +
         skips;
}

TEST(RegFile, Lookups) {
  struct Row {
    std::string file, gives, key = kKey, value = "v";
    RegFileRoot root = RegFileRoot::CurrentUser;
  } rows[] = {
      // Values as the registry's narrow functions return them.
      {.file = "\xEF\xBB\xBF" + kV5 + "; top\n" + kKeyLine +
               "  ; indented\n  \"v\" =\t\"j\xC3\xB8rn\" ",
       .gives = "found [j\xC3\xB8rn]"},
      {.file = Val("\"a\\\\b\\\"c\\\\\""), .gives = "found [a\\b\"c\\]"},
      {.file = kV5 + "[hkcu\\software\\HARNVIK\\velmora]\n\"V\"=\"x\"", .gives = "found [x]"},
      {.file = kV5 + kKeyLine + "@=\"d\"\n\"@\"=\"named\"\n", .gives = "found [d]", .value = ""},
      {.file = Val("dword:434241"), .gives = "found [ABC\0]"s},
      {.file = Val("hex:61,6f,00,63"), .gives = "found [ao\0c]"s},
      {.file = Val("hex(2):25,00,48,00,00,00"), .gives = "found [%H\0]"s},
      {.file = "REGEDIT4\n\n" + kKeyLine + "\"v\"=hex(2):25,48,00\n", .gives = "found [%H\0]"s},
      {.file = Val("hex(7):61,00,00,00,\\\r\n  62,00,00,00,\\\r\n  00,00"),
       .gives = "found [a\0b\0\0]"s},
      {.file = Val("hex(1):e9,00,00,08,3d,d8,00,de"),
       .gives = "found [\xC3\xA9\xE0\xA0\x80\xF0\x9F\x98\x80]"},
      {.file = Val("hex(1):00,d8,41,00,42"),
       .gives = "found [\xEF\xBF\xBD\x41]"},  // a lone surrogate, an odd byte
      {.file = kBom16 + Wide(kV5 + "; c\r\n" + kKeyLine + "\"v\"=\"") +
               "\xF8\x00\x3D\xD8\x00\xDE"s + Wide("\"\r\n"),
       .gives = "found [\xC3\xB8\xF0\x9F\x98\x80]"},
      {.file = kV5 + "[HKCU]\n@=\"r\"\n", .gives = "found [r]", .key = "", .value = ""},
      // Keys, other roots and deletions, applied in order as an import would.
      {.file = Val("\"1\"") + "[HKCU\\Other]\n\"v\"=\"o\"\n" + kKeyLine + "\"V\"=\"2\"\n",
       .gives = "found [2]"},
      {.file = Val("\"u\"") + "[HKLM\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n",
       .gives = "found [u]"},
      {.file = kV5 + "[HKLM\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"m\"\n" + kKeyLine +
               "\"v\"=\"u\"\n[-HKCU\\SOFTWARE]\n",
       .gives = "found [m]",
       .root = kMachine},
      {.file = kV5, .gives = "no key"},
      {.file = kV5, .gives = "no value", .key = "", .value = ""},
      {.file = kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora2]\n\"v\"=\"x\"\n", .gives = "no key"},
      {.file = kV5 + "[HKCU\\SOFTWARE\\Harnvik\\Velmora\\Sub]\n\"v\"=\"x\"\n", .gives = "no value"},
      {.file = Val("\"x\"") + "\"V\"=-\n", .gives = "no value"},
      {.file = Val("\"x\"") + "[-HKCU\\software\\harnvik]\n", .gives = "no key"},
      {.file = kV5 + "[-HKCU\\SOFTWARE\\Harnvik\\Velmora]\n\"v\"=\"x\"\n", .gives = "no key"},
      {.file = Val("\"x\"") + "[-HKCU\\SOFTWARE]\n" + kKeyLine, .gives = "no value"},
      // Malformed files: truncated or without a header; faulty lines skipped.
      {.file = kV5 + kKeyLine + "\"v\"=\"/opt/vel", .gives = "no value skipping 4"},
      {.file = kBom16 + Wide(Val("\"x\"")) + "\n", .gives = "line 5"},  // ends inside a UTF-16 unit
      {.file = "\xFE\xFF\0R"s, .gives = "line 1"},
      {.file = "\xEF\xBB\xBF" + kKeyLine + "\"v\"=\"x\"\n", .gives = "line 1"},
      {.file = Val("hex:01,\\\n  02,\\\n  zz"), .gives = "no value skipping 6"},
      {.file = Val("hex:01 02"), .gives = "no value skipping 4"},
      {.file = Val("dword:123456789"), .gives = "no value skipping 4"},
      {.file = kV5 + "[SOFTWARE\\Harnvik\\Velmora]\n", .gives = "no key skipping 3"},
      {.file = kV5 + "[-HKCU]\n", .gives = "no key skipping 3"},
      // Lines Windows' import accepts, and lines it skips while reading the rest.
      {.file = kV5 + "# x\n" + kKeyLine + "#\"v\"=\"x\"\n\"v\"=\"w\"\n", .gives = "found [w]"},
      {.file = kHead + "\"W\"=dword:00000028  ; c\r\n\"v\"=- ; gone\r\n", .gives = "no value"},
      {.file = kHead + "\"v\"=\"a\" \"W\"=\"b\"\r\n", .gives = "found [old] skipping 5"},
      {.file = kHead + "@echo off\r\nset X=1\r\n", .gives = "found [old] skipping 5 skipping 6"},
      {.file = kHead + "\"v\"=\"C:\\n\r\nl\"\r\n", .gives = "found [old] skipping 5 skipping 6"},
      {.file = kV5 + "\"v\"=\"w\"\n[HKCU\\SOFTWARE\\Harnvik\\Velmora\n\"v\"=\"x\"\n",
       .gives = "no key skipping 3 skipping 4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    EXPECT_EQ(Describe(LookUpRegFileValue(row.file, row.root, row.key, row.value)), row.gives);
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
      {"the value's line replaced in place",
       others + kKeyLine + "\"ExePath\"=hex(2):41,00,\\\r\n  00,00 ; c\r\n\"x\"=dword:1",
       others + kKeyLine + "\"ExePath\"=" + quoted + "\r\n\"x\"=dword:1"},
      {"a section added after a deletion, without a last line end",
       kV5 + kKeyLine + "\"ExePath\"=\"v\"\r\n[-HKEY_CURRENT_USER\\SOFTWARE\\Harnvik]",
       kV5 + kKeyLine + "\"ExePath\"=\"v\"\r\n[-HKEY_CURRENT_USER\\SOFTWARE\\Harnvik]\r\n\r\n" +
           kKeyLine + "\"ExePath\"=" + quoted + "\r\n"},
      {"added to the key's last section, after its last line",
       kV5 + kKeyLine + "\"A\"=\"1\"\r\n" + kKeyLine + "; c\r\n\r\n[HKCU\\B]\r\n",
       kV5 + kKeyLine + "\"A\"=\"1\"\r\n" + kKeyLine + "; c\r\n\"ExePath\"=" + quoted +
           "\r\n\r\n[HKCU\\B]\r\n"},
      {"added under a last key line without a line end", kV5 + kKeyLine.substr(0, 44),
       kV5 + kKeyLine + "\"ExePath\"=" + quoted + "\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Result<std::string> after = SetRegFileValue(row.before, kUser, kKey, "ExePath", path);
    ASSERT_TRUE(after.ok()) << after.status.message;
    EXPECT_EQ(after.value, row.after);
    EXPECT_EQ(Describe(LookUpRegFileValue(after.value, kUser, kKey, "ExePath")),
              "found [" + path + "]");
  }
  // A UTF-16 export stays UTF-16, its other values and non-ASCII text intact.
  std::string wide = kBom16 + Wide(kV5 + kKeyLine + "\"A\"=\"\xC3\xB8\"\r\n\"ExePath\"=\"v\"\r\n");
  wide.replace(wide.find("\xC3\0\xB8\0", 0, 4), 4, "\xF8\0", 2);
  const std::string after = SetRegFileValue(wide, kUser, kKey, "ExePath", "/\xE2\x82\xAC").value;
  EXPECT_EQ(after, wide.substr(0, wide.size() - 8) + std::string("/\0\xAC\x20\"\0\r\0\n\0", 10));
  EXPECT_EQ(Describe(LookUpRegFileValue(after, kUser, kKey, "ExePath")), "found [/\xE2\x82\xAC]");
  EXPECT_FALSE(SetRegFileValue(kV5, kUser, kKey, "ExePath", "a\nb").ok());
  EXPECT_FALSE(SetRegFileValue("REGEDIT 4\n", kUser, kKey, "ExePath", "a").ok());
}

// Removing a value takes every line that names it in the key, and nothing else.
TEST(RegFile, RemovingOneValue) {
  const std::string machineKey = "[HKLM\\SOFTWARE\\Harnvik\\Velmora]\r\n";
  const std::string others =
      "[HKLM\\Other]\r\n\"ExePath\"=\"o\"\r\n" + kKeyLine + "\"ExePath\"=\"u\"\r\n";
  const Result<std::string> after = RemoveRegFileValue(
      kV5 + machineKey + "\"A\"=\"1\"\r\n\"ExePath\"=\"x\"\r\n" + others + machineKey +
          "\"exepath\"=hex(2):41,00,\\\r\n  "
          "00,00\r\n\"B\"=\"2\"\r\n\"ExePath\"=-\r\n\"ExePath\"=\"y\"",
      kMachine, kKey, "ExePath");
  ASSERT_TRUE(after.ok()) << after.status.message;
  EXPECT_EQ(after.value,
            kV5 + machineKey + "\"A\"=\"1\"\r\n" + others + machineKey + "\"B\"=\"2\"\r\n");
  // A section left with nothing goes, with its blank lines: setting the value
  // and removing it, ten times over, gives the same two files.
  const std::string unset = kV5 + "[HKCU\\A]\r\n\r\n[HKCU\\B]\r\n";
  std::string file = unset;
  for (int round = 0; round < 10; ++round) {
    file = SetRegFileValue(file, kUser, kKey, "ExePath", "v").value;
    EXPECT_EQ(file, unset + "\r\n" + kKeyLine + "\"ExePath\"=\"v\"\r\n");
    file = RemoveRegFileValue(file, kUser, kKey, "ExePath").value;
    EXPECT_EQ(file, unset + "\r\n");
  }
}

}  // namespace

}  // namespace mergebridge
