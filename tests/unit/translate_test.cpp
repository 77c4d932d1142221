// Translation of ClearCase's command line into the compare tool's arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/merge_request.h"

namespace {

struct Row {
  const char* name;
  std::vector<std::string> args;  // without the program name
  std::string toolArgs;
  std::string targetName;
  std::string outputPath;
  std::vector<std::string> titles;  // the filled titles, oldest first
  bool outGiven;
};

MergeRequest Translate(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  MergeRequest request;
  TranslateArguments(static_cast<int>(argv.size()), argv.data(), request);
  return request;
}

void Check(const Row& row) {
  SCOPED_TRACE(row.name);
  const MergeRequest request = Translate(row.args);
  EXPECT_EQ(request.toolArgs, row.toolArgs);
  EXPECT_EQ(request.targetName, row.targetName);
  EXPECT_EQ(request.outputPath, row.outputPath);
  ASSERT_EQ(request.titleCount, static_cast<int>(row.titles.size()));
  for (size_t i = 0; i < row.titles.size(); ++i) EXPECT_EQ(request.titles[i], row.titles[i]);
  EXPECT_EQ(request.outGiven, row.outGiven);
  EXPECT_FALSE(request.badOption);
  EXPECT_FALSE(request.badValue);
  std::string echo;
  for (const std::string& arg : row.args) {
    if (!arg.empty()) echo += arg + " ";
  }
  EXPECT_EQ(request.echoLine, echo);
}

TEST(Translate, WorkedExamples) {
  const Row rows[] = {
      {"eight arguments of a two-contributor merge",
       {"-out", "R.txt", "-fname", "a.c@@/main/1", "-fname", "a.c@@/main/2", "L.txt", "M.txt"},
       " /savetarget=\"R.txt\"     \"L.txt\" \"M.txt\" /title1=\"a.c@@/main/1\" "
       "/title2=\"a.c@@/main/2\"",
       "a.c", "R.txt", {"a.c@@/main/1", "a.c@@/main/2"}, true},
      {"plain values only", {"-ABORT", "L@@/m/4", "R.txt"},
       " /title1=\"L\"  \"L@@/m/4\" \"R.txt\"", "L", "", {}, false},
      {"consumed values leave their spaces",
       {"-base", "B.txt", "-fname", "x@@1", "-fname", "y@@2", "-fname", "z@@3", "P.txt", "Q.txt",
        "-out", "O.txt"},
       " /savetarget=\"O.txt\"      \"P.txt\" \"Q.txt\"  /title1=\"y@@2\" /title2=\"z@@3\"", "x",
       "O.txt", {"y@@2", "z@@3"}, true},
  };
  for (const Row& row : rows) Check(row);
}

TEST(Translate, OptionsAndPendingValues) {
  const Row rows[] = {
      {"no arguments", {}, "", "", "", {}, false},
      {"an empty argument is skipped", {"", "L.txt", ""}, " /title1=\"L.txt\"  \"L.txt\"", "L.txt",
       "", {}, false},
      {"a dash inside a name is a value", {"file-name.txt"},
       " /title1=\"file-name.txt\"  \"file-name.txt\"", "file-name.txt", "", {}, false},
      {"option names ignore case", {"-OUT", "O", "-Fname", "F", "X"},
       " /savetarget=\"O\"    \"X\" /title1=\"F\"", "F", "O", {"F"}, true},
      {"three -fname values keep the last two", {"-fname", "x", "-fname", "y", "-fname", "z"},
       "    /title1=\"y\" /title2=\"z\"", "x", "", {"y", "z"}, false},
      {"-base drops its value, then -fname", {"-base", "X", "-fname", "Y"}, "   /title1=\"Y\"",
       "Y", "", {"Y"}, false},
      {"-base cancels a pending -fname", {"-fname", "-base", "X", "Y"},
       " /title1=\"Y\"   \"Y\"", "Y", "", {}, false},
      {"pending flags survive options", {"-fname", "-out", "O", "T"},
       " /savetarget=\"O\"    /title1=\"T\"", "T", "O", {"T"}, true},
      {"out is tested before fname", {"-out", "-fname", "A", "B"},
       " /savetarget=\"A\"    /title1=\"B\"", "B", "A", {"B"}, true},
      {"the later -out wins", {"-out", "X", "-out", "Y"}, " /savetarget=\"Y\"   ", "", "Y", {},
       true},
      {"a trailing -out keeps the earlier value", {"-out", "X", "-out"}, " /savetarget=\"X\"  ",
       "", "X", {}, true},
      {"-out with no value", {"-out"}, "", "", "", {}, true},
      {"-directory and -serial take no value", {"-directory", "A", "-serial", "B"},
       " /title1=\"A\"  \"A\" \"B\"", "A", "", {}, false},
      {"a script folder never names the element", {"C:\\s.vbs\\x", "B.txt"},
       " /title1=\"B.txt\"  \"C:\\s.vbs\\x\" \"B.txt\"", "B.txt", "", {}, false},
      {"a script folder title is still a title", {"-fname", "a.vbs\\b", "c@@/m/1"},
       "  \"c@@/m/1\" /title1=\"a.vbs\\b\"", "c", "", {"a.vbs\\b"}, false},
      {"an empty element part tries the next value", {"@@/main/1", "b@@/x"},
       " /title1=\"b\"  \"@@/main/1\" \"b@@/x\"", "b", "", {}, false},
      {"a bare trailing -fname", {"A.txt", "-fname"}, " /title1=\"A.txt\"  \"A.txt\"", "A.txt",
       "", {}, false},
  };
  for (const Row& row : rows) Check(row);
}

// Command lines in the shapes ClearCase produces on Windows.
TEST(Translate, ClearCaseCommandLines) {
  const Row rows[] = {
      {"version-extended paths with backslashes",
       {"-fname", "E:\\v\\f.frm@@\\main\\3\\1", "-fname", "E:\\v\\f.frm@@\\main\\4",
        "E:\\v\\f.frm@@\\main\\3\\1", "E:\\v\\f.frm@@\\main\\4"},
       "   \"E:\\v\\f.frm@@\\main\\3\\1\" \"E:\\v\\f.frm@@\\main\\4\" "
       "/title1=\"E:\\v\\f.frm@@\\main\\3\\1\" /title2=\"E:\\v\\f.frm@@\\main\\4\"",
       "E:\\v\\f.frm", "", {"E:\\v\\f.frm@@\\main\\3\\1", "E:\\v\\f.frm@@\\main\\4"}, false},
      {"UNC storage paths",
       {"\\\\host\\ccstg\\vob.vbs\\s\\sdft\\2a\\1f\\0-3a1e", "\\\\host\\share\\src\\m.c"},
       " /title1=\"\\\\host\\share\\src\\m.c\"  \"\\\\host\\ccstg\\vob.vbs\\s\\sdft\\2a\\1f\\0-3a1e\" "
       "\"\\\\host\\share\\src\\m.c\"",
       "\\\\host\\share\\src\\m.c", "", {}, false},
      {"paths with spaces",
       {"-out", "C:\\My Views\\dev\\a b.c", "-fname", "C:\\My Views\\dev\\a b.c@@\\main\\2",
        "C:\\Documents and Settings\\u\\Local Settings\\Temp\\ccm1"},
       " /savetarget=\"C:\\My Views\\dev\\a b.c\"    \"C:\\Documents and Settings\\u\\Local "
       "Settings\\Temp\\ccm1\" /title1=\"C:\\My Views\\dev\\a b.c@@\\main\\2\"",
       "C:\\My Views\\dev\\a b.c", "C:\\My Views\\dev\\a b.c", {"C:\\My Views\\dev\\a b.c@@\\main\\2"},
       true},
      {"snapshot view: one -fname per contributor, then temporary copies",
       {"-base", "C:\\Temp\\base.1", "-out", "C:\\snap\\vob\\a.c", "-fname", "a.c@@\\main\\1",
        "-fname", "a.c@@\\main\\dev\\2", "-fname", "a.c@@\\main\\3", "C:\\Temp\\c1.2",
        "C:\\Temp\\c2.3"},
       " /savetarget=\"C:\\snap\\vob\\a.c\"       \"C:\\Temp\\c1.2\" \"C:\\Temp\\c2.3\" "
       "/title1=\"a.c@@\\main\\dev\\2\" /title2=\"a.c@@\\main\\3\"",
       "a.c", "C:\\snap\\vob\\a.c", {"a.c@@\\main\\dev\\2", "a.c@@\\main\\3"}, true},
  };
  for (const Row& row : rows) Check(row);
}

// Oversized and high-byte command lines pass whole, in linear time.
TEST(Translate, OversizedAndHighByteValues) {
  const std::string big(1 << 20, 'b'), dbcs = "\x83\x40\x81\x5c.txt";  // trail bytes '@', '\'
  std::string allHigh, manyArgs = " /title1=\"f0\" ";
  for (int c = 0x80; c <= 0xff; ++c) allHigh += static_cast<char>(c);
  std::vector<std::string> many;
  for (int i = 0; i < 100000; ++i) {
    manyArgs += " \"" + many.emplace_back("f" + std::to_string(i) + "@@/main/1") + "\"";
  }
  const Row rows[] = {
      {"100,000 values", many, manyArgs, "f0", "", {}, false},
      {"a mebibyte in every place",
       {"-out", big, "-fname", big + "@@", "-fname", big, big, big + "@@"},
       " /savetarget=\"" + big + "\"     \"" + big + "\" \"" + big + "@@\" /title1=\"" + big +
           "@@\" /title2=\"" + big + "\"",
       big, big, {big + "@@", big}, true},
      {"bytes above 127", {"-out", "\xe9t\xe9.c", dbcs + "@@\\main\\1", allHigh},
       " /savetarget=\"\xe9t\xe9.c\"  /title1=\"" + dbcs + "\"   \"" + dbcs + "@@\\main\\1\" \"" +
           allHigh + "\"",
       dbcs, "\xe9t\xe9.c", {}, true},
  };
  for (const Row& row : rows) Check(row);
}

TEST(Translate, FlagsAndUnrecognisedOptions) {
  struct FlagRow {
    std::vector<std::string> args;
    bool statusOnly, abortSeen;
    std::string badOptions;
  } rows[] = {
      {{"-status_only", "-abort"}, true, true, ""},
      {{"-Status_Only"}, true, false, ""},
      {{"-", "a"}, false, false, "- "},
      {{"-outfile", "x", "-ab", "-status_only"}, true, false, "-outfile -ab "},
      // Latin-1 and UTF-8 look-alikes of option letters are no options.
      {{"-\xc1" "BORT", "-\xc3\x81" "bort", "-OU\xd4", "-out\xa0"}, false, false,
       "-\xc1" "BORT -\xc3\x81" "bort -OU\xd4 -out\xa0 "},
  };
  for (const FlagRow& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "" : row.args[0]);
    const MergeRequest request = Translate(row.args);
    EXPECT_EQ(request.statusOnly, row.statusOnly);
    EXPECT_EQ(request.abortSeen, row.abortSeen);
    EXPECT_EQ(request.badOption, !row.badOptions.empty());
    EXPECT_EQ(request.badOptions, row.badOptions);
  }
  // A refused command line is not finished: no title or save target is added.
  EXPECT_EQ(Translate({"-out", "O", "-x", "A"}).toolArgs, "  \"A\"");
}

// A double quote in any value would end our quoting early and let the rest of the
// value act as the tool's own switches.
TEST(Translate, ValuesWithDoubleQuotesAreRefused) {
  const std::string injected = "x\" /savetarget=\"C:\\other";
  const std::vector<std::string> cases[] = {
      {injected},
      {"-fname", injected, "A"},
      {"-out", injected, "A"},
      {"-base", "b\"", "A", "\"q"},
  };
  for (const auto& args : cases) {
    const MergeRequest request = Translate(args);
    EXPECT_TRUE(request.badValue);
    EXPECT_EQ(request.toolArgs.find("savetarget"), std::string::npos) << request.toolArgs;
    for (const std::string& arg : args) {
      if (arg.find('"') != std::string::npos) {
        EXPECT_NE(request.badValues.find(arg + " "), std::string::npos);
        EXPECT_EQ(request.toolArgs.find(arg), std::string::npos);
      }
    }
  }
  EXPECT_EQ(Translate({"-base", "b\"", "A", "\"q"}).badValues, "b\" \"q ");
}

}  // namespace
