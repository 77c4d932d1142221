// Fuzzes the Linux registry file reader with whole files. Checked on every input,
// besides the sanitizers' own findings (crashes, overreads, leaks):
// 1. A value read back is never longer than the file: at most its size, or 3/2
//    of the text after the byte-order mark for UTF-16LE, which becomes UTF-8
//    (a unit from U+0800 up takes 3 bytes there; nothing takes more).
// 2. Only a found value carries data; a parse error names a line of the file
//    and a reason.
// 3. Key paths and value names ignore letter case, and a UTF-8 byte-order mark
//    in front of a file without one changes nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/reg_file.h"

namespace {

bool Same(const RegFileLookup& a, const RegFileLookup& b) {
  return a.status == b.status && a.data == b.data && a.line == b.line && a.reason == b.reason;
}

void Check(bool ok, const char* what, const RegFileLookup& r) {
  if (ok) return;
  std::fprintf(stderr, "reg_file_fuzz: %s (status %d, %zu data bytes, line %ld: %s)\n", what,
               static_cast<int>(r.status), r.data.size(), r.line, r.reason.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A view of libFuzzer's own buffer, so that reading one byte past it is caught.
  const std::string_view file(reinterpret_cast<const char*>(data), size), bom = file.substr(0, 2);
  const RegFileLookup found = LookUpRegFileValue(file, "SOFTWARE\\Harnvik\\Velmora", "ExePath");
  // The root's default value takes another way through the key and value rules.
  for (const RegFileLookup& r : {found, LookUpRegFileValue(file, "", "")}) {
    Check(r.data.size() <= (bom == "\xFF\xFE" ? (size - 2) / 2 * 3 : size), "value too long", r);
    Check(r.status == RegFileStatus::Found || r.data.empty(), "data without a value", r);
    // A UTF-16 file's text has at most as many lines as the file has bytes.
    Check(r.status != RegFileStatus::ParseError ||
              (r.line >= 1 && static_cast<size_t>(r.line) <= size + 1 && !r.reason.empty()),
          "parse error outside the file or without a reason", r);
  }
  Check(Same(found, LookUpRegFileValue(file, "software\\HARNVIK\\velmora", "exepath")),
        "letter case of the key or value name matters", found);
  if (bom != "\xFF\xFE" && bom != "\xFE\xFF" && file.compare(0, 3, "\xEF\xBB\xBF") != 0) {
    const std::string marked = std::string("\xEF\xBB\xBF").append(file);
    Check(Same(found, LookUpRegFileValue(marked, "SOFTWARE\\Harnvik\\Velmora", "ExePath")),
          "a UTF-8 byte-order mark changes the answer", found);
  }
  return 0;
}
