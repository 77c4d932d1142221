// The registry file read the way Windows' import reads it (lines it accepts,
// lines it skips), and written back with one value changed and every other
// byte kept.
#include <gtest/gtest.h>

#include <string>

#include "host/reg_file.h"

namespace {

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKey = "SOFTWARE\\Harnvik\\Velmora";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n";

std::string Read(const std::string& file) {
  const RegFileLookup r = LookUpRegFileValue(file, kKey, "ExePath");
  std::string text = r.status == RegFileStatus::Found ? "[" + r.data + "]"
                     : r.status == RegFileStatus::NoKey ? "no key" : "no value";
  for (const RegFileSkip& skip : r.skipped) text += " -" + std::to_string(skip.line);
  return text;
}

TEST(RegImport, AcceptedAndSkippedLines) {
  const std::string head = kV5 + kKeyLine + "\"ExePath\"=\"old\"\r\n";  // the value on line 4
  const struct {
    std::string file, expected;
  } rows[] = {
      {kV5 + kKeyLine + "\"ExePath\"=\"v\"  ; Last value preserved\r\n", "[v]"},
      {kV5 + "# exported\r\n" + kKeyLine + "#\"ExePath\"=\"x\"\r\n\"ExePath\"=\"v\"\r\n", "[v]"},
      {head + "\"W\"=dword:00000028  ; c\r\n\"ExePath\"=- ; gone\r\n", "no value"},
      {head + "\"ExePath\"=\"a\" \"W\"=\"b\"\r\n", "[old] -5"},
      {head + "@echo off\r\nset X=1\r\n/* note */\r\nstray\r\n", "[old] -5 -6 -7 -8"},
      {head + "\"ExePath\"=\"C:\\new\r\nline\"\r\n", "[old] -5 -6"},
      {head + "\"ExePath\"=dword:000000001\r\n", "[old] -5"},
      {kV5 + kKeyLine + "\"ExePath\"=\"C:\\Program Files\\v.exe\"\r\n", "no value -4"},
      {kV5 + "\"ExePath\"=\"v\"\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora\r\n"
           "\"ExePath\"=\"w\"\r\n", "no key -3 -4"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    EXPECT_EQ(Read(row.file), row.expected);
  }
}

TEST(RegImport, WritingOneValue) {
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
    ASSERT_TRUE(SetRegFileValue(row.before, kKey, "ExePath", path, after, fault)) << fault;
    EXPECT_EQ(after, row.after);
    EXPECT_EQ(Read(after), "[" + path + "]");
  }
  // A UTF-16 export stays UTF-16, its other values and non-ASCII text intact.
  std::string wide = "\xFF\xFE";
  for (char c : kV5 + kKeyLine + "\"A\"=\"\xC3\xB8\"\r\n\"ExePath\"=\"v\"\r\n") wide += {c, '\0'};
  wide.replace(wide.find("\xC3\0\xB8\0", 0, 4), 4, "\xF8\0", 2);
  std::string after, fault;
  ASSERT_TRUE(SetRegFileValue(wide, kKey, "ExePath", "/\xE2\x82\xAC", after, fault));
  EXPECT_EQ(after, wide.substr(0, wide.size() - 8) + std::string("/\0\xAC\x20\"\0\r\0\n\0", 10));
  EXPECT_EQ(Read(after), "[/\xE2\x82\xAC]");
  EXPECT_FALSE(SetRegFileValue(kV5, kKey, "ExePath", "a\nb", after, fault));
  EXPECT_FALSE(SetRegFileValue("REGEDIT 4\n", kKey, "ExePath", "a", after, fault));
}

}  // namespace
