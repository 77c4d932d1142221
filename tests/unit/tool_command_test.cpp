// The tool's full command line, read back the way the tool reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/merge_request.h"
#include "bridge/text.h"
#include "bridge/tool_command.h"

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

// Whatever the values, the tool gets back exactly the files, titles and save
// target that ClearCase passed.
TEST(ToolCommand, RoundTripThroughTranslation) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"-out", "C:\\My Views\\o u t.c", "-fname", "a b@@\\main\\1", "-fname", "c\td@@\\x",
       "\\\\host\\share\\l f.txt", "m\\\\.txt", "/abs/path"},
      {"x@@y", "  lead and trail  ", "\\", "'single'", "%s%ld", "\xe4\xf6\xfc"},
      {"-base", "B", "-fname", "only", "P", "-out", "/tmp/o"},
  };
  for (const auto& args : commandLines) {
    std::vector<const char*> argv{"mergebridge"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    MergeRequest request;
    TranslateArguments(static_cast<int>(argv.size()), argv.data(), request);
    ASSERT_FALSE(request.badOption || request.badValue);
    const std::vector<std::string> got =
        SplitToolCommandLine(BuildToolCommandLine("/opt/velmora dir/velmora", request.toolArgs, true));

    std::vector<std::string> expected{"/opt/velmora dir/velmora", "/qc"};
    if (!request.outputPath.empty()) expected.push_back("/savetarget=" + request.outputPath);
    if (request.titleCount == 0 && !request.targetName.empty()) {
      expected.push_back("/title1=" + request.targetName);
    }
    // The plain values, in order.
    bool out = false, base = false, fname = false;
    for (const std::string& arg : args) {
      if (arg == "-out") out = true;
      else if (arg == "-base") base = true;
      else if (arg == "-fname") fname = true;
      else if (out) out = false;
      else if (base) base = fname = false;
      else if (fname) fname = false;
      else expected.push_back(arg);
    }
    if (request.titleCount > 0) expected.push_back("/title1=" + request.titles[0]);
    if (request.titleCount > 1) expected.push_back("/title2=" + request.titles[1]);
    EXPECT_EQ(got, expected) << request.toolArgs;
  }
}

}  // namespace
