// Fuzzes the Linux registry file reader with whole files. Besides the sanitizers' findings (a view
// of libFuzzer's own buffer, so that reading one byte past it is caught), checked: a value is never
// longer than the file (3/2 of it after a UTF-16LE byte-order mark, since a unit from U+0800 up
// takes 3 bytes in UTF-8), only a found value carries data, a parse error names a line of the file
// and a reason, key and value names ignore letter case, and a removed value is gone from a file
// that still reads as before (the key too, where its sections held nothing else).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "regfile/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mergebridge;  // the fuzzer calls in from outside
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const bool utf16 = file.substr(0, 2) == "\xFF\xFE";
  const char kKey[] = "SOFTWARE\\Harnvik\\Velmora";
  const RegFileLookup found = LookUpRegFileValue(file, RegFileRoot::CurrentUser, kKey, "ExePath");
  const RegFileLookup folded =
      LookUpRegFileValue(file, RegFileRoot::CurrentUser, "software\\HARNVIK\\velmora", "exepath");
  bool ok = found.status == folded.status && found.data == folded.data && found.line == folded.line;
  // The root's default value takes another way through the key and value rules.
  for (const RegFileLookup& r :
       {found, LookUpRegFileValue(file, RegFileRoot::LocalMachine, "", "")}) {
    ok = ok && r.data.size() <= (utf16 ? (size - 2) / 2 * 3 : size) &&
         (r.status == RegFileStatus::Found || r.data.empty()) &&
         (r.status != RegFileStatus::ParseError ||
          (r.line >= 1 && static_cast<size_t>(r.line) <= size + 1 && !r.reason.empty()));
  }
  const Result<std::string> removal =
      RemoveRegFileValue(file, RegFileRoot::CurrentUser, kKey, "ExePath");
  const std::string& removed = removal.value;
  if (size > 0 && removal.ok()) {
    const RegFileLookup after =
        LookUpRegFileValue(removed, RegFileRoot::CurrentUser, kKey, "ExePath");
    ok = ok && found.status != RegFileStatus::ParseError && after.status != RegFileStatus::Found &&
         (after.status == RegFileStatus::NoKey || found.status != RegFileStatus::NoKey) &&
         removed.size() <= size;
  } else {
    ok = ok && found.status == RegFileStatus::ParseError;
  }
  if (!ok) {
    std::fprintf(stderr, "reg_file_fuzz: status %d, %zu data bytes, line %ld: %s\n",
                 static_cast<int>(found.status), found.data.size(), found.line,
                 found.reason.c_str());
    std::abort();
  }
  return 0;
}
