// The tool's full command line, read back the way the tool reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "common/tool_command.h"

namespace {

TEST(ToolCommand, Layout) {
  struct Row {
    std::string path, args;
    bool statusOnly;
    std::string expected;
  } rows[] = {
      {"/opt/v/velmora", "", false, "/opt/v/velmora "},
      {"/opt/v/velmora", "", true, "/opt/v/velmora /qc "},
      {"c:\\v\\velmora.exe", " \"L\"", false, "c:\\v\\velmora.exe  \"L\""},
      {"c:\\v\\velmora.exe", " \"L\"", true, "c:\\v\\velmora.exe /qc  \"L\""},
      {"c:\\program files\\v.exe", " \"L\"", false, "\"c:\\program files\\v.exe\"  \"L\""},
      {"c:\\tab\there\\v.exe", "", false, "\"c:\\tab\there\\v.exe\" "},
      {"\"c:\\program files\\v.exe\"", "", false, "\"c:\\program files\\v.exe\" "},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(BuildToolCommandLine(row.path, row.args, row.statusOnly), row.expected);
  }
}

// Only ASCII letters fold, so a path keeps its bytes above 127 when lower-cased.
TEST(ToolCommand, LowerCasingLeavesBytesAbove127) {
  std::string path = "C:\\\xc4\xd6\xdc\\VELMORA\xc9.EXE";
  LowerCaseAscii(path);
  EXPECT_EQ(path, "c:\\\xc4\xd6\xdc\\velmora\xc9.exe");
}

TEST(ToolCommand, Split) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(SplitToolCommandLine(""), Args{});
  EXPECT_EQ(SplitToolCommandLine("  a\t b  "), (Args{"a", "b"}));
  EXPECT_EQ(SplitToolCommandLine("\"\" x"), (Args{"", "x"}));
  EXPECT_EQ(SplitToolCommandLine("/t=\"a b\"c \\\\x\\"), (Args{"/t=a bc", "\\\\x\\"}));
  EXPECT_EQ(SplitToolCommandLine("\"open"), (Args{"open"}));
}

}  // namespace
