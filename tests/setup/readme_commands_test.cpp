// Every mergebridge-setup command line the README shows in a code block is one
// the option parser accepts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "setup/setup_options.h"

namespace {

// Splits as a shell does, without expansions: blanks separate words, quotes
// group, an unquoted # starting a word begins a comment. Backslashes stay, as
// Windows paths need.
std::vector<std::string> SplitLikeShell(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (const char c : line) {
    if (quote == 0 && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (quote == 0 && c == '#' && !inWord) {
      break;
    } else if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
      inWord = true;
    } else if (c == quote) {
      quote = 0;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

TEST(ReadmeCommands, ParseAsShown) {
  std::ifstream readme(MB_README);
  ASSERT_TRUE(readme) << MB_README;
  int shown = 0;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("    ", 0) != 0) continue;  // not in a code block
    std::vector<std::string> words = SplitLikeShell(line);
    if (!words.empty() && words[0] == "sudo") words.erase(words.begin());
    if (words.empty() ||
        (words[0] != "mergebridge-setup" && !words[0].ends_with("\\mergebridge-setup.exe"))) {
      continue;
    }
    ++shown;
    SetupOptions options;
    EXPECT_EQ(ParseSetupOptions({words.begin() + 1, words.end()}, options), "") << line;
  }
  EXPECT_GE(shown, 8);
}

}  // namespace
