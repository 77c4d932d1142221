// The launcher on either platform, in this process, against the real registry
// and the stand-in compare tool: tools that cannot start, and the stand-in's
// own comparing and merging that the end-to-end cases and the demo rely on.
#include <gtest/gtest.h>

#include <cerrno>

#include "common/text.h"
#include "host/launcher.h"
#include "host/notify.h"
#include "process_support.h"

namespace {

namespace fs = std::filesystem;
using Launcher = ScratchTest;

#ifdef _WIN32
const char kExe[] = ".exe";
#else
const char kExe[] = "";
#endif

// One "CMD Error" line with the system's number and text, in every mode, and
// that number as the result; the Linux numbers name what is wrong.
TEST_F(Launcher, ToolsThatCannotStart) {
  fs::create_directory(dir_ + "folder" + kExe);
  WriteFile(dir_ + "text" + kExe, "#!/bin/sh\nexit 0\n");
  fs::permissions(dir_ + "text" + kExe, fs::perms::owner_read | fs::perms::owner_write);
  WriteFile(dir_ + "not-a-program", "just text\n");
  fs::permissions(dir_ + "not-a-program", fs::perms::owner_all);
  struct Row {
    std::string path;
    int posixError;
  } rows[] = {
      {dir_ + "missing" + kExe, ENOENT},
      {dir_ + "folder" + kExe, EISDIR},
      // Not executable. Windows refuses it as no program; Wine starts the script
      // and cannot read its exit code, which must not pass for success either.
      {dir_ + "text" + kExe, EACCES},
#ifndef _WIN32
      {dir_ + "not-a-program", ENOEXEC},
      {"   ", ENOENT},
      {"velmora-no-such-name-on-path", ENOENT},
#endif
  };
  for (const Row& row : rows) {
    RegisterTool(Registration::Path, row.path, dir_);
    for (bool statusOnly : {false, true}) {
      SCOPED_TRACE(row.path + (statusOnly ? " /qc" : ""));
      ::testing::internal::CaptureStdout();
      const long result = LaunchCompareTool(" \"L.txt\"", statusOnly);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                Format("CMD Error %ld, %s", result, SystemErrorText(result).c_str()) + "\n");
      EXPECT_GT(result, 1);
#ifndef _WIN32
      EXPECT_EQ(result, row.posixError);
#endif
    }
  }
}

// The merge is line-based and three-way: base first, then the two contributors.
TEST_F(Launcher, StandinComparesAndMerges) {
  RegisterTool(Registration::Path, BuildFile("MB_TOOL"), dir_);
  const struct {
    const char* name;
    std::vector<const char*> files;  // contents; null: the file is not there
    bool statusOnly;
    long exitCode;
    const char* saved;  // the save target afterwards; null: not written
  } rows[] = {
      {"delete, insert, no final line feed",
       {"1\n2\n3\n4\n5\n", "1\n3\n4\n5\n", "1\n2\n3\n4\n5\n6"}, false, 0, "1\n3\n4\n5\n6"},
      {"insert at the start, change at the end", {"x\ny\nz\n", "new\nx\ny\nz\n", "x\ny\nZ\n"},
       false, 0, "new\nx\ny\nZ\n"},
      {"identical changes taken once", {"a\nb\nc\nd\n", "a\nB\nc\nd\n", "a\nB\nc\nd\nz\n"},
       false, 0, "a\nB\nc\nd\nz\n"},
      {"one side unchanged", {"a\nb\n", "a\nb\n", "b\n"}, false, 0, "b\n"},
      {"touching changes conflict", {"a\nb\nc\nd\n", "a\nB\nc\nd\n", "a\nb\nC\nd\n"}, false, 1,
       nullptr},
      {"one file: copied", {"only\n"}, false, 0, "only\n"},
      {"unreadable contributor", {"a\n", nullptr, "a\n"}, false, 2, nullptr},
      {"/qc with an unreadable file", {"same\n", nullptr}, true, 2, nullptr},
  };
  int index = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string prefix = dir_ + std::to_string(index++) + "_";
    const std::string target = prefix + "saved.txt";
    std::string args = row.statusOnly ? "" : " /savetarget=\"" + target + "\" ";
    for (size_t i = 0; i < row.files.size(); ++i) {
      const std::string file = prefix + std::to_string(i) + ".txt";
      if (row.files[i] != nullptr) WriteFile(file, row.files[i]);
      args += " \"" + file + "\"";
    }
    EXPECT_EQ(LaunchCompareTool(args + " /title1=\"a.c@@/main/1\"", row.statusOnly), row.exitCode);
    EXPECT_EQ(fs::exists(target), row.saved != nullptr);
    if (row.saved != nullptr) {
      EXPECT_EQ(ReadFile(target), row.saved);
    }
  }
}

}  // namespace
