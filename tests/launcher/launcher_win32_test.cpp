// The Windows launcher against the prefix's registry and the stand-in tool: the
// exact command line the tool gets and the exit codes that come back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "host/launcher.h"
#include "launch_support.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

TEST_F(LaunchTest, ToolGetsTheExactCommandLine) {
  ASSERT_TRUE(CreateDirectoryA((dir_ + "Velmora Tools").c_str(), nullptr));
  const std::string spaced = dir_ + "Velmora Tools\\Standin Tool.EXE";
  CopyStandin(spaced);
  struct Tool {
    std::string registered;
    std::string onCommandLine;  // lower-cased, quoted when it holds a space
  } tools[] = {
      {StandinPath(), Lower(StandinPath())},
      {spaced, "\"" + Lower(spaced) + "\""},
  };
  struct Row {
    std::string args;
    bool statusOnly;
    std::string afterPath;
  } rows[] = {
      {"", false, " "},
      {"", true, " /qc "},
      {" \"L.txt\" \"M.txt\"", false, "  \"L.txt\" \"M.txt\""},
      {" /savetarget=\"R.txt\"     \"L.txt\" /title1=\"a.c@@\\main\\1\"", true,
       " /qc  /savetarget=\"R.txt\"     \"L.txt\" /title1=\"a.c@@\\main\\1\""},
  };
  SetChildEnv("STANDIN_RECORD", record_.c_str());
  SetChildEnv("STANDIN_EXIT", "0");
  for (const Tool& tool : tools) {
    RegisterTool(&tool.registered);
    for (const Row& row : rows) {
      SCOPED_TRACE(tool.registered + " |" + row.args);
      DeleteFileA(record_.c_str());
      EXPECT_EQ(LaunchCompareTool(row.args, row.statusOnly), 0);
      EXPECT_EQ(ReadFileText(record_), tool.onCommandLine + row.afterPath);
    }
  }
}

// All 32 bits come back, a code with the top bit set and STILL_ACTIVE's 259 too.
TEST_F(LaunchTest, ExitCodesComeBackUnchanged) {
  for (uint32_t code : {0u, 1u, 3u, 255u, 259u, 0xC0000005u}) {
    SCOPED_TRACE(code);
    SetChildEnv("STANDIN_EXIT", std::to_string(code).c_str());
    EXPECT_EQ(static_cast<uint32_t>(LaunchCompareTool(" \"L.txt\"", false)), code);
  }
}

}  // namespace
