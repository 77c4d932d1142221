// Every mergebridge-setup command line the README shows in a code block is one
// the option parser accepts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "setup/setup_options.h"

namespace mergebridge {

namespace {

// The words as a shell splits them, without expansions: blanks separate, double
// quotes group, a # starting a word ends the line. Backslashes stay, as Windows
// paths need.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  bool quoted = false, between = true;
  for (const char c : line) {
    if (!quoted && (c == ' ' || c == '\t')) {
      between = true;
    } else if (!quoted && between && c == '#') {
      break;
    } else {
      if (between) words.emplace_back();
      between = false;
      if (c != '"') words.back() += c;
      quoted ^= c == '"';
    }
  }
  return words;
}

TEST(ReadmeCommands, ParseAsShown) {
  std::ifstream readme(MB_README);
  ASSERT_TRUE(readme) << MB_README;
  int shown = 0;
  for (std::string line; std::getline(readme, line);) {
    std::vector<std::string> words = Words(line);
    if (!words.empty() && words[0] == "sudo") words.erase(words.begin());
    const bool program = !words.empty() && (words[0] == "mergebridge-setup" ||
                                            words[0].ends_with("\\mergebridge-setup.exe"));
    if (line.rfind("    ", 0) != 0 || !program) continue;  // not a command in a code block
    EXPECT_EQ(ParseSetupOptions({words.begin() + 1, words.end()}).status.message, "") << line;
    ++shown;
  }
  EXPECT_GE(shown, 8);
}

}  // namespace

}  // namespace mergebridge
