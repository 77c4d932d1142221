#include "common/tool_command.h"

#include "common/text.h"

namespace mergebridge {

std::string BuildToolCommandLine(const std::string& exePath, const std::string& argumentString,
                                 bool statusOnly) {
  std::string path = exePath;
  const bool needsQuotes =
      path.find_first_of(" \t") != std::string::npos && (path.empty() || path[0] != '"');
  if (needsQuotes) path = "\"" + path + "\"";
  return Format(statusOnly ? "%s /qc %s" : "%s %s", path.c_str(), argumentString.c_str());
}

std::vector<std::string> SplitToolCommandLine(std::string_view commandLine) {
  std::vector<std::string> args;
  std::string current;
  bool inToken = false;  // a token has started, even if it is still empty ("")
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if (!quoted && IsBlank(c)) {
      if (inToken) {
        args.push_back(std::move(current));
        current.clear();
        inToken = false;
      }
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) args.push_back(std::move(current));
  return args;
}

}  // namespace mergebridge
