// Windows entry: the arguments arrive in UTF-16 (wmain) so that no name is cut
// down to the ANSI code page; the core sees them as UTF-8.
#include <string>
#include <vector>

#include "bridge/entry.h"
#include "host/app.h"
#include "host/utf16_win32.h"

int wmain(int argc, wchar_t** argv) {
  mergebridge::RestrictLibrarySearch();
  std::vector<std::string> arguments(static_cast<size_t>(argc));
  std::vector<const char*> pointers;
  for (int i = 0; i < argc; ++i) {
    arguments[i] = argv[i] != nullptr ? mergebridge::ToUtf8(argv[i]) : std::string();
    pointers.push_back(arguments[i].c_str());
  }
  pointers.push_back(nullptr);
  return mergebridge::RunEntry(argc, pointers.data());
}
