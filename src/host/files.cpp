// What both platforms share of files and links.
#include "host/files.h"

namespace mergebridge {

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(PathSeparator() == '/' ? "/" : "\\/") == std::string::npos;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(PathSeparator() == '/' ? "/" : "\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);  // the root keeps its separator
}

Status SweepScratchFiles(const std::string& folder) {
  const Result<std::vector<std::string>> names = ListFolder(folder);
  if (!names.ok()) return names.status;
  for (const std::string& name : names.value) {
    const size_t mark = name.rfind(kScratchMark);
    if (mark == std::string::npos) continue;
    // The owner's number, then (POSIX) a dot and the random part.
    const std::string after = name.substr(mark + sizeof kScratchMark - 1);
    const std::string number = after.substr(0, after.find('.'));
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        ScratchOwnerRuns(std::stoul(number), folder + PathSeparator() + name)) {
      continue;
    }
    if (Status removed = RemoveFileIfPresent(folder + PathSeparator() + name); !removed.ok()) {
      return removed;
    }
  }
  return {};
}

}  // namespace mergebridge
