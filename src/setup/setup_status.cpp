// The status command: the methods that run mergebridge and the registrations
// a merge takes, as lines or as one JSON object built from the same record.
#include "setup/setup_status.h"

#include <algorithm>

#include "common/text.h"
#include "host/failure_record.h"
#include "host/files.h"
#include "host/notify.h"
#include "setup/json_text.h"
#include "setup/map_edit.h"
#include "setup/setup_record.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"

namespace mergebridge {

namespace {

// Whether ClearCase put its own methods back where mergebridge was installed.
enum class Drift { None, Reverted, Unknown };  // Unknown: a method could not be read

// What status found: every fact the lines tell and the JSON object holds.
struct StatusRecord {
  std::string problem;             // what keeps a merge from starting Velmora; empty: nothing
  std::vector<SetupError> errors;  // each failure noted, the problem first
  std::string bridge, home;
  std::vector<std::pair<std::string, bool>> managers;  // each with: a method runs mergebridge
  std::vector<std::string> bridges;  // the mergebridge programs methods run, as found
  Drift drift = Drift::None;
  std::vector<std::string> revertedMethods;  // "manager method", each set up and not ours now
  bool registered = false;                   // a registration was taken
  RegistryScope source = RegistryScope::User;
  std::string velmora;
  bool exists = false;
  std::vector<RegistryFileFault> faults;  // registry file lines a merge skips or refuses
  std::vector<FailureEntry> failures;     // the user's failed merges, newest first
};

// The failures status lists as lines; --json gives up to kJsonFailures.
constexpr size_t kShownFailures = 3, kJsonFailures = 20;

void NoteFailure(StatusRecord& record, const std::string& text, const char* code = kErrorNotReady) {
  PrintLine("  " + text);
  if (record.problem.empty()) record.problem = text;
  record.errors.push_back({code, text});
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
      if (ours)
        record.bridges.push_back(LinkTargetPath(PathInFolder(managers, name), state.target));
    }
  }
}

// The methods an install set up in the map, each with what it runs now.
Status ReadMapDrift(StatusRecord& record, const std::string& managers) {
  const std::string path = PathInFolder(managers, kMapRecord),
                    mapPath = PathInFolder(managers, "map");
  const Result<std::string> text = ReadWholeFile(path);
  if (!text.ok() && GetPathKind(path).kind == PathKind::Missing) return {};
  const Result<std::string> map = ReadWholeFile(mapPath);
  if (!text.ok() || !map.ok()) {
    const bool recordFailed = !text.ok();
    return FailureStatus("cannot read " + (recordFailed ? path : mapPath) + ": " +
                         ErrorText(recordFailed ? text.status : map.status));
  }
  const Result<SetupRecord> parsed = ParseSetupRecord(text.value);
  if (!parsed.ok()) return FailureStatus(path + ": " + parsed.status.message);
  const std::vector<MapEntry> entries = ReadMapEntries(map.value);
  for (const RecordRow& row : parsed.value.rows) {
    // Install changes the first line of each manager's method.
    const auto entry = std::find_if(entries.begin(), entries.end(), [&](const MapEntry& e) {
      return e.manager == row.first && e.method == row.second;
    });
    if (entry == entries.end() || !RunsBridge(entry->program, record.bridge))
      record.revertedMethods.push_back(row.first + " " + row.second);
  }
  return {};
}

// The methods an install set up in the managers' folders, each with what it
// runs now.
Status ReadLinkDrift(StatusRecord& record, const std::string& managers) {
  const Result<std::vector<std::string>> names = ListFolder(managers);
  if (!names.ok()) return FailureStatus("cannot list " + managers + ": " + ErrorText(names.status));
  for (const std::string& name : names.value) {
    const std::string folder = PathInFolder(managers, name),
                      path = PathInFolder(folder, kLinkRecord);
    const PathKind kind = GetPathKind(path).kind;
    if (kind == PathKind::Missing) continue;
    const Result<std::string> text = ReadWholeFile(path);
    if (!text.ok()) return FailureStatus("cannot read " + path + ": " + ErrorText(text.status));
    const Result<SetupRecord> parsed = ParseSetupRecord(text.value);
    if (!parsed.ok()) return FailureStatus(path + ": " + parsed.status.message);
    const std::vector<MethodState> states = ReadMethods(folder);
    for (const RecordRow& row : parsed.value.rows) {
      const auto state = std::find_if(states.begin(), states.end(),
                                      [&](const MethodState& m) { return m.method == row.first; });
      if (state == states.end()) continue;  // not one of the methods mergebridge takes
      if (state->kind == MethodKind::Unknown) {
        return FailureStatus("cannot look at " + PathInFolder(folder, row.first));
      }
      if (state->kind != MethodKind::Link || !RunsBridge(state->target, record.bridge))
        record.revertedMethods.push_back(name + " " + row.first);
    }
  }
  return {};
}

