// Registry export files: the header, key and value lines, and the decoding of
// value data the way the registry's narrow functions return it.
// Platform-free, so it can be unit-tested and fuzzed on its own.
#include "regfile/reg_file.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/text.h"
#include "regfile/reg_file_scan.h"

namespace mergebridge {

namespace {

constexpr std::string_view kHeaderVersion4 = "REGEDIT4";
constexpr unsigned long kTypeString = 1, kTypeExpandString = 2, kTypeBinary = 3,
                        kTypeMultiString = 7;

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The registry ignores letter case in key and value names. Only ASCII letters
// are folded: a full Unicode folding table is not worth carrying for names that
// are ASCII in practice.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreCaseAscii(text.substr(0, prefix.size()), prefix);
}

// True when `path` is `ancestor` itself or a key somewhere below it.
bool IsSameOrBelow(std::string_view path, std::string_view ancestor) {
  if (ancestor.empty()) return true;
  if (!StartsWithIgnoreCase(path, ancestor)) return false;
  return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 1 to 8 hex digits from the front of `text` into `number`.
bool ReadHexNumber(std::string_view& text, unsigned long& number) {
  size_t used = 0;
  number = 0;
  while (used < text.size() && used < 9 && HexDigit(text[used]) >= 0) {
    number = number * 16 + static_cast<unsigned long>(HexDigit(text[used]));
    ++used;
  }
  if (used == 0 || used > 8) return false;
  text.remove_prefix(used);
  return true;
}

struct Lines {
  std::string_view text;
  size_t next = 0;
  long number = 0;  // of the line last handed out
};

// The next physical line without its LF or CRLF ending. False at the end.
bool NextLine(Lines& lines, std::string_view& line) {
  if (lines.next >= lines.text.size()) return false;
  size_t end = lines.text.find('\n', lines.next);
  if (end == std::string_view::npos) end = lines.text.size();
  line = lines.text.substr(lines.next, end - lines.next);
  lines.next = end + 1;
  ++lines.number;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

// Nothing, or only a ';' comment, is left after a value.
bool EndsValue(std::string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == ';';
}

bool IsContinuation(std::string_view rest) {
  return !rest.empty() && rest.front() == '\\' && TrimLeft(rest.substr(1)).empty();
}

// Each Read* function takes its item off the front of `rest`, or fails with
// the reason why the text there is not well-formed.

// Double-quoted text with \\ and \" as its only escapes. Runs between escapes
// are copied whole so that a long value stays linear.
Result<std::string> ReadQuoted(std::string_view& rest) {
  Result<std::string> quoted;
  std::string& out = quoted.value;
  size_t from = 1;
  for (;;) {
    const size_t stop = rest.find_first_of("\\\"", from);
    if (stop == std::string_view::npos || (rest[stop] != '"' && stop + 1 == rest.size())) {
      quoted.status = FailureStatus("quoted text without its closing '\"'");
      return quoted;
    }
    out.append(rest.data() + from, stop - from);
    if (rest[stop] == '"') {
      rest.remove_prefix(stop + 1);
      return quoted;
    }
    const char escaped = rest[stop + 1];
    if (escaped != '\\' && escaped != '"') {
      quoted.status = FailureStatus("a backslash in quoted text must be followed by \\ or \"");
      return quoted;
    }
    out += escaped;
    from = stop + 2;
  }
}

// Comma-separated hex bytes; a '\' at the end of a line continues the list on
// the next one.
Result<std::string> ReadHexBytes(std::string_view rest, Lines& lines) {
  std::string out;
  for (;;) {
    rest = TrimLeft(rest);
    if (IsContinuation(rest)) {
      if (!NextLine(lines, rest)) return {{}, FailureStatus("the file ends inside a hex value")};
      continue;
    }
    if (rest.empty() || rest.front() == ';') return {std::move(out), {}};
    const int high = HexDigit(rest[0]);
    if (high < 0) return {{}, FailureStatus("expected a hex byte")};
    int byte = high;
    size_t used = 1;
    if (rest.size() > 1 && HexDigit(rest[1]) >= 0) {
      byte = byte * 16 + HexDigit(rest[1]);
      used = 2;
    }
    out += static_cast<char>(byte);
    rest = TrimLeft(rest.substr(used));
    if (rest.empty() || rest.front() == ';' || IsContinuation(rest)) continue;
    if (rest.front() != ',') return {{}, FailureStatus("expected ',' between hex bytes")};
    rest.remove_prefix(1);
  }
}

struct ValueLine {
  std::string name;
  bool remove = false;  // "name"=-
  std::string data;
};

// The data after '=': a quoted string, -, dword:, hex: or hex(N):. String
// types given in hex are UTF-16LE in a version 5 file and come back as UTF-8,
// as the narrow registry functions would convert them; other types come back
// as their stored bytes.
Status ReadValueData(std::string_view rest, Lines& lines, bool version5, ValueLine& value) {
  rest = TrimLeft(rest);
  if (!rest.empty() && rest.front() == '"') {
    Result<std::string> quoted = ReadQuoted(rest);
    if (!quoted.ok()) return quoted.status;
    value.data = std::move(quoted.value);
    return EndsValue(rest) ? Status() : FailureStatus("unexpected text after the closing '\"'");
  }
  if (!rest.empty() && rest.front() == '-') {
    value.remove = true;
    return EndsValue(rest.substr(1)) ? Status() : FailureStatus("unexpected text after '-'");
  }
  if (StartsWithIgnoreCase(rest, "dword:")) {
    rest.remove_prefix(6);
    unsigned long number = 0;
    if (!ReadHexNumber(rest, number) || !EndsValue(rest)) {
      return FailureStatus("dword: needs 1 to 8 hex digits");
    }
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
    return {};
  }
  if (!StartsWithIgnoreCase(rest, "hex")) return FailureStatus("unknown value data");
  rest.remove_prefix(3);
  unsigned long type = kTypeBinary;
  if (!rest.empty() && rest.front() == '(') {
    rest.remove_prefix(1);
    if (!ReadHexNumber(rest, type) || rest.empty() || rest.front() != ')') {
      return FailureStatus("hex(N): needs a type of 1 to 8 hex digits");
    }
    rest.remove_prefix(1);
  }
  if (rest.empty() || rest.front() != ':') return FailureStatus("unknown value data");
  rest.remove_prefix(1);
  Result<std::string> bytes = ReadHexBytes(rest, lines);
  if (!bytes.ok()) return bytes.status;
  const bool isText = type == kTypeString || type == kTypeExpandString || type == kTypeMultiString;
  if (version5 && isText) {
    AppendUtf16LeAsUtf8(bytes.value, value.data);
  } else {
    value.data.swap(bytes.value);
  }
  return {};
}

// "name"=data or @=data.
Result<ValueLine> ReadValueLine(std::string_view line, Lines& lines, bool version5) {
  Result<ValueLine> value;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else {
    Result<std::string> name = ReadQuoted(line);
    if (!name.ok()) return {{}, name.status};
    value.value.name = std::move(name.value);
  }
  line = TrimLeft(line);
  if (line.empty() || line.front() != '=') {
    return {{}, FailureStatus("expected '=' after the value name")};
  }
  value.status = ReadValueData(line.substr(1), lines, version5, value.value);
  return value;
}

struct KeyLine {
  bool remove = false;    // [-HKEY...]
  bool inRoot = false;    // under the root looked at; other roots are skipped
  std::string_view path;  // below the root, without its leading '\'
};

// [ROOT\path] or [-ROOT\path], already trimmed on the right.
Result<KeyLine> ReadKeyLine(std::string_view line, RegFileRoot wanted) {
  if (line.back() != ']') return {{}, FailureStatus("a key line must end with ']'")};
  KeyLine key;
  std::string_view inner = line.substr(1, line.size() - 2);
  if (!inner.empty() && inner.front() == '-') {
    key.remove = true;
    inner.remove_prefix(1);
  }
  const size_t slash = inner.find('\\');
  const std::string_view root = inner.substr(0, slash);
  key.path = slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
  static const struct {
    std::string_view name;
    int root;  // a RegFileRoot, or -1: a root never looked at
  } kRoots[] = {{"HKEY_CURRENT_USER", 0},    {"HKCU", 0},  {"HKEY_LOCAL_MACHINE", 1}, {"HKLM", 1},
                {"HKEY_CLASSES_ROOT", -1},   {"HKCR", -1}, {"HKEY_USERS", -1},        {"HKU", -1},
                {"HKEY_CURRENT_CONFIG", -1}, {"HKCC", -1}};
  bool known = false;
  for (const auto& entry : kRoots) {
    if (!EqualsIgnoreCaseAscii(root, entry.name)) continue;
    known = true;
    key.inRoot = entry.root == static_cast<int>(wanted);
  }
  if (!known) return {{}, FailureStatus("a key must begin with a root such as HKEY_CURRENT_USER")};
  if (key.remove && key.path.empty()) return {{}, FailureStatus("a root key cannot be deleted")};
  return {key, {}};
}

// What a scan knows so far of the key and the value it looks for.
struct ScanState {
  bool keyExists = false;
  bool valueExists = false;
  std::string value;
  bool seenKey = false;
  bool inTargetKey = false;  // the values that follow are the key's
};

// A [key] or [-key] line, applied to what the scan knows; fails with the
// reason why the import skips the line.
Status FollowKeyLine(std::string_view line, RegFileRoot root, std::string_view keyPath,
                     ScanState& state) {
  state.seenKey = true;
  state.inTargetKey = false;
  const Result<KeyLine> read = ReadKeyLine(line, root);
  if (!read.ok()) return read.status;
  const KeyLine& key = read.value;
  if (!key.inRoot) return {};
  if (key.remove) {
    // Deleting a key takes its values and every key below it along; the
    // values that follow a deletion line belong to no key.
    if (IsSameOrBelow(keyPath, key.path)) {
      state.keyExists = false;
      state.valueExists = false;
      state.value.clear();
    }
  } else {
    // Importing a key creates its missing parents as well.
    if (IsSameOrBelow(key.path, keyPath)) state.keyExists = true;
    state.inTargetKey = EqualsIgnoreCaseAscii(key.path, keyPath);
  }
  return {};
}

void FinishLookup(ScanState& state, RegFileLookup& result) {
  if (!state.keyExists) {
    result.status = RegFileStatus::NoKey;
  } else if (!state.valueExists) {
    result.status = RegFileStatus::NoValue;
  } else {
    result.status = RegFileStatus::Found;
    result.data.swap(state.value);
  }
}

RegFileLookup ParseFault(long line, const char* reason) {
  RegFileLookup result;
  result.status = RegFileStatus::ParseError;
  result.line = line;
  result.reason = reason;
  return result;
}

// The registry editor exports UTF-16LE with a byte-order mark; UTF-8 is
// accepted with or without one, so that a file can be written by hand. A file
// that cannot be decoded leaves its ParseError in `lookup`.
RegFileScan DecodeRegFile(std::string_view fileBytes) {
  RegFileScan scan;
  DecodedRegFile& decoded = scan.decoded;
  if (fileBytes.substr(0, 2) == "\xFF\xFE") {
    decoded.utf16 = true;
    AppendUtf16LeAsUtf8(fileBytes.substr(2), decoded.text);
    if (fileBytes.size() % 2 != 0) {
      long lastLine = 1;
      for (char c : decoded.text) lastLine += c == '\n';
      scan.lookup = ParseFault(lastLine, "the file ends in the middle of a UTF-16 character");
    }
  } else if (fileBytes.substr(0, 2) == "\xFE\xFF") {
    scan.lookup = ParseFault(1, "UTF-16 big-endian is not supported; use UTF-16LE or UTF-8");
  } else if (fileBytes.substr(0, 3) == "\xEF\xBB\xBF") {
    decoded.utf8Bom = true;
    fileBytes.remove_prefix(3);
  }
  if (!decoded.utf16) decoded.text.assign(fileBytes);
  return scan;
}

// The header line: true for version 5.00, false for REGEDIT4, none for any
// other line.
std::optional<bool> ReadVersion5(Lines& lines) {
  std::string_view line;
  if (NextLine(lines, line)) line = TrimRight(line);
  if (line != kHeaderVersion4 && line != kHeaderVersion5) return std::nullopt;
  return line == kHeaderVersion5;
}

// A line read inside `section` (none: outside the looked-up key), ending at
// `lineEnd`: whether it named the value or held something else.
void NoteSectionLine(KeySection* section, size_t lineEnd, bool namedValue) {
  if (section == nullptr) return;
  section->contentEnd = lineEnd;
  (namedValue ? section->namesValue : section->holdsOther) = true;
}

// A [key] line at `lineBegin` (its next line at `lineEnd`): followed, the
// section the lines were in closed, and one opened where the line enters the
// looked-up key. Returns the section the next lines are in, if any.
KeySection* FollowKeySection(std::string_view line, size_t lineBegin, size_t lineEnd,
                             size_t textSize, long lineNumber, RegFileRoot root,
                             std::string_view keyPath, ScanState& state, RegFileScan& scan,
                             KeySection* section) {
  if (section != nullptr) section->end = lineBegin;
  // The values after a key line the import cannot read go nowhere.
  const bool existed = state.keyExists;
  if (Status followed = FollowKeyLine(line, root, keyPath, state); !followed.ok()) {
    scan.lookup.skipped.push_back({lineNumber, followed.message});
  }
  if (state.inTargetKey) {
    scan.lastSectionLive = true;
    return &scan.sections.emplace_back(KeySection{lineBegin, textSize, lineEnd});
  }
  if (existed && !state.keyExists) scan.lastSectionLive = false;  // deleted
  return nullptr;
}

// Looks the value up in decoded `text`: the lookup and the spans (`decoded`
// stays empty).
RegFileScan ScanRegFile(std::string_view text, RegFileRoot root, std::string_view keyPath,
                        std::string_view valueName) {
  RegFileScan scan;
  Lines lines{text};
  const std::optional<bool> version5 = ReadVersion5(lines);
  if (!version5) {
    scan.lookup =
        ParseFault(1, "the first line must be REGEDIT4 or Windows Registry Editor Version 5.00");
    return scan;
  }
  std::string_view line;
  RegFileLookup& result = scan.lookup;
  std::vector<ValueSpan>& spans = scan.spans;
  auto skip = [&](const std::string& reason) { result.skipped.push_back({lines.number, reason}); };
  ScanState state;
  state.keyExists = keyPath.empty();  // the root itself always exists
  KeySection* section = nullptr;      // the key's section the lines are in
  while (NextLine(lines, line)) {
    const size_t lineBegin = static_cast<size_t>(line.data() - text.data());
    line = TrimRight(TrimLeft(line));
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = FollowKeySection(line, lineBegin, std::min(text.size(), lines.next), text.size(),
                                 lines.number, root, keyPath, state, scan, section);
      continue;
    }
    const size_t valueSpanCount = spans.size();
    // Once the line is read (continuations too), what it did to its section.
    auto noteInSection = [&] {
      NoteSectionLine(section, std::min(text.size(), lines.next), spans.size() > valueSpanCount);
    };
    if (line.front() == ';' || line.front() == '#') {
      noteInSection();
      continue;
    }
    if (line.front() != '@' && line.front() != '"') {
      skip("expected a [key] line, a \"name\"=value line or a ; comment");
      noteInSection();
      continue;
    }
    if (!state.seenKey) {
      skip("a value line before the first [key] line");
      continue;
    }
    Result<ValueLine> read = ReadValueLine(line, lines, *version5);
    if (!read.ok()) {
      skip(read.status.message);  // on a continuation line, that line
      noteInSection();
      continue;
    }
    if (state.inTargetKey && EqualsIgnoreCaseAscii(read.value.name, valueName)) {
      state.valueExists = !read.value.remove;
      state.value.swap(read.value.data);
      spans.push_back({lineBegin, std::min(text.size(), lines.next)});
    }
    noteInSection();
  }
  FinishLookup(state, result);
  return scan;
}

}  // namespace

RegFileScan ScanRegFileBytes(std::string_view fileBytes, RegFileRoot root, std::string_view keyPath,
                             std::string_view valueName) {
  RegFileScan decoded = DecodeRegFile(fileBytes);
  if (decoded.lookup.status == RegFileStatus::ParseError) return decoded;
  RegFileScan scan = ScanRegFile(decoded.decoded.text, root, keyPath, valueName);
  scan.decoded = std::move(decoded.decoded);
  return scan;
}

RegFileLookup LookUpRegFileValue(std::string_view fileBytes, RegFileRoot root,
                                 std::string_view keyPath, std::string_view valueName) {
  return ScanRegFileBytes(fileBytes, root, keyPath, valueName).lookup;
}

}  // namespace mergebridge
