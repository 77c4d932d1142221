// What both platforms share of files and links.
#include "host/files.h"

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(PathSeparator() == '/' ? "/" : "\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);  // the root keeps its separator
}

long SweepScratchFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (const long error = ListFolder(folder, names)) return error;
  for (const std::string& name : names) {
    const size_t mark = name.rfind(kScratchMark);
    if (mark == std::string::npos) continue;
    const std::string number = name.substr(mark + sizeof kScratchMark - 1);
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        ScratchOwnerRuns(std::stoul(number), folder + PathSeparator() + name)) {
      continue;
    }
    if (const long error = RemoveFileIfPresent(folder + PathSeparator() + name)) return error;
  }
  return 0;
}
