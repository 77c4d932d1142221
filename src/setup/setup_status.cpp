// The status command: the methods that run mergebridge and the registrations
// a merge takes, as lines or as one JSON object built from the same record.
#include "setup/setup_status.h"

#include <algorithm>

#include "host/files.h"
#include "host/notify.h"
#include "setup/json_text.h"
#include "setup/map_edit.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"

namespace mergebridge {

namespace {

// What status found: every fact the lines tell and the JSON object holds.
struct StatusRecord {
  std::string problem;  // what keeps a merge from starting Velmora; empty: nothing
  std::string bridge, home;
  std::vector<std::pair<std::string, bool>> managers;  // each with: a method runs mergebridge
  std::vector<std::string> bridges;  // the mergebridge programs methods run, as found
  bool reverted = false;
  bool registered = false;  // a registration was taken
  RegistryScope source = RegistryScope::User;
  std::string velmora;
  bool exists = false;
};

void NoteFailure(StatusRecord& record, const std::string& text) {
  PrintLine("  " + text);
  if (record.problem.empty()) record.problem = text;
}

void NoteMethod(StatusRecord& record, const std::string& manager, bool ours) {
  auto found = std::find_if(record.managers.begin(), record.managers.end(),
                            [&](const auto& entry) { return entry.first == manager; });
  if (found == record.managers.end()) {
    record.managers.emplace_back(manager, ours);
  } else {
    found->second = found->second || ours;
  }
}

void ReadMap(StatusRecord& record, const std::string& managers) {
  const std::string mapPath = PathInFolder(managers, "map");
  const Result<std::string> map = ReadWholeFile(mapPath);
  if (!map.ok()) NoteFailure(record, "cannot read " + mapPath + ": " + ErrorText(map.status));
  const std::vector<std::string>& methods = BridgedMethods();
  for (const MapEntry& entry : ReadMapEntries(map.value)) {
    if (std::find(methods.begin(), methods.end(), entry.method) == methods.end()) continue;
    const bool ours = RunsBridge(entry.program, record.bridge);
    PrintLine("  " + entry.manager + " " + entry.method + ": " + entry.program +
              (ours ? "  [mergebridge]" : ""));
    NoteMethod(record, entry.manager, ours);
    // A relative program is found from ClearCase's own folders; only a
    // full path can be checked from here.
    if (ours) record.bridges.push_back(entry.program);
  }
}

void ReadLinks(StatusRecord& record, const std::string& managers) {
  const Result<std::vector<std::string>> names = ListFolder(managers);
  if (!names.ok()) NoteFailure(record, "cannot list " + managers + ": " + ErrorText(names.status));
  for (const std::string& name : names.value) {
    if (GetPathKind(PathInFolder(managers, name)).kind != PathKind::Folder) continue;
    for (const MethodState& state : ReadMethods(PathInFolder(managers, name))) {
      if (state.kind == MethodKind::Missing) continue;
      const bool ours = state.kind == MethodKind::Link && RunsBridge(state.target, record.bridge);
      PrintLine("  " + name + " " + state.method + ": " + DescribeMethod(state) +
                (ours ? "  [mergebridge]" : ""));
      NoteMethod(record, name, ours);
      if (ours) {
        const bool absolute = !state.target.empty() && state.target[0] == '/';
        record.bridges.push_back(
            absolute ? state.target : PathInFolder(PathInFolder(managers, name), state.target));
      }
    }
  }
}

// Where no method runs mergebridge: ClearCase's own methods are back where it
// was installed (a repair), or it never was.
void ExplainNotInstalled(StatusRecord& record, const std::string& managers) {
  record.reverted = IsRemembered(managers);
  if (!record.reverted) {
    NoteFailure(record,
                "no xcompare or xmerge method runs mergebridge (run mergebridge-setup install)");
    return;
  }
  std::vector<std::string> names = RecordedManagers(managers);
  if (names.empty()) names = DefaultManagers();
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  NoteFailure(record, "ClearCase's own methods are back in " + record.home + " (" + list +
                          ") where mergebridge was installed; run mergebridge-setup install again");
}

void CheckClearCase(StatusRecord& record, const SetupOptions& options) {
  const Result<std::string> found = FindManagers(options);
  if (!found.ok()) return NoteFailure(record, found.status.message);
  const std::string& managers = found.value;
  record.home = FolderOf(FolderOf(managers));
  if (options.clearcase.empty()) PrintLine("cleartool on PATH: " + SearchProgramPath("cleartool"));
  PrintLine("ClearCase type managers: " + managers);
  ManagersUseMap() ? ReadMap(record, managers) : ReadLinks(record, managers);
  if (record.bridges.empty()) ExplainNotInstalled(record, managers);
  for (const std::string& program : record.bridges) {
    const bool full =
        program.find_first_of("\\/") != std::string::npos && AbsolutePath(program) == program;
    if (full && !IsStartableProgram(program)) {
      NoteFailure(record, "the methods run " + program + ", which cannot be started");
      break;
    }
  }
}

// Says what the place holds; returns true when the search stops there (a
// value, or one that cannot be read, which stops a merge as well).
bool ShowRegistration(StatusRecord& record, RegistryScope scope, const char* key) {
  const Result<RegistryRead> read = ReadRegistryString(scope, key, kVelmoraValue);
  const std::string& velmora = read.value.value;
  const std::string where = DescribeValuePlace(scope, read.value.place);
  const bool policy = IsPolicyScope(scope);
  if (read.ok()) {
    PrintLine("Velmora " + DescribeScope(scope) + " (" + where + "): " + velmora);
  } else if (!IsAbsentFromRegistry(read.status)) {
    const std::string problem = "cannot read " + where + ": " + ErrorText(read.status);
    PrintLine("Velmora " + DescribeScope(scope) + ": " + problem);
    record.problem = record.problem.empty() ? problem : record.problem;
    return true;
  } else if (!policy) {  // an absent policy is the usual case: nothing to say
    PrintLine("Velmora " + DescribeScope(scope) + ": not registered (no " + where + ")");
  }
  if (!read.ok()) return false;
  record.registered = true;
  record.source = scope;
  record.velmora = velmora;
  record.exists = !velmora.empty() && GetPathKind(velmora).kind != PathKind::Missing;
  return true;
}

// Shows the registrations and the one a merge takes, looked up as the bridge
// looks (without the running account's own with `allUsers`).
void ShowRegistrations(StatusRecord& record, bool allUsers) {
  bool decided = false;
  std::string problem;
  for (const VelmoraPlace& place : kVelmoraLookup) {
    if (allUsers && IsAccountScope(place.scope)) continue;
    StatusRecord seen;
    const bool stops = ShowRegistration(seen, place.scope, place.key);
    if (decided || !stops) continue;
    decided = true;
    problem = seen.problem;
    if (!seen.registered) continue;
    record.registered = true;
    record.source = seen.source;
    record.velmora = seen.velmora;
    record.exists = seen.exists;
    if (seen.velmora.empty()) {
      problem = "the registration " + DescribeScope(seen.source) + " is empty";
    } else if (!seen.exists) {
      problem = "Velmora's program " + seen.velmora + " does not exist";
    } else if (!IsStartableProgram(seen.velmora)) {
      problem = "Velmora's program " + seen.velmora + " cannot be started";
    }
  }
  if (record.registered) {
    PrintLine((allUsers
                   ? "A merge of a user without a registration of their own takes the registration "
                   : "A merge of this user takes the registration ") +
              DescribeScope(record.source) + ".");
  }
  if (!decided) {
    problem =
        "Velmora is not registered "
        "(run mergebridge-setup register [--all-users] VELMORA_PATH)";
  }
  if (!problem.empty()) NoteFailure(record, problem);
}

const char* SourceName(RegistryScope scope) {
  switch (scope) {
    case RegistryScope::MachinePolicy:
    case RegistryScope::UserPolicy:
      return "policy";
    case RegistryScope::User:
      return "user";
    case RegistryScope::Machine:
      return "machine";
  }
  return "";
}

std::string StatusJson(const StatusRecord& record) {
  std::vector<std::string> managers;
  for (const auto& [name, installed] : record.managers) {
    managers.push_back(
        JsonObject({{"name", JsonString(name)}, {"installed", JsonBool(installed)}}));
  }
  const bool ready = record.problem.empty();
  return JsonObject(
      {{"ready", JsonBool(ready)},
       {"reason", JsonString(ready ? "" : record.problem)},
       {"version", JsonString(MB_VERSION)},
       {"bridge", JsonString(record.bridge)},
       {"velmora",
        JsonObject({{"path", JsonStringOrNull(record.registered, record.velmora)},
                    {"source", record.registered ? JsonString(SourceName(record.source)) : "null"},
                    {"exists", JsonBool(record.exists)}})},
       {"clearcase", JsonObject({{"home", JsonStringOrNull(!record.home.empty(), record.home)},
                                 {"managers", JsonList(managers)},
                                 {"reverted", JsonBool(record.reverted)}})}});
}

}  // namespace

Status ShowStatus(const SetupOptions& options) {
  StatusRecord record;
  record.bridge = BridgePath(options);
  CheckClearCase(record, options);
  ShowRegistrations(record, options.allUsers);
  if (options.json) {
    WriteUtf8Line(ConsoleStream::Out, StatusJson(record));
  } else if (!record.problem.empty()) {
    PrintLine("A merge through mergebridge will not start Velmora: " + record.problem + ".");
  } else {
    PrintLine("A merge through mergebridge will start Velmora.");
  }
  return record.problem.empty() ? Status() : FailureStatus(record.problem);
}

}  // namespace mergebridge
