// What the setup program's commands share: the tool's registry value, the
// reports, the type managers' folder, the bridge and the methods as found.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "host/registry.h"
#include "setup/link_plan.h"
#include "setup/setup_options.h"

namespace mergebridge {

/// The record install keeps in a type manager's folder (Linux).
inline constexpr char kLinkRecord[] = ".mergebridge-setup";
/// The record install keeps beside the map (Windows).
inline constexpr char kMapRecord[] = "map.mergebridge";

/// The codes of --json's errors, which scripts may test: they never change.
inline constexpr char kErrorFailed[] = "failed";             // a step failed
inline constexpr char kErrorWarning[] = "warning";           // done all the same
inline constexpr char kErrorCommandLine[] = "command-line";  // refused; exit status 2
inline constexpr char kErrorLockBusy[] = "lock-busy";        // exit status 3: try again
inline constexpr char kErrorNoClearCase[] = "clearcase-not-found";
inline constexpr char kErrorNotReady[] = "not-ready";          // status: a merge would not start
inline constexpr char kErrorDriftUnknown[] = "drift-unknown";  // status: a method cannot be read

/// The version of the --json objects' layout, in each as "format".
inline constexpr int kJsonFormat = 1;

/// One error of a run: its code and the line written to stderr.
struct SetupError {
  std::string code, message;
};

/// What a command said and did, gathered for --json instead of printed.
struct SetupReport {
  bool json = false;               // gather the lines rather than write them to stdout
  bool changed = false;            // something was changed (with --dry-run: would be)
  std::vector<std::string> lines;  // what was said, errors included
  std::vector<SetupError> errors;  // the lines written to stderr
};
SetupReport& RunReport();
/// Notes that the command changed something.
void NoteChange();

/// Writes a line to stdout (with --json: into the report).
void PrintLine(const std::string& text);
/// Writes a line to stderr, after the program's name, and keeps it in the
/// report's errors under `code` (none: kErrorWarning for a text beginning with
/// "warning: ", else kErrorFailed); with --json, among its lines as well.
void PrintError(const std::string& text, const char* code = nullptr);
/// Prints `text` as PrintError does and returns it as a failure: for a step
/// that stops there, its report shown where it happened, so that it keeps its
/// place among the lines printed before and after.
Status PrintFailure(const std::string& text, const char* code = nullptr);
/// The errors as --json's list of {code, message} objects.
std::string ErrorsJson(const std::vector<SetupError>& errors);
std::string PathInFolder(const std::string& folder, const std::string& name);
/// What a method link in `folder` runs: its target, taken from `folder` when
/// it is relative.
std::string LinkTargetPath(const std::string& folder, const std::string& target);
/// The system's text for the failure's error number, without its final line
/// break or full stop, and the number.
std::string ErrorText(const Status& status);
/// How a failure's report ends; `landed`: the change is in place all the same.
std::string FailureEnding(bool landed);

/// lib/mgrs of the ClearCase installation; fails with the reason in words.
Result<std::string> FindManagers(const SetupOptions& options);
/// The mergebridge program the methods are to run.
std::string BridgePath(const SetupOptions& options);
/// What a method in a manager's folder runs, in words, for status and diffs.
std::string DescribeMethod(const MethodState& state);
/// The xcompare and xmerge methods in a manager's `folder`, with their kept copies.
std::vector<MethodState> ReadMethods(const std::string& folder);

/// "for this user", "for all users of this computer", "by this computer's
/// policy" or "by this user's policy".
std::string DescribeScope(RegistryScope scope);
/// The value's full name and the place it is in, in words.
std::string DescribeValuePlace(RegistryScope scope, const std::string& place);

}  // namespace mergebridge
