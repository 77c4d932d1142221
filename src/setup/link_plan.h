// Pointing a UNIX type manager's methods (files in lib/mgrs/<manager>/,
// usually symbolic links) at mergebridge and back: pure planning, carried out
// by the caller.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace mergebridge {

enum class MethodKind { Missing, Link, File, Other, Unknown };  // Unknown: could not be looked at

/// What is at lib/mgrs/<manager>/<method> now.
struct MethodState {
  std::string method;
  MethodKind kind = MethodKind::Missing;
  std::string target;         // Link: the link's text
  bool backupTaken = false;   // File: something already has the backup name
  bool backupIsCopy = false;  // File: and it holds the method's own bytes
};

enum class LinkStep {
  LinkToBridge,    // replace the method with a link to the bridge
  BackUpThenLink,  // keep the file under `value` (a backup name), then link
  RestoreLink,     // replace the method with a link to `value`
  RestoreBackup,   // move the backup `value` back in place of the method
  DropCopy,        // remove the backup `value`, a second copy of the method
};

struct LinkAction {
  std::string method;
  LinkStep step = LinkStep::LinkToBridge;
  std::string value;
};

struct LinkPlan {
  Status status;  // failed: the record could not be read, nothing is to be done
  std::vector<LinkAction> actions;
  std::string record;  // the manager's new record text; empty: remove it
  std::vector<std::string> notes;
};

/// The name a regular method file is kept under while the method runs mergebridge.
std::string BackupName(const std::string& method);

/// Plans pointing `methods` of `manager` at `bridge`, given the manager's
/// current record text (empty when none). Methods already linked to `bridge`
/// or to the record's earlier bridge keep their recorded original; a method
/// file the record says was kept, not yet kept or kept as an identical copy
/// (an interrupted install), is kept and linked.
LinkPlan PlanLinkInstall(const std::string& manager, const std::vector<MethodState>& methods,
                         std::string_view record, const std::string& bridge);

/// Plans putting back what `record` says each method was, where the method is
/// still a link to the recorded bridge; a kept copy beside the method file it
/// copies goes; methods already put back are done; others are left alone and
/// noted.
LinkPlan PlanLinkRemoval(const std::string& manager, const std::vector<MethodState>& methods,
                         std::string_view record);

}  // namespace mergebridge