// Where mergebridge was installed: ClearCase's own methods back in place of
// any it set up (a repair) is drift; a method that cannot be read leaves it
// unknown. Where it never was and no method runs it, install is due.
void CheckDrift(StatusRecord& record, const std::string& managers) {
  if (!IsRemembered(managers)) {
    if (record.bridges.empty()) {
      NoteFailure(record,
                  "no xcompare or xmerge method runs mergebridge (run mergebridge-setup install)");
    }
    return;
  }
  const Status read =
      ManagersUseMap() ? ReadMapDrift(record, managers) : ReadLinkDrift(record, managers);
  if (!read.ok()) {
    record.drift = Drift::Unknown;
    record.revertedMethods.clear();
    const std::string text =
        "whether ClearCase put its own methods back is unknown: " + read.message;
    // Methods that run mergebridge still start it; only the rest is unknown.
    if (record.bridges.empty()) return NoteFailure(record, text, kErrorDriftUnknown);
    PrintLine("  " + text);
    record.errors.push_back({kErrorDriftUnknown, text});
    return;
  }
  std::vector<std::string> names = record.revertedMethods;
  if (names.empty() && record.bridges.empty()) {
    // No record left to name the methods by: the managers installed into.
    names = RecordedManagers(managers);
    if (names.empty()) names = DefaultManagers();
  }
  if (names.empty()) return;
  record.drift = Drift::Reverted;
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  NoteFailure(record, "ClearCase's own methods are back in " + record.home + " (" + list +
                          ") where mergebridge was installed; run mergebridge-setup install again");
}

void CheckClearCase(StatusRecord& record, const SetupOptions& given) {
  const SetupOptions options = WithRememberedClearCase(given);
  const Result<std::string> found = FindManagers(options);
  if (!found.ok()) return NoteFailure(record, found.status.message, kErrorNoClearCase);
  const std::string& managers = found.value;
  record.home = FolderOf(FolderOf(managers));
  if (options.clearcase.empty()) PrintLine("cleartool on PATH: " + SearchProgramPath("cleartool"));
  PrintLine("ClearCase type managers: " + managers);
  ManagersUseMap() ? ReadMap(record, managers) : ReadLinks(record, managers);
  CheckDrift(record, managers);
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
  if (!decided && !record.faults.empty()) {  // the likelier cause: the line that hid the value
    const RegistryFileFault& fault = record.faults.front();
    problem = Format("Velmora is not registered; %s:%ld: %s", fault.file.c_str(), fault.line,
                     fault.reason.c_str());
  } else if (!decided) {
    problem =
        "Velmora is not registered "
        "(run mergebridge-setup register [--all-users] VELMORA_PATH)";
  }
  if (!problem.empty()) NoteFailure(record, problem);
}

// The registry files' lines a merge passes over or stops at.
void ShowRegistryFaults(StatusRecord& record) {
  record.faults = RegistryFileFaults();
  for (const RegistryFileFault& fault : record.faults) {
    PrintLine(Format("Registry file line a merge skips or refuses: %s:%ld: %s", fault.file.c_str(),
                     fault.line, fault.reason.c_str()));
  }
}

// The last failed merges of this user, newest first.
void ShowFailures(StatusRecord& record) {
  record.failures = ReadFailures();
  if (record.failures.empty()) return;
  PrintLine("Recent failures of mergebridge (" + FailureRecordPath() + "):");
  for (size_t i = 0; i < record.failures.size() && i < kShownFailures; ++i) {
    const FailureEntry& failure = record.failures[i];
    std::string reason = failure.reason;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    PrintLine(Format("  %s status %ld: %s", failure.time.c_str(), failure.status, reason.c_str()));
  }
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

// Whose policy gave the registration: "machine" or "user", else null.
std::string PolicyName(const StatusRecord& record) {
  if (!record.registered || !IsPolicyScope(record.source)) return "null";
  return JsonString(record.source == RegistryScope::MachinePolicy ? "machine" : "user");
}

std::string StatusJson(const StatusRecord& record) {
  std::vector<std::string> failures, faults;
  for (size_t i = 0; i < record.failures.size() && i < kJsonFailures; ++i) {
    const FailureEntry& failure = record.failures[i];
    failures.push_back(JsonObject({{"time", JsonString(failure.time)},
                                   {"status", std::to_string(failure.status)},
                                   {"reason", JsonString(failure.reason)},
                                   {"files", JsonStrings(failure.files)}}));
  }
  for (const RegistryFileFault& fault : record.faults) {
    faults.push_back(JsonObject({{"file", JsonString(fault.file)},
                                 {"line", std::to_string(fault.line)},
                                 {"reason", JsonString(fault.reason)}}));
  }
  std::vector<std::string> managers;
  for (const auto& [name, installed] : record.managers) {
    managers.push_back(
        JsonObject({{"name", JsonString(name)}, {"installed", JsonBool(installed)}}));
  }
  const bool ready = record.problem.empty();
  return JsonObject(
      {{"format", std::to_string(kJsonFormat)},
       {"ok", JsonBool(ready)},
       {"errors", ErrorsJson(record.errors)},
       {"ready", JsonBool(ready)},
       {"reason", JsonString(ready ? "" : record.problem)},
       {"version", JsonString(MB_VERSION)},
       {"bridge", JsonString(record.bridge)},
       {"registry_faults", JsonList(faults)},
       {"recent_failures", JsonList(failures)},
       {"velmora",
        JsonObject({{"path", JsonStringOrNull(record.registered, record.velmora)},
                    {"source", record.registered ? JsonString(SourceName(record.source)) : "null"},
                    {"policy", PolicyName(record)},
                    {"exists", JsonBool(record.exists)}})},
       {"clearcase", JsonObject({{"home", JsonStringOrNull(!record.home.empty(), record.home)},
                                 {"managers", JsonList(managers)},
                                 {"reverted", record.drift == Drift::Unknown
                                                  ? "null"
                                                  : JsonBool(record.drift == Drift::Reverted)},
                                 {"revertedMethods", JsonStrings(record.revertedMethods)}})}});
}

}  // namespace

Status ShowStatus(const SetupOptions& options) {
  StatusRecord record;
  record.bridge = BridgePath(options);
  CheckClearCase(record, options);
  ShowRegistryFaults(record);
  ShowRegistrations(record, options.allUsers);
  ShowFailures(record);
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
