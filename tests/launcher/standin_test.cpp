// The stand-in compare tool, run through the launcher: compare, take, copy and
// the line-based three-way merge (base first, then the two contributors).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/launcher.h"
#include "launch_support.h"

namespace {

struct MergeRow {
  const char* name;
  std::vector<const char*> files;  // contents; null: the file is not there
  bool statusOnly;
  bool save;                       // false: the user cancels (STANDIN_SAVE=no)
  long exitCode;
  const char* saved;               // the save target afterwards; null: not written
};

TEST_F(LaunchTest, StandinComparesAndMerges) {
  const MergeRow rows[] = {
      {"separate changes combine", {"a\nb\nc\nd\ne\n", "A\nb\nc\nd\ne\n", "a\nb\nc\nd\nE\n"},
       false, true, 0, "A\nb\nc\nd\nE\n"},
      {"delete, insert, no final line feed",
       {"1\n2\n3\n4\n5\n", "1\n3\n4\n5\n", "1\n2\n3\n4\n5\n6"}, false, true, 0, "1\n3\n4\n5\n6"},
      {"insert at the start and change the end", {"x\ny\nz\n", "new\nx\ny\nz\n", "x\ny\nZ\n"},
       false, true, 0, "new\nx\ny\nZ\n"},
      {"identical changes taken once", {"a\nb\nc\nd\n", "a\nB\nc\nd\n", "a\nB\nc\nd\nz\n"},
       false, true, 0, "a\nB\nc\nd\nz\n"},
      {"one side unchanged", {"a\nb\n", "a\nb\n", "b\n"}, false, true, 0, "b\n"},
      {"conflicting changes", {"a\nb\nc\n", "a\nB1\nc\n", "a\nB2\nc\n"}, false, true, 1, nullptr},
      {"touching changes conflict", {"a\nb\nc\nd\n", "a\nB\nc\nd\n", "a\nb\nC\nd\n"}, false,
       true, 1, nullptr},
      {"two files: the incoming one", {"mine\n", "theirs\n"}, false, true, 0, "theirs\n"},
      {"one file: copied", {"only\n"}, false, true, 0, "only\n"},
      {"cancelled by the user", {"a\n", "a\nb\n", "c\na\n"}, false, false, 0, nullptr},
      {"unreadable contributor", {"a\n", nullptr, "a\n"}, false, true, 2, nullptr},
      {"/qc identical", {"same\n", "same\n"}, true, true, 0, nullptr},
      {"/qc different", {"same\n", "same \n"}, true, true, 1, nullptr},
      {"/qc unreadable", {"same\n", nullptr}, true, true, 2, nullptr},
  };
  int index = 0;
  for (const MergeRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string prefix = dir_ + std::to_string(index++) + "_";
    const std::string target = prefix + "saved.txt";
    std::string args = row.statusOnly ? "" : " /savetarget=\"" + target + "\" ";
    for (size_t i = 0; i < row.files.size(); ++i) {
      const std::string file = prefix + "file" + std::to_string(i) + ".txt";
      if (row.files[i] != nullptr) WriteFileText(file, row.files[i]);
      args += " \"" + file + "\"";
    }
    args += " /title1=\"a.c@@/main/1\" /title2=\"a.c@@/main/2\"";
    SetChildEnv("STANDIN_SAVE", row.save ? nullptr : "no");
    EXPECT_EQ(LaunchCompareTool(args, row.statusOnly), row.exitCode) << args;
    if (row.saved != nullptr) {
      EXPECT_EQ(ReadFileText(target), row.saved);
    } else {
      EXPECT_FALSE(FileExists(target));
    }
  }
}

}  // namespace
