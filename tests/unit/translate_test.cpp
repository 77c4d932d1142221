// Translation of ClearCase's command line into the compare tool's argument string, to the space,
// and the tool's full command line built and split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/merge_request.h"
#include "common/text.h"
#include "common/tool_command.h"

namespace mergebridge {

namespace {

using Args = std::vector<std::string>;

// "[toolArgs]" and whatever else the request says.
std::string Translate(const Args& args) {
  std::vector<const char*> argv{"mergebridge"};
  std::string echo;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
    if (!arg.empty()) echo += arg + " ";
  }
  const MergeRequest r = TranslateArguments(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(r.echoLine, echo);
  return "[" + r.toolArgs + "]" + (r.targetName.empty() ? "" : " name=" + r.targetName) +
         (r.outGiven ? " out=" + r.outputPath : "") + (r.statusOnly ? " status-only" : "") +
         (r.abortSeen ? " abort" : "") + (r.badOption ? " bad=" + r.badOptions : "") +
         (r.badValue ? " quoted=" + r.badValues : "");
}

TEST(Translate, Table) {
  const struct {
    const char* name;
    Args args;
    std::string expected;
  } rows[] = {
      {"plain values only; a single @ belongs to the name",
       {"-ABORT", "L@x@@/m/4", "R.txt"},
       "[ /title1=\"L@x\"  \"L@x@@/m/4\" \"R.txt\"] name=L@x abort"},
      {"an empty argument is skipped",
       {"", "L.txt", ""},
       "[ /title1=\"L.txt\"  \"L.txt\"] name=L.txt"},
      {"-base cancels a pending -fname",
       {"-fname", "-base", "X", "Y"},
       "[ /title1=\"Y\"   \"Y\"] name=Y"},
      {"pending flags survive options",
       {"-fname", "-out", "O", "T"},
       "[ /savetarget=\"O\"    /title1=\"T\"] name=T out=O"},
      {"the later -out wins", {"-out", "X", "-out", "Y"}, "[ /savetarget=\"Y\"   ] out=Y"},
      {"a trailing -out keeps the earlier value",
       {"-out", "X", "-out"},
       "[ /savetarget=\"X\"  ] out=X"},
      {"-directory, -serial and ClearCase's own tool options take no value and leave no trace",
       {"-directory", "A", "-tiny", "-HSTACK", "-fname", "-Vstack", "T", "-blank_ignore", "-serial",
        "-out", "-query", "O", "-QALL", "-qntrivial", "B"},
       "[ /savetarget=\"O\"  \"A\"   \"B\" /title1=\"T\"] name=A out=O"},
      {"a script folder never names the element; a script does",
       {"C:\\s.vbs\\x", "B.vbs"},
       "[ /title1=\"B.vbs\"  \"C:\\s.vbs\\x\" \"B.vbs\"] name=B.vbs"},
      {"an empty element part tries the next value",
       {"@@/main/1", "b@@/x"},
       "[ /title1=\"b\"  \"@@/main/1\" \"b@@/x\"] name=b"},
      {"unknown options, abbreviations included, all named",
       {"-", "-outfile", "x", "-status_only", "-ab", "-q", "-qallx", "-blank"},
       "[ \"x\"] name=x status-only bad=- -outfile -ab -q -qallx -blank "},
      {"look-alikes of option letters are no options",
       {"-\xc1\x42ORT", "-\xc3\x81\x62ort", "-OU\xd4", "-out\xa0"},
       "[] bad=-\xc1\x42ORT -\xc3\x81\x62ort -OU\xd4 -out\xa0 "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Translate(row.args), row.expected);
  }
}

TEST(ToolCommand, BuiltAndSplit) {
  const struct {
    std::string path, args = "";
    bool statusOnly = false;
    std::string commandLine = "";  // empty: the split says it all
    Args split = {};
  } rows[] = {
      {.path = "/opt/v/velmora",
       .statusOnly = true,
       .commandLine = "/opt/v/velmora /qc ",
       .split = {"/opt/v/velmora", "/qc"}},
      {.path = "c:\\v\\v.exe",
       .args = " \"L\" \"\"",
       .statusOnly = true,
       .split = {"c:\\v\\v.exe", "/qc", "L", ""}},
      {.path = "c:\\tab\there\\v.exe",
       .commandLine = "\"c:\\tab\there\\v.exe\" ",
       .split = {"c:\\tab\there\\v.exe"}},
      {.path = "\"c:\\p q\\v.exe\"",
       .args = "\t/t=\"a b\"c \\\\x\\",
       .split = {"c:\\p q\\v.exe", "/t=a bc", "\\\\x\\"}},
  };
  for (const auto& row : rows) {
    const std::string built = BuildToolCommandLine(row.path, row.args, row.statusOnly);
    if (!row.commandLine.empty()) {
      EXPECT_EQ(built, row.commandLine);
    }
    EXPECT_EQ(SplitToolCommandLine(built), row.split) << built;
  }
  // Only ASCII letters fold, so a path keeps its bytes above 127.
  std::string path = "Z:\\\xc4\xd6\xdc\\VELMORA\xc9.EXE";
  LowerCaseAscii(path);
  EXPECT_EQ(path, "z:\\\xc4\xd6\xdc\\velmora\xc9.exe");
}

}  // namespace

}  // namespace mergebridge
