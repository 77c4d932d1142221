// The type-manager map editor through one table: a map and the managers in,
// the installed map out; installing again changes nothing; uninstalling gives
// back the original bytes, or leaves alone a line someone changed meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/map_edit.h"
#include "setup/unified_diff.h"

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
  const char* name;
  std::string map, installed;
  std::vector<std::string> managers = kUsual;
  std::string meanwhile = "";  // after install, this text replaces the first "{B}" line's program
  std::string uninstalled = "";  // empty: the original map
  size_t notesOnUninstall = 0;
};

TEST(MapEdit, InstallAgainAndUninstall) {
  const std::string other = "C:\\Tools\\other.exe";
  const Row rows[] = {
      {"CRLF, comments, blanks, tabs and odd spacing stay",
       "; map\r\n\r\n; text_file_delta xcompare {D}\r\n  text_file_delta\t xcompare\t{D}  \r\n"
       "text_file_delta construct_version ..\\..\\bin\\tfdmgr.exe\r\n\t\r\nwhole_copy xmerge {D}\r\n",
       "; map\r\n\r\n; text_file_delta xcompare {D}\r\n  text_file_delta\t xcompare\t{B}  \r\n"
       "text_file_delta construct_version ..\\..\\bin\\tfdmgr.exe\r\n\t\r\nwhole_copy xmerge {B}\r\n"},
      {"LF, no line end at the end",
       "text_file_delta xmerge {D}\nwhole_copy xcompare {D}", "text_file_delta xmerge {B}\nwhole_copy xcompare {B}"},
      {"a manager absent from the map, or not chosen",
       "binary_delta xmerge {D}\ntext_file_delta xmerge {D}\n",
       "binary_delta xmerge {D}\ntext_file_delta xmerge {D}\n", {"z_whole_copy"}},
      {"a method already running mergebridge is not recorded",
       "text_file_delta xcompare {B}\ntext_file_delta xmerge {D}\n",
       "text_file_delta xcompare {B}\ntext_file_delta xmerge {B}\n"},
      {"registry-key and relative programs with spaces come back as written",
       "text_file_delta xcompare [HKEY_LOCAL_MACHINE\\SOFTWARE\\V x]\\bin\\d.exe -a\n"
       "z_whole_copy xmerge ..\\lib\\mgrs\\..\\..\\bin\\m e.exe\n",
       "text_file_delta xcompare {B}\nz_whole_copy xmerge {B}\n"},
      {"the first line of a method only; manager names in any case",
       "Whole_Copy XMERGE {D}\nwhole_copy xmerge {D}\n", "Whole_Copy XMERGE {B}\nwhole_copy xmerge {D}\n"},
      {"a line changed between install and uninstall is left alone",
       "text_file_delta xcompare {D}\ntext_file_delta xmerge {D}\n",
       "text_file_delta xcompare {B}\ntext_file_delta xmerge {B}\n", kUsual, other,
       "text_file_delta xcompare " + other + "\ntext_file_delta xmerge {D}\n", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string map = X(row.map);
    const MapEdit install = InstallIntoMap(map, "", row.managers, kBridge);
    ASSERT_TRUE(install.ok);
    EXPECT_EQ(install.map, X(row.installed));
    const MapEdit again = InstallIntoMap(install.map, install.record, row.managers, kBridge);
    EXPECT_EQ(again.map, install.map);
    EXPECT_EQ(again.record, install.record);

    std::string touched = install.map;
    if (!row.meanwhile.empty()) touched.replace(touched.find(kBridge), kBridge.size(), row.meanwhile);
    const MapEdit undo = RemoveFromMap(touched, install.record);
    EXPECT_EQ(undo.map, row.uninstalled.empty() ? map : X(row.uninstalled));
    EXPECT_EQ(undo.notes.size(), row.notesOnUninstall);
    EXPECT_EQ(undo.record, "");
  }
}

// A second install with another bridge moves every recorded method along and
// keeps the first originals; a record that is not ours stops both commands.
TEST(MapEdit, MovedBridgeAndForeignRecord) {
  const std::string map = X("text_file_delta xcompare {D}\r\nwhole_copy xmerge {D}\r\n");
  const MapEdit first = InstallIntoMap(map, "", {"text_file_delta", "whole_copy"}, kBridge);
  const MapEdit moved = InstallIntoMap(first.map, first.record, {"whole_copy"}, "D:\\mb.exe");
  EXPECT_EQ(moved.map, "text_file_delta xcompare D:\\mb.exe\r\nwhole_copy xmerge D:\\mb.exe\r\n");
  EXPECT_EQ(RemoveFromMap(moved.map, moved.record).map, map);
  for (const std::string& record : {std::string("ClearCase map backup\n"),
                                    std::string("mergebridge-setup record 1\nx\txmerge\ty\n")}) {
    EXPECT_FALSE(InstallIntoMap(map, record, kUsual, kBridge).ok);
    EXPECT_FALSE(RemoveFromMap(first.map, record).ok);
  }
}

TEST(MapEdit, DryRunDiff) {
  std::string before, after;
  for (int i = 1; i <= 12; ++i) {
    before += "m" + std::to_string(i) + " xmerge p\r\n";
    after += "m" + std::to_string(i) + (i == 2 || i == 11 ? " xmerge q\r\n" : " xmerge p\r\n");
  }
  EXPECT_EQ(UnifiedDiff(before, after, "map"),
            "--- map\n+++ map\n@@ -1,5 +1,5 @@\n m1 xmerge p\n-m2 xmerge p\n+m2 xmerge q\n"
            " m3 xmerge p\n m4 xmerge p\n m5 xmerge p\n@@ -8,5 +8,5 @@\n m8 xmerge p\n m9 xmerge p\n"
            " m10 xmerge p\n-m11 xmerge p\n+m11 xmerge q\n m12 xmerge p\n");
  EXPECT_EQ(UnifiedDiff(before, before, "map"), "");
}

}  // namespace
