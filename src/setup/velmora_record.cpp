#include "setup/velmora_record.h"

#include <algorithm>

namespace mergebridge {

namespace {

const char kHeader[] = "mergebridge-setup Velmora record 1\n";

// One field per line: a line break in a value is written as \n, a carriage
// return as \r, a backslash as \\.
std::string Escaped(std::string_view value) {
  std::string text;
  for (const char c : value) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += c;
    }
  }
  return text;
}

Result<std::string> Unescaped(std::string_view text) {
  std::string value;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    const char next = ++i < text.size() ? text[i] : '\0';
    if (next != '\\' && next != 'n' && next != 'r') return {{}, FailureStatus("a broken escape")};
    value += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
  }
  return {value, {}};
}

}  // namespace

std::string FormatVelmoraRecord(const VelmoraRecord& record) {
  std::string text = kHeader + ("written " + Escaped(record.written)) + "\n";
  if (record.before) {
    text += (record.before->expandable ? "before-expandable " : "before ") +
            Escaped(record.before->text) + "\n";
  }
  return text;
}

Result<VelmoraRecord> ParseVelmoraRecord(std::string_view text) {
  const std::string_view header = kHeader;
  if (text.substr(0, header.size()) != header || text.back() != '\n')
    return {{}, FailureStatus("not a record of mergebridge-setup")};
  Result<VelmoraRecord> parsed;
  bool written = false;
  for (size_t start = header.size(); start < text.size();) {
    const size_t end = text.find('\n', start), space = text.find(' ', start);
    const std::string_view field = text.substr(start, std::min(space, end) - start);
    const Result<std::string> value =
        space < end ? Unescaped(text.substr(space + 1, end - space - 1)) : Result<std::string>();
    start = end + 1;
    if (!value.ok() || space > end) return {{}, FailureStatus("a broken line")};
    if (field == "written" && !written) {
      parsed.value.written = value.value;
      written = true;
    } else if ((field == "before" || field == "before-expandable") && !parsed.value.before) {
      parsed.value.before = StoredText{value.value, field != "before"};
    } else {
      return {{}, FailureStatus("an unknown line")};
    }
  }
  if (!written) return {{}, FailureStatus("no written value")};
  return parsed;
}

}  // namespace mergebridge
