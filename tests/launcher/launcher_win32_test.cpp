// The Windows launcher: the exact command line the tool gets, as its own
// GetCommandLineA shows it.
#include <gtest/gtest.h>

#include "host/launcher.h"
#include "process_support.h"

namespace {

namespace fs = std::filesystem;
using Launcher = ScratchTest;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Lower-cased, quoted when it holds a space, two spaces before the arguments
// and "/qc" in status-only mode.
TEST_F(Launcher, ToolGetsTheExactCommandLine) {
  const std::string standin = BuildFile("MB_TOOL");
  const std::string spaced = dir_ + "Velmora Tools\\Standin Tool.EXE";
  fs::create_directory(dir_ + "Velmora Tools");
  fs::copy_file(standin, spaced);
  // Unquoted, the system would start this one first; Wine then shows the
  // command line without the quotes it otherwise adds itself.
  fs::copy_file(standin, dir_ + "Velmora.exe");
  const struct {
    std::string registered;
    std::string onCommandLine;
  } tools[] = {{standin, Lower(standin)}, {spaced, "\"" + Lower(spaced) + "\""}};
  const struct {
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
  const std::string record = dir_ + "record.txt";
  SetProcessEnv("STANDIN_RECORD=" + record);
  SetProcessEnv("STANDIN_EXIT=0");
  for (const auto& tool : tools) {
    RegisterTool(Registration::Path, tool.registered, dir_);
    for (const auto& row : rows) {
      SCOPED_TRACE(tool.registered + " |" + row.args);
      fs::remove(record);
      EXPECT_EQ(LaunchCompareTool(row.args, row.statusOnly), 0);
      EXPECT_EQ(ReadFile(record), tool.onCommandLine + row.afterPath);
    }
  }
}

}  // namespace
