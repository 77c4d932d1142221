// The type-manager map editor through one table: a map and the managers in, the installed map out;
// installing again changes nothing; uninstalling gives back the original bytes, or leaves alone a
// line someone changed meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/json_text.h"
#include "setup/link_plan.h"
#include "setup/map_edit.h"
#include "setup/unified_diff.h"
#include "setup/velmora_record.h"

namespace mergebridge {

namespace {

const std::string kBridge = "C:\\Program Files\\mergebridge\\mergebridge.exe";
const std::string kDiff = "..\\..\\bin\\cleardiffmrg.exe";
const std::vector<std::string> kUsual = {"text_file_delta", "z_text_file_delta", "whole_copy",
                                         "z_whole_copy"};

// "{B}" stands for the bridge, "{D}" for ClearCase's own compare tool.
std::string X(std::string text) {
  for (const auto& [mark, with] : {std::pair{"{B}", kBridge}, {"{D}", kDiff}}) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, 3, with);
  }
  return text;
}

struct Row {
  const char* name = "";
  std::string map, installed;
  std::vector<std::string> managers = kUsual;
  std::string meanwhile = "";    // after install, this text replaces the first "{B}" line's program
  std::string uninstalled = "";  // empty: the original map
  size_t notesOnUninstall = 0;
};

