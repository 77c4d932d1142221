// The documents against the option parser: the command lines they show, the
// exit statuses they list.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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

// The arguments of the mergebridge-setup a code line runs, up to a redirection
// or pipe: after the program first on the line (or after sudo or a playbook's
// "cmd:"), or PowerShell's "& $setup". None for other lines, a usage synopsis
// ("[--json]") among them.
std::vector<std::string> SetupArguments(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  auto at = std::find(words.begin(), words.end(), "$setup");
  if (at == words.end() || at == words.begin() || at[-1] != "&") {
    at = std::find_if_not(words.begin(), words.end(),
                          [](const std::string& w) { return w == "sudo" || w == "cmd:"; });
    const std::string name = at == words.end() ? "" : at->substr(at->find_last_of("/\\") + 1);
    // (The map record's first line, shown as a file, names the program too.)
    if ((name != "mergebridge-setup" && name != "mergebridge-setup.exe") ||
        line.ends_with("record 1"))
      return {};
  }
  const auto end = std::find_if(at + 1, words.end(), [](const std::string& w) {
    return w.starts_with("2>") || w == "|" || w.starts_with("[");
  });
  if (end != words.end() && end->starts_with("[")) return {};
  return {at + 1, end};
}

// Every mergebridge-setup line in a code block of the README and the deployment
// guide (shell, PowerShell, playbooks) is one the option parser accepts.
TEST(ReadmeCommands, ParseAsShown) {
  for (const auto& [path, least] : {std::pair{MB_README, 8}, std::pair{MB_DEPLOYING, 15}}) {
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    int shown = 0;
    for (std::string line; std::getline(file, line);) {
      const std::vector<std::string> args = SetupArguments(line);
      if (line.rfind("    ", 0) != 0 || args.empty()) continue;
      EXPECT_EQ(ParseSetupOptions(args).status.message, "") << line;
      ++shown;
    }
    EXPECT_GE(shown, least) << path;
  }
}

// The exit statuses --help lists, in the man page and the guide.
TEST(ReadmeCommands, ExitStatusTable) {
  std::stringstream manPage, guide;
  manPage << std::ifstream(MB_MAN_PAGE).rdbuf();
  guide << std::ifstream(MB_DEPLOYING).rdbuf();
  for (const SetupExitRow& row : SetupExitTable()) {
    const std::string status = std::to_string(row.status);
    EXPECT_NE(manPage.str().find(".B " + status + "\n" + row.meaning + "\n"), std::string::npos);
    EXPECT_NE(guide.str().find("| " + status + " | " + row.meaning + " |"), std::string::npos);
  }
}

}  // namespace

}  // namespace mergebridge
