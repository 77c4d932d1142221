#include "setup/map_edit.h"

#include <algorithm>

#include "common/text.h"
#include "setup/setup_options.h"
#include "setup/setup_record.h"

namespace mergebridge {

namespace {

struct Replacement {
  size_t begin, end;
  std::string text;
};

// Applies non-overlapping replacements in one pass, so that a large map stays
// linear however many lines change.
std::string ApplyReplacements(std::string_view map, std::vector<Replacement> edits) {
  std::sort(edits.begin(), edits.end(),
            [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });
  std::string out;
  out.reserve(map.size() + 256);
  size_t from = 0;
  for (const Replacement& edit : edits) {
    out.append(map.substr(from, edit.begin - from));
    out += edit.text;
    from = edit.end;
  }
  out.append(map.substr(from));
  return out;
}

const MapEntry* FindEntry(const std::vector<MapEntry>& entries, std::string_view manager,
                          std::string_view method) {
  for (const MapEntry& entry : entries) {
    // Managers and methods are matched as ClearCase spells them; a Windows
    // map is not case-sensitive in practice, so neither is the match.
    if (EqualsIgnoreCaseAscii(entry.manager, manager) &&
        EqualsIgnoreCaseAscii(entry.method, method)) {
      return &entry;
    }
  }
  return nullptr;
}

RecordRow* FindRow(SetupRecord& record, std::string_view manager, std::string_view method) {
  for (RecordRow& row : record.rows) {
    if (EqualsIgnoreCaseAscii(row.first, manager) && EqualsIgnoreCaseAscii(row.second, method))
      return &row;
  }
  return nullptr;
}

std::string MethodLabel(std::string_view manager, std::string_view method) {
  return std::string(manager) + " " + std::string(method);
}

MapEdit RefusedEdit(std::string_view map, const Status& fault) {
  MapEdit edit;
  edit.status = FailureStatus("the record of an earlier install cannot be read: " + fault.message);
  edit.map = std::string(map);
  return edit;
}

}  // namespace

std::vector<MapEntry> ReadMapEntries(std::string_view map) {
  std::vector<MapEntry> entries;
  long number = 0;
  for (size_t start = 0; start < map.size();) {
    size_t end = map.find('\n', start);
    const size_t next = end == std::string_view::npos ? map.size() : end + 1;
    if (end == std::string_view::npos) end = map.size();
    ++number;
    size_t stop = end;
    while (stop > start && (IsBlank(map[stop - 1]) || map[stop - 1] == '\r')) --stop;
    size_t at = start;
    std::string_view columns[2];
    bool complete = true;
    for (std::string_view& column : columns) {
      while (at < stop && IsBlank(map[at])) ++at;
      const size_t begin = at;
      while (at < stop && !IsBlank(map[at])) ++at;
      column = map.substr(begin, at - begin);
      complete = complete && !column.empty();
    }
    while (at < stop && IsBlank(map[at])) ++at;
    const bool comment = !columns[0].empty() && (columns[0][0] == ';' || columns[0][0] == '#');
    if (complete && !comment && at < stop) {
      entries.push_back({std::string(columns[0]), std::string(columns[1]),
                         std::string(map.substr(at, stop - at)), at, stop, number});
    }
    start = next;
  }
  return entries;
}

bool RunsBridge(std::string_view program, std::string_view bridge) {
  if (!bridge.empty() && EqualsIgnoreCaseAscii(program, bridge)) return true;
  const size_t slash = program.find_last_of("\\/");
  const std::string_view name =
      slash == std::string_view::npos ? program : program.substr(slash + 1);
  return EqualsIgnoreCaseAscii(name, "mergebridge") ||
         EqualsIgnoreCaseAscii(name, "mergebridge.exe");
}

MapEdit InstallIntoMap(std::string_view map, std::string_view recordText,
                       const std::vector<std::string>& managers, const std::string& bridge) {
  Result<SetupRecord> parsed = ParseSetupRecord(recordText);
  if (!parsed.ok()) return RefusedEdit(map, parsed.status);
  SetupRecord& record = parsed.value;
  const std::vector<MapEntry> entries = ReadMapEntries(map);
  const std::string earlier = record.bridge;
  auto ours = [&](const std::string& program) {
    return EqualsIgnoreCaseAscii(program, bridge) ||
           (!earlier.empty() && EqualsIgnoreCaseAscii(program, earlier));
  };

  MapEdit edit;
  std::vector<Replacement> replacements;
  auto pointAtBridge = [&](const MapEntry& entry) {
    if (entry.program != bridge)
      replacements.push_back({entry.programBegin, entry.programEnd, bridge});
  };
  // Methods recorded earlier follow a new bridge path too, so none is orphaned.
  for (const RecordRow& row : record.rows) {
    const MapEntry* entry = FindEntry(entries, row.first, row.second);
    if (entry != nullptr && ours(entry->program)) pointAtBridge(*entry);
  }
  for (const std::string& manager : managers) {
    for (const std::string& method : BridgedMethods()) {
      const MapEntry* entry = FindEntry(entries, manager, method);
      if (entry == nullptr) {
        edit.notes.push_back(MethodLabel(manager, method) + ": not in the map; left alone");
        continue;
      }
      RecordRow* row = FindRow(record, manager, method);
      if (ours(entry->program)) {
        pointAtBridge(*entry);
        continue;
      }
      // A line changed by someone since an earlier install: what it runs now
      // is what uninstall must put back.
      if (row != nullptr) {
        row->third = entry->program;
      } else {
        record.rows.push_back({entry->manager, entry->method, entry->program});
      }
      pointAtBridge(*entry);
    }
  }
  // Two requests for the same line (a manager listed twice) make one edit.
  std::sort(replacements.begin(), replacements.end(),
            [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });
  replacements.erase(
      std::unique(replacements.begin(), replacements.end(),
                  [](const Replacement& a, const Replacement& b) { return a.begin == b.begin; }),
      replacements.end());
  record.bridge = bridge;
  edit.map = ApplyReplacements(map, std::move(replacements));
  edit.record = FormatSetupRecord(record);
  return edit;
}

MapEdit RemoveFromMap(std::string_view map, std::string_view recordText) {
  Result<SetupRecord> parsed = ParseSetupRecord(recordText);
  if (!parsed.ok()) return RefusedEdit(map, parsed.status);
  SetupRecord& record = parsed.value;
  const std::vector<MapEntry> entries = ReadMapEntries(map);
  MapEdit edit;
  std::vector<Replacement> replacements;
  for (const RecordRow& row : record.rows) {
    const MapEntry* entry = FindEntry(entries, row.first, row.second);
    if (entry == nullptr) {
      edit.notes.push_back(MethodLabel(row.first, row.second) +
                           ": no longer in the map; left alone");
    } else if (entry->program == row.third) {
      // Put back already, by an uninstall that stopped before its record went.
    } else if (!EqualsIgnoreCaseAscii(entry->program, record.bridge)) {
      edit.notes.push_back(MethodLabel(row.first, row.second) +
                           ": changed since install (now runs " + entry->program + "); left alone");
    } else {
      replacements.push_back({entry->programBegin, entry->programEnd, row.third});
    }
  }
  edit.map = ApplyReplacements(map, std::move(replacements));
  return edit;
}

}  // namespace mergebridge
