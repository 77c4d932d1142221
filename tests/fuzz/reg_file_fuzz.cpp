// Fuzzes the Linux registry file reader with whole files and checks, on every
// input, besides the sanitizers' own findings (crashes, overreads, leaks):
// 1. A value read back is never longer than the file: at most its size for a
//    UTF-8 or single-byte file, and at most 3/2 of the text after the byte-order
//    mark for a UTF-16LE file, whose text is converted to UTF-8 first (a 2-byte
//    unit from U+0800 up takes 3 bytes there; nothing takes more).
// 2. Only a found value carries data; a parse error names a line of the file
//    and a reason.
// 3. Key paths and value names ignore letter case: the same lookup in other
//    letter case gives the same answer.
// 4. A UTF-8 byte-order mark in front of a file without one changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/reg_file.h"

namespace {

[[noreturn]] void Fail(const char* what, const RegFileLookup& result) {
  std::fprintf(stderr, "reg_file_fuzz: %s (status %d, %zu data bytes, line %ld: %s)\n", what,
               static_cast<int>(result.status), result.data.size(), result.line,
               result.reason.c_str());
  std::abort();
}

bool Same(const RegFileLookup& a, const RegFileLookup& b) {
  return a.status == b.status && a.data == b.data && a.line == b.line && a.reason == b.reason;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

void CheckOne(std::string_view file, const RegFileLookup& result) {
  const bool utf16 = StartsWith(file, "\xFF\xFE");
  const size_t limit = utf16 ? (file.size() - 2) / 2 * 3 : file.size();
  if (result.data.size() > limit) Fail("value longer than the file", result);
  if (result.status != RegFileStatus::Found && !result.data.empty()) {
    Fail("data without a found value", result);
  }
  if (result.status == RegFileStatus::ParseError) {
    // A UTF-16 file's text is at most as many lines as the file has bytes.
    if (result.line < 1 || static_cast<size_t>(result.line) > file.size() + 1) {
      Fail("parse error outside the file", result);
    }
    if (result.reason.empty()) Fail("parse error without a reason", result);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const RegFileLookup exePath = LookUpRegFileValue(file, "SOFTWARE\\Harnvik\\Velmora", "ExePath");
  CheckOne(file, exePath);
  if (!Same(exePath, LookUpRegFileValue(file, "software\\HARNVIK\\velmora", "exepath"))) {
    Fail("letter case of the key or value name matters", exePath);
  }
  // The root's default value: another way through the key and value rules.
  CheckOne(file, LookUpRegFileValue(file, "", ""));

  if (!StartsWith(file, "\xFF\xFE") && !StartsWith(file, "\xFE\xFF") &&
      !StartsWith(file, "\xEF\xBB\xBF")) {
    const std::string marked = "\xEF\xBB\xBF" + std::string(file);
    if (!Same(exePath, LookUpRegFileValue(marked, "SOFTWARE\\Harnvik\\Velmora", "ExePath"))) {
      Fail("a UTF-8 byte-order mark changes the answer", exePath);
    }
  }
  return 0;
}
