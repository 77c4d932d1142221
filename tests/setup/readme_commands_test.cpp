// The documents against the option parser: the command lines they show, the
// exit statuses they list.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
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

// The arguments of the mergebridge-setup a code line runs (up to a redirection
// or pipe): the program first (after sudo, or a playbook's "cmd:"), or
// PowerShell's "& $setup". Nullopt for other lines, a usage synopsis
// ("[--json]") among them.
std::optional<std::vector<std::string>> SetupArguments(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  auto program = std::find(words.begin(), words.end(), "&");
  if (program == words.end() || ++program == words.end() || *program != "$setup") {
    program = std::find_if_not(words.begin(), words.end(),
                               [](const std::string& w) { return w == "sudo" || w == "cmd:"; });
    if (program == words.end()) return std::nullopt;
    const std::string name = program->substr(program->find_last_of("/\\") + 1);
    const bool named = name == "mergebridge-setup" || name == "mergebridge-setup.exe";
    // (The map record's first line, shown as a file, names the program too.)
    if (!named || line.ends_with("mergebridge-setup record 1")) return std::nullopt;
  }
  const auto end = std::find_if(program + 1, words.end(), [](const std::string& word) {
    return word.starts_with("2>") || word == "|";
  });
  if (std::any_of(program + 1, end, [](const std::string& w) { return w.starts_with("["); }))
    return std::nullopt;
  return std::vector<std::string>(program + 1, end);
}

// Every mergebridge-setup line in a code block of the README and the deployment
// guide (shell, PowerShell, playbooks) is one the option parser accepts.
TEST(ReadmeCommands, ParseAsShown) {
  for (const auto& [path, least] : {std::pair{MB_README, 8}, std::pair{MB_DEPLOYING, 15}}) {
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    int shown = 0;
    for (std::string line; std::getline(file, line);) {
      const auto args = SetupArguments(line);
      if (line.rfind("    ", 0) != 0 || !args || args->empty()) continue;
      EXPECT_EQ(ParseSetupOptions(*args).status.message, "") << line;
      ++shown;
    }
    EXPECT_GE(shown, least) << path;
  }
}

// The exit statuses as --help gives them, in the man page and the guide.
TEST(ReadmeCommands, ExitStatusTable) {
  std::stringstream manPage, guide;
  manPage << std::ifstream(MB_MAN_PAGE).rdbuf();
  guide << std::ifstream(MB_DEPLOYING).rdbuf();
  for (const SetupExitRow& row : SetupExitTable()) {
    const std::string status = std::to_string(row.status);
    EXPECT_NE(manPage.str().find(".B " + status + "\n" + row.meaning + "\n"), std::string::npos);
    EXPECT_NE(guide.str().find("| " + status + " | " + row.meaning + " |"), std::string::npos);
    EXPECT_NE(SetupUsage().find("  " + status + "  " + row.meaning), std::string::npos);
  }
}

}  // namespace

}  // namespace mergebridge
