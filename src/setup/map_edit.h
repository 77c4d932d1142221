// Editing the type-manager map (lib/mgrs/map on Windows): pure functions from
// the map's bytes to new bytes and the record of what was there before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace mergebridge {

/// One method line of the map: "manager method program", blank-separated.
struct MapEntry {
  std::string manager, method;
  std::string program;  // the third column to the line's end, trailing blanks excluded
  size_t programBegin = 0, programEnd = 0;  // its byte range in the map
  long line = 0;                            // 1-based
};

/// The method lines of `map` in order; blank lines, lines starting with ';' or
/// '#', and lines of fewer than three columns are not method lines.
std::vector<MapEntry> ReadMapEntries(std::string_view map);

/// What an edit of the map comes to.
struct MapEdit {
  Status status;                   // failed: the record could not be read, nothing is to be written
  std::string map;                 // the new map bytes
  std::string record;              // the new record text; empty: no record is needed any more
  std::vector<std::string> notes;  // what was left alone and why
};

/// Points the first xcompare and xmerge line of each of `managers` at `bridge`,
/// recording in `record` (the current record text, empty when none) what the
/// line ran. Lines that already run `bridge` or the record's earlier bridge
/// keep their recorded original, so installing twice changes nothing the
/// second time. Only the program column changes; every other byte stays.
MapEdit InstallIntoMap(std::string_view map, std::string_view record,
                       const std::vector<std::string>& managers, const std::string& bridge);

/// Puts back what `record` says each method ran, where the method still runs
/// the recorded bridge; other methods are left alone and noted. The returned
/// record is empty.
MapEdit RemoveFromMap(std::string_view map, std::string_view record);

/// True when `program` is mergebridge: `bridge` itself, or a program whose file
/// name is mergebridge or mergebridge.exe (ASCII letter case ignored).
bool RunsBridge(std::string_view program, std::string_view bridge);

}  // namespace mergebridge
