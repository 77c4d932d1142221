// What both platforms' failure records share: the entry's line in the file
// and its summary for the system's log.
#include "host/failure_record.h"

#include <algorithm>
#include <cstdlib>

#include "common/text.h"

namespace mergebridge {

namespace {

constexpr size_t kFieldLimit = 1024;
constexpr size_t kFileLimit = 8;

void AppendField(std::string& line, std::string_view field) {
  line += '\t';
  for (const char c : field.substr(0, kFieldLimit)) {
    switch (c) {
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      case '\\':
        line += "\\\\";
        break;
      default:
        line += c;
    }
  }
}

// The line's fields, unescaped.
std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\t') {
      fields.emplace_back();
    } else if (line[i] == '\\' && i + 1 < line.size()) {
      const char c = line[++i];
      fields.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

}  // namespace

std::string FailureLine(const FailureEntry& entry) {
  std::string line = entry.time;
  AppendField(line, std::to_string(entry.status));
  AppendField(line, entry.reason);
  for (size_t i = 0; i < entry.files.size() && i < kFileLimit; ++i) {
    AppendField(line, entry.files[i]);
  }
  return line + '\n';
}

std::vector<FailureEntry> ParseFailureLines(std::string_view text) {
  std::vector<FailureEntry> entries;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::vector<std::string> fields = SplitFields(text.substr(start, end - start));
    start = end + 1;
    // A line cut short by a full disk lacks its line end and is left out.
    if (end == text.size() || fields.size() < 3 || fields[0].empty()) continue;
    char* rest = nullptr;
    const long status = std::strtol(fields[1].c_str(), &rest, 10);
    if (fields[1].empty() || *rest != '\0') continue;
    entries.push_back({fields[0], status, fields[2], {fields.begin() + 3, fields.end()}});
  }
  return entries;
}

std::string FailureSummary(const FailureEntry& entry) {
  std::string text = Format("exit status %ld: %s", entry.status, entry.reason.c_str());
  std::replace(text.begin(), text.end(), '\n', ' ');
  for (size_t i = 0; i < entry.files.size(); ++i)
    text += (i == 0 ? "; files: " : ", ") + entry.files[i];
  return text;
}

}  // namespace mergebridge
