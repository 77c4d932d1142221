// The status command: the methods that run mergebridge and the registrations
// a merge takes.
#include "host/files.h"
#include "setup/map_edit.h"
#include "setup/setup_run.h"
#include "setup/setup_shared.h"

namespace {

// Shows both registrations and the one a merge of this user takes, looked up
// as the bridge looks. Returns what keeps the merge from starting Velmora, or
// an empty string.
std::string ShowRegistrations() {
  std::string problem, taken;
  bool decided = false;  // a registration was taken, or stopped the merge
  for (RegistryScope scope : {RegistryScope::User, RegistryScope::Machine}) {
    std::string velmora, place;
    const long error = ReadRegistryString(scope, kToolKey, kToolValue, velmora, place);
    const std::string where = Where(scope, place);
    if (error == 0) {
      Say("Velmora " + Whom(scope) + " (" + where + "): " + velmora);
    } else if (IsAbsentFromRegistry(error)) {
      Say("Velmora " + Whom(scope) + ": not registered (no " + where + ")");
    } else {
      Say("Velmora " + Whom(scope) + ": cannot read " + where + ": " + ErrorText(error));
    }
    if (decided || IsAbsentFromRegistry(error)) continue;
    decided = true;
    if (error != 0) {
      // The bridge stops at a registration it cannot read, as here.
      problem = "cannot read " + where + ": " + ErrorText(error);
      continue;
    }
    taken = Whom(scope);
    std::string ignored;
    if (velmora.empty()) {
      problem = "the registration " + Whom(scope) + " is empty";
    } else if (GetPathKind(velmora, ignored) == PathKind::Missing) {
      problem = "Velmora's program " + velmora + " does not exist";
    } else if (!IsStartableProgram(velmora)) {
      problem = "Velmora's program " + velmora + " cannot be started";
    }
  }
  if (!taken.empty()) Say("A merge of this user takes the registration " + taken + ".");
  if (!decided) {
    problem =
        "Velmora is not registered "
        "(run mergebridge-setup register [--all-users] VELMORA_PATH)";
  }
  return problem;
}

}  // namespace

int Status(const SetupOptions& options) {
  std::string problem;
  auto fail = [&](const std::string& text) {
    Say("  " + text);
    if (problem.empty()) problem = text;
  };
  std::string reason;
  const std::string managers = FindManagers(options, reason);
  if (managers.empty()) {
    fail(reason);
  } else {
    Say("ClearCase type managers: " + managers);
    const std::string bridge = BridgePath(options);
    std::vector<std::string> bridges;  // the mergebridge programs methods run, as found
    if (ManagersUseMap()) {
      const std::string mapPath = Join(managers, "map");
      std::string map;
      if (const long error = ReadWholeFile(mapPath, map)) {
        fail("cannot read " + mapPath + ": " + ErrorText(error));
      }
      for (const MapEntry& entry : ReadMapEntries(map)) {
        if (entry.method != "xcompare" && entry.method != "xmerge") continue;
        const bool ours = RunsBridge(entry.program, bridge);
        Say("  " + entry.manager + " " + entry.method + ": " + entry.program +
            (ours ? "  [mergebridge]" : ""));
        // A relative program is found from ClearCase's own folders; only a
        // full path can be checked from here.
        if (ours) bridges.push_back(entry.program);
      }
    } else {
      std::vector<std::string> names;
      if (const long error = ListFolder(managers, names)) {
        fail("cannot list " + managers + ": " + ErrorText(error));
      }
      for (const std::string& name : names) {
        std::string ignored;
        if (GetPathKind(Join(managers, name), ignored) != PathKind::Folder) continue;
        for (const MethodState& state : ReadMethods(Join(managers, name))) {
          if (state.kind == MethodKind::Missing) continue;
          const bool ours = state.kind == MethodKind::Link && RunsBridge(state.target, bridge);
          Say("  " + name + " " + state.method + ": " + DescribeMethod(state) +
              (ours ? "  [mergebridge]" : ""));
          if (ours) {
            const bool absolute = !state.target.empty() && state.target[0] == '/';
            bridges.push_back(absolute ? state.target : Join(Join(managers, name), state.target));
          }
        }
      }
    }
    if (bridges.empty())
      fail("no xcompare or xmerge method runs mergebridge (run mergebridge-setup install)");
    for (const std::string& program : bridges) {
      const bool full =
          program.find_first_of("\\/") != std::string::npos && AbsolutePath(program) == program;
      if (full && !IsStartableProgram(program)) {
        fail("the methods run " + program + ", which cannot be started");
        break;
      }
    }
  }
  const std::string velmoraProblem = ShowRegistrations();
  if (!velmoraProblem.empty()) fail(velmoraProblem);
  if (!problem.empty()) {
    Say("A merge through mergebridge will not start Velmora: " + problem + ".");
    return 1;
  }
  Say("A merge through mergebridge will start Velmora.");
  return 0;
}
