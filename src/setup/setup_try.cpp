// try: a compare and a merge through the installed methods, with two made-up
// files; --version.
#include "setup/setup_try.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "common/text.h"
#include "host/files.h"
#include "host/launcher.h"
#include "setup/map_edit.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"

namespace mergebridge {

namespace {

// The manager whose methods ClearCase runs for text files.
constexpr char kTextManager[] = "text_file_delta";
constexpr char kMark[] = "mergebridge version ";

// The program the text manager's `method` runs, as a full path where the map or
// the link names it relative to ClearCase's folders; empty when it has none.
std::string MethodProgram(const std::string& managers, const std::string& method) {
  const std::string folder = PathInFolder(managers, kTextManager);
  if (ManagersUseMap()) {
    const Result<std::string> map = ReadWholeFile(PathInFolder(managers, "map"));
    for (const MapEntry& entry : ReadMapEntries(map.value)) {
      if (!map.ok() || entry.manager != kTextManager || entry.method != method) continue;
      const bool full = AbsolutePath(entry.program) == entry.program;
      return full ? entry.program
                  : PathInFolder(PathInFolder(FolderOf(FolderOf(managers)), "bin"), entry.program);
    }
    return std::string();
  }
  for (const MethodState& state : ReadMethods(folder)) {
    if (state.method != method) continue;
    if (state.kind == MethodKind::File) return PathInFolder(folder, method);
    if (state.kind != MethodKind::Link) break;
    return LinkTargetPath(folder, state.target);
  }
  return std::string();
}

// One step: the method's program started as ClearCase starts it; ok when it
// ended with 0.
Status RunStep(const std::string& method, const std::string& program,
               const std::vector<std::string>& args) {
  PrintLine(Format("%s %s runs %s", kTextManager, method.c_str(), program.c_str()));
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  const Result<long> ran = RunProgramAndWait(argv);
  if (!ran.ok()) return PrintFailure("cannot start " + program + ": " + ErrorText(ran.status));
  PrintLine(Format("  it ended with status %ld", ran.value));
  if (ran.value != 0) {
    return PrintFailure(Format("%s ended with status %ld", method.c_str(), ran.value));
  }
  return {};
}

Status TryIn(const std::string& folder, const std::string& compare, const std::string& merge) {
  const std::string base = PathInFolder(folder, "base.c"), ours = PathInFolder(folder, "ours.c"),
                    theirs = PathInFolder(folder, "theirs.c"), out = PathInFolder(folder, "out.c");
  for (const auto& [path, text] :
       {std::pair{base, "one\ntwo\nthree\n"}, std::pair{ours, "ONE\ntwo\nthree\n"},
        std::pair{theirs, "one\ntwo\nTHREE\n"}}) {
    if (Status written = ReplaceFileAtomically(path, text); !written.ok()) {
      return PrintFailure("cannot write " + path + ": " + ErrorText(written));
    }
  }
  PrintLine("Compare: close Velmora when you have seen the two files.");
  Status status = RunStep("xcompare", compare,
                          {"-fname", "try.c@@/main/1", "-fname", "try.c@@/main/2", ours, theirs});
  if (!status.ok()) return status;
  PrintLine("Merge: merge, save and close Velmora.");
  status = RunStep("xmerge", merge,
                   {"-base", base, "-out", out, "-fname", "try.c@@/main/0", "-fname",
                    "try.c@@/main/1", "-fname", "try.c@@/main/CHECKEDOUT", base, ours, theirs});
  if (!status.ok()) return status;
  if (GetPathKind(out).kind != PathKind::File) {
    return PrintFailure("the merge's output was not saved (" + out + ")");
  }
  PrintLine("  the merge's output was saved");
  return {};
}

}  // namespace

Status TryMerge(const SetupOptions& given) {
  const SetupOptions options = WithRememberedClearCase(given);
  const Result<std::string> managers = FindManagers(options);
  if (!managers.ok()) return PrintFailure(managers.status.message, kErrorNoClearCase);
  const std::string compare = MethodProgram(managers.value, "xcompare"),
                    merge = MethodProgram(managers.value, "xmerge");
  if (compare.empty() || merge.empty() || !RunsBridge(compare, BridgePath(options)) ||
      !RunsBridge(merge, BridgePath(options))) {
    return PrintFailure(
        Format("not installed: the %s methods in %s do not run mergebridge (run "
               "mergebridge-setup install)",
               kTextManager, managers.value.c_str()));
  }
  const Result<std::string> velmora = FindVelmora();
  if (!velmora.ok() || velmora.value.empty()) {
    return PrintFailure(
        "no Velmora: a merge finds no registration of Velmora (run "
        "mergebridge-setup status)");
  }
  PrintLine("Velmora: " + velmora.value);
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::error_code error;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path(error) / ("mergebridge-try-" + std::to_string(stamp));
  if (!std::filesystem::create_directory(folder, error)) {
    return PrintFailure("cannot make a scratch folder: " + error.message());
  }
  const Status status = TryIn(folder.string(), compare, merge);
  std::filesystem::remove_all(folder, error);
  return status;
}

Status ShowVersion(const SetupOptions& given) {
  PrintLine("mergebridge-setup " MB_VERSION);
  // The bridges the text manager's methods run, as a merge would start them;
  // where ClearCase or such a method is not found, the one --bridge names.
  const SetupOptions options = WithRememberedClearCase(given);
  const std::string named = BridgePath(options);
  std::vector<std::string> bridges;
  if (const Result<std::string> managers = FindManagers(options); managers.ok()) {
    for (const char* method : {"xcompare", "xmerge"}) {
      const std::string program = MethodProgram(managers.value, method);
      if (program.empty() || !RunsBridge(program, named)) continue;
      if (std::find(bridges.begin(), bridges.end(), program) == bridges.end()) {
        bridges.push_back(program);
      }
    }
  }
  if (bridges.empty()) bridges.push_back(named);
  Status status;
  for (const std::string& bridge : bridges) {
    const Result<std::string> bytes = ReadWholeFile(bridge);
    const size_t at = bytes.value.find(kMark);
    if (!bytes.ok() || at == std::string::npos) {
      status = PrintFailure("no version found in " + bridge);
      continue;
    }
    const size_t end = bytes.value.find('\n', at);
    PrintLine("mergebridge " +
              bytes.value.substr(at + sizeof kMark - 1, end - at - sizeof kMark + 1) + " (" +
              bridge + ")");
  }
  return status;
}

}  // namespace mergebridge
