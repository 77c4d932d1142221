// Registry export files: a value set or removed, every other byte kept.
#include "regfile/reg_file.h"

#include "regfile/reg_file_scan.h"

namespace mergebridge {

namespace {

std::string QuotedRegText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// The text again in the encoding it was decoded from.
std::string EncodeAsDecoded(const DecodedRegFile& decoded, const std::string& text) {
  if (decoded.utf16) return "\xFF\xFE" + Utf8AsUtf16Le(text);
  return (decoded.utf8Bom ? "\xEF\xBB\xBF" : "") + text;
}

std::string KeyHeader(RegFileRoot root, std::string_view keyPath) {
  return (root == RegFileRoot::CurrentUser ? "[HKEY_CURRENT_USER\\" : "[HKEY_LOCAL_MACHINE\\") +
         std::string(keyPath) + "]";
}

// True when `text` ends in an empty line (or is empty).
bool EndsInBlankLine(const std::string& text) {
  size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;
  if (end > 0 && text[end - 1] == '\r') --end;
  return end == 0 || text[end - 1] == '\n';
}

// `fileBytes` decoded and scanned, or the reason a lookup cannot read them.
Result<RegFileScan> ScanFile(std::string_view fileBytes, RegFileRoot root, std::string_view keyPath,
                             std::string_view valueName) {
  Result<RegFileScan> scan{ScanRegFileBytes(fileBytes, root, keyPath, valueName), {}};
  const RegFileLookup& lookup = scan.value.lookup;
  if (lookup.status == RegFileStatus::ParseError) {
    scan.status = FailureStatus("line " + std::to_string(lookup.line) + ": " + lookup.reason);
  }
  return scan;
}

}  // namespace

Result<std::string> SetRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                    std::string_view keyPath, std::string_view valueName,
                                    std::string_view value) {
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return {{}, FailureStatus("the value holds a line break or a zero byte")};
  }
  const std::string valueLine = (valueName.empty() ? std::string("@") : QuotedRegText(valueName)) +
                                "=" + QuotedRegText(value);
  if (fileBytes.empty()) {
    return {
        std::string(kHeaderVersion5) + "\n\n" + KeyHeader(root, keyPath) + "\n" + valueLine + "\n",
        {}};
  }
  Result<RegFileScan> scan = ScanFile(fileBytes, root, keyPath, valueName);
  if (!scan.ok()) return {{}, scan.status};
  const std::vector<ValueSpan>& spans = scan.value.spans;
  std::string& text = scan.value.decoded.text;
  if (scan.value.lookup.status == RegFileStatus::Found) {
    // The line that gave the value, without its line end.
    ValueSpan span = spans.back();
    while (span.end > span.begin && (text[span.end - 1] == '\n' || text[span.end - 1] == '\r')) {
      --span.end;
    }
    text.replace(span.begin, span.end - span.begin, valueLine);
  } else {
    const char* lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::vector<KeySection>& sections = scan.value.sections;
    if (scan.value.lastSectionLive) {
      // Into the key's last section, after its last line: nothing later in
      // the file speaks of the value, so this is the last word on it.
      const size_t at = sections.back().contentEnd;
      const bool broken = at > 0 && text[at - 1] != '\n';
      text.insert(at, (broken ? lineEnd : "") + valueLine + lineEnd);
    } else {
      // A section of its own at the end, after one blank line.
      if (!text.empty() && text.back() != '\n') text += lineEnd;
      if (!EndsInBlankLine(text)) text += lineEnd;
      text += KeyHeader(root, keyPath) + lineEnd + valueLine + lineEnd;
    }
  }
  return {EncodeAsDecoded(scan.value.decoded, text), {}};
}

Result<std::string> RemoveRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                       std::string_view keyPath, std::string_view valueName) {
  if (fileBytes.empty()) return {std::string(), {}};
  Result<RegFileScan> scan = ScanFile(fileBytes, root, keyPath, valueName);
  if (!scan.ok()) return {{}, scan.status};
  const DecodedRegFile& decoded = scan.value.decoded;
  const std::vector<ValueSpan>& spans = scan.value.spans;
  if (spans.empty()) return {std::string(fileBytes), {}};
  // Every line that names the value goes, not just the last: an earlier one
  // would otherwise take its place. A section of the key left with nothing
  // else goes along, blank lines and all, so that no round of setting and
  // removing leaves anything behind.
  std::vector<ValueSpan> cuts;
  auto section = scan.value.sections.begin();
  for (const ValueSpan& span : spans) {
    while (section != scan.value.sections.end() && section->end <= span.begin) ++section;
    const bool emptied = section != scan.value.sections.end() && section->begin <= span.begin &&
                         section->namesValue && !section->holdsOther;
    if (!emptied) {
      cuts.push_back(span);
    } else if (cuts.empty() || cuts.back().begin != section->begin) {
      cuts.push_back({section->begin, section->end});
    }
  }
  std::string text;
  text.reserve(decoded.text.size());
  size_t kept = 0;
  for (const ValueSpan& cut : cuts) {
    text.append(decoded.text.substr(kept, cut.begin - kept));
    kept = cut.end;
  }
  text.append(decoded.text.substr(kept));
  return {EncodeAsDecoded(decoded, text), {}};
}

}  // namespace mergebridge