TEST(MapEdit, InstallAgainAndUninstall) {
  const std::string other = "C:\\Tools\\other.exe";
  const Row rows[] = {
      {.name = "CRLF, comments, blanks, tabs and odd spacing stay",
       .map = "; map\r\n\r\n; text_file_delta xcompare {D}\r\n"
              "  text_file_delta\t xcompare\t{D}  \r\ntext_file_delta construct_version "
              "..\\bin\\tfdmgr.exe\r\n\t\r\nwhole_copy xmerge {D}\r\n",
       .installed = "; map\r\n\r\n; text_file_delta xcompare {D}\r\n"
                    "  text_file_delta\t xcompare\t{B}  \r\ntext_file_delta construct_version "
                    "..\\bin\\tfdmgr.exe\r\n\t\r\nwhole_copy xmerge {B}\r\n"},
      {.name = "LF, no line end at the end",
       .map = "text_file_delta xmerge {D}\nwhole_copy xcompare {D}",
       .installed = "text_file_delta xmerge {B}\nwhole_copy xcompare {B}"},
      {.name = "a manager absent from the map, or not chosen",
       .map = "binary_delta xmerge {D}\ntext_file_delta xmerge {D}\n",
       .installed = "binary_delta xmerge {D}\ntext_file_delta xmerge {D}\n",
       .managers = {"z_whole_copy"}},
      {.name = "a method already running mergebridge is not recorded",
       .map = "text_file_delta xcompare {B}\ntext_file_delta xmerge {D}\n",
       .installed = "text_file_delta xcompare {B}\ntext_file_delta xmerge {B}\n"},
      {.name = "registry-key and relative programs with spaces come back as written",
       .map = "text_file_delta xcompare [HKEY_LOCAL_MACHINE\\SOFTWARE\\V x]\\bin\\d.exe -a\n"
              "z_whole_copy xmerge ..\\lib\\mgrs\\..\\..\\bin\\m e.exe\n",
       .installed = "text_file_delta xcompare {B}\nz_whole_copy xmerge {B}\n"},
      {.name = "the first line of a method only; manager names in any case, listed twice",
       .map = "Whole_Copy XMERGE {D}\nwhole_copy xmerge {D}\nwhole_copy xcompare {D}\n",
       .installed = "Whole_Copy XMERGE {B}\nwhole_copy xmerge {D}\nwhole_copy xcompare {B}\n",
       .managers = {"whole_copy", "text_file_delta", "WHOLE_COPY"}},
      {.name = "a line changed between install and uninstall is left alone",
       .map = "text_file_delta xcompare {D}\ntext_file_delta xmerge {D}\n",
       .installed = "text_file_delta xcompare {B}\ntext_file_delta xmerge {B}\n",
       .meanwhile = other,
       .uninstalled = "text_file_delta xcompare " + other + "\ntext_file_delta xmerge {D}\n",
       .notesOnUninstall = 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string map = X(row.map);
    const MapEdit install = InstallIntoMap(map, "", row.managers, kBridge);
    ASSERT_TRUE(install.status.ok());
    EXPECT_EQ(install.map, X(row.installed));
    const MapEdit again = InstallIntoMap(install.map, install.record, row.managers, kBridge);
    EXPECT_EQ(again.map, install.map);
    EXPECT_EQ(again.record, install.record);

    std::string touched = install.map;
    if (!row.meanwhile.empty())
      touched.replace(touched.find(kBridge), kBridge.size(), row.meanwhile);
    const MapEdit undo = RemoveFromMap(touched, install.record);
    EXPECT_EQ(undo.map, row.uninstalled.empty() ? map : X(row.uninstalled));
    EXPECT_EQ(undo.notes.size(), row.notesOnUninstall);
    EXPECT_EQ(undo.record, "");
  }
}

// A second install with another bridge moves every recorded method along and records a line changed
// meanwhile anew; a record that is not ours stops both.
TEST(MapEdit, ReinstallAndForeignRecord) {
  const std::string map = X("text_file_delta xcompare {D}\r\nwhole_copy xmerge {D}\r\n");
  const MapEdit first = InstallIntoMap(map, "", {"text_file_delta", "whole_copy"}, kBridge);
  std::string touched = first.map;
  touched.replace(touched.find(kBridge), kBridge.size(), "C:\\other.exe");
  const MapEdit moved = InstallIntoMap(touched, first.record, {"text_file_delta"}, "D:\\mb.exe");
  EXPECT_EQ(moved.map, "text_file_delta xcompare D:\\mb.exe\r\nwhole_copy xmerge D:\\mb.exe\r\n");
  EXPECT_EQ(RemoveFromMap(moved.map, moved.record).map,
            X("text_file_delta xcompare C:\\other.exe\r\nwhole_copy xmerge {D}\r\n"));
  for (const std::string& record : {std::string("map backup\nbridge\tx\nwhole_copy\txmerge\ty\n"),
                                    std::string("mergebridge-setup record 1\nx\txmerge\ty\n")}) {
    EXPECT_FALSE(InstallIntoMap(map, record, kUsual, kBridge).status.ok());
    EXPECT_FALSE(RemoveFromMap(first.map, record).status.ok());
  }
}

// Changes six lines apart share a hunk; seven apart do not.
TEST(MapEdit, DryRunDiff) {
  std::string before, after;
  for (int i = 1; i <= 16; ++i) {
    before += std::to_string(i) + "\r\n";
    after += std::to_string(i) + (i == 2 || i == 8 || i == 15 ? "x\r\n" : "\r\n");
  }
  EXPECT_EQ(
      UnifiedDiff(before, after, "map"),
      "--- map\n+++ map\n@@ -1,11 +1,11 @@\n 1\n-2\n+2x\n 3\n 4\n 5\n 6\n 7\n-8\n+8x\n 9\n 10\n"
      " 11\n@@ -12,5 +12,5 @@\n 12\n 13\n 14\n-15\n+15x\n 16\n");
  EXPECT_EQ(UnifiedDiff(before, before, "map"), "");
}

// What --json prints: every string valid JSON and UTF-8, whatever a path holds.
TEST(Json, AwkwardStrings) {
  const struct {
    std::string text, json;
  } rows[] = {
      {"C:\\a \"b\"", R"("C:\\a \"b\"")"},
      {std::string("\n\t\r\x01\x1f\x7f\0", 7), R"("\n\t\r\u0001\u001f\u007f\u0000")"},
      {"/ü/日本/🙂", "\"/ü/日本/🙂\""},
      // Bytes that are not UTF-8, each replaced: stray, cut short, overlong, a surrogate, past
      // U+10FFFF.
      {"a\xff\xe6\x97z", "\"a???z\""},
      {"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "\"?????????\""},
  };
  for (const auto& row : rows) {
    std::string json = JsonString(row.text);  // each U+FFFD as '?'
    for (size_t at; (at = json.find("\xEF\xBF\xBD")) != std::string::npos;)
      json.replace(at, 3, "?");
    EXPECT_EQ(json, row.json) << row.text;
  }
  EXPECT_EQ(JsonObject({{"a", JsonStrings({"x", ""})}, {"b", JsonStringOrNull(false, "")}}),
            R"({"a":["x",""],"b":null})");
}

// An installer's record of Velmora's value: every byte and the type back; a record that is not
// whole refused.
TEST(VelmoraRecord, RoundTripAndBroken) {
  const StoredText before[] = {{"C:\\Old\\ \"#%x%\\\n\r\\n", true}, {"", false}};
  for (const StoredText& text : before) {
    const Result<VelmoraRecord> back = ParseVelmoraRecord(FormatVelmoraRecord({text.text, text}));
    ASSERT_TRUE(back.ok()) << back.status.message;
    EXPECT_EQ(back.value.written, text.text);
    EXPECT_EQ(back.value.before->text, text.text);
    EXPECT_EQ(back.value.before->expandable, text.expandable);
  }
  EXPECT_FALSE(ParseVelmoraRecord(FormatVelmoraRecord({"w", std::nullopt})).value.before);
  const std::string header = "mergebridge-setup Velmora record 1\n";
  for (const std::string& broken :
       {std::string(), header, header + "written a\\", header + "written a\\x\n",
        header + "written a\nwritten b\n", header + "before a\n", header + "written\n",
        header + "written a\nother b\n", header + "written a"}) {
    EXPECT_FALSE(ParseVelmoraRecord(broken).ok()) << broken;
  }
}

// A method's record row names it and its link's text, or its own kept copy beside it: nothing else.
TEST(LinkPlan, RecordRowsNameAMethodsOwn) {
  const std::pair<std::string, bool> rows[] = {{"xmerge\tfile\txmerge.before-mergebridge", true},
                                               {"xmerge\tfile\t/etc/x", false},
                                               {"..\tlink\tx", false},
                                               {"xmerge\tcopy\tx", false}};
  for (const auto& [row, ok] : rows) {
    const LinkPlan plan =
        PlanLinkRemoval("m", {}, "mergebridge-setup record 1\nbridge\tb\n\n" + row);
    EXPECT_EQ(plan.status.message.find(": line 4 (") == std::string::npos, ok) << row;
  }
}

}  // namespace

}  // namespace mergebridge
