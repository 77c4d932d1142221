// The record of failed merges the bridge keeps for the user who ran it, and
// the copy it leaves in the system's log, for whoever supports that user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace mergebridge {

/// One failed run: when (UTC, ISO 8601), the exit status ClearCase got, why in
/// the words shown elsewhere, and the files ClearCase named.
struct FailureEntry {
  std::string time;
  long status = 0;
  std::string reason;
  std::vector<std::string> files;
};

/// The record holds two files of at most kFailureFileLimit bytes each, the
/// current one and the one before it: a new entry that would overflow the
/// current file first moves it over the older one.
inline constexpr size_t kFailureFileLimit = 128 * 1024;

/// Appends the entry (time taken now) to the record and reports it to the
/// system's log (Linux: syslog, facility user, priority err; Windows: an
/// Application event of the source "mergebridge", when that is registered).
/// Never fails: where nothing can be written the run goes on as without it.
void RecordFailure(long status, const std::string& reason, const std::vector<std::string>& files);

/// Appends one entry to the record's current file, taking turns with other
/// runs of the user, and moving the file aside when full. Fails with the error
/// number; nothing else is written then.
Status AppendFailure(const FailureEntry& entry);

/// The record's entries, newest first; none when there is no record.
std::vector<FailureEntry> ReadFailures();

/// The record's current file, or empty when the user has no state folder
/// (Linux: $XDG_STATE_HOME/mergebridge/failures.log, else under
/// ~/.local/state; Windows: %LOCALAPPDATA%\mergebridge\failures.log).
std::string FailureRecordPath();

/// The entry as one line of the file: the fields separated by tabs, with tab,
/// line end and backslash escaped, each field cut to 1 KiB and at most eight
/// files. ParseFailureLines reads the lines back, oldest first, skipping
/// those that do not read as an entry.
std::string FailureLine(const FailureEntry& entry);
std::vector<FailureEntry> ParseFailureLines(std::string_view text);

/// The entry as one line of text for the system's log.
std::string FailureSummary(const FailureEntry& entry);

}  // namespace mergebridge
