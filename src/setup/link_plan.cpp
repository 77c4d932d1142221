#include "setup/link_plan.h"

#include "setup/setup_record.h"

namespace mergebridge {

namespace {

constexpr char kLink[] = "link", kFile[] = "file";

const MethodState* FindState(const std::vector<MethodState>& methods, const std::string& method) {
  for (const MethodState& state : methods) {
    if (state.method == method) return &state;
  }
  return nullptr;
}

RecordRow* FindRow(SetupRecord& record, const std::string& method) {
  for (RecordRow& row : record.rows) {
    if (row.first == method) return &row;
  }
  return nullptr;
}

LinkPlan RefusedPlan(const std::string& manager, const Status& fault) {
  LinkPlan plan;
  plan.status = FailureStatus(
      manager + ": the record of an earlier install cannot be read: " + fault.message);
  return plan;
}

// A method's name, as ClearCase calls its method files: one name in the
// manager's folder, never a path.
bool IsMethodName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The record is read and acted on by whoever runs setup (root, from the
// packages) while the folder may belong to another account: a row may name
// only a method and what it ran, and a method file only as kept beside it.
Status CheckRows(const SetupRecord& record) {
  for (const RecordRow& row : record.rows) {
    const bool file = row.second == kFile;
    if (!IsMethodName(row.first) || (!file && row.second != kLink) ||
        (file && row.third != BackupName(row.first))) {
      return FailureStatus("line " + std::to_string(row.line) + " (" + row.first + ", " +
                           row.third +
                           ") names something else than a method and its own kept "
                           "copy beside it");
    }
  }
  return {};
}

}  // namespace

std::string BackupName(const std::string& method) {
  return method + ".before-mergebridge";
}

LinkPlan PlanLinkInstall(const std::string& manager, const std::vector<MethodState>& methods,
                         std::string_view recordText, const std::string& bridge) {
  Result<SetupRecord> parsed = ParseSetupRecord(recordText);
  if (parsed.ok()) parsed.status = CheckRows(parsed.value);
  if (!parsed.ok()) return RefusedPlan(manager, parsed.status);
  SetupRecord& record = parsed.value;
  LinkPlan plan;
  for (const MethodState& state : methods) {
    const std::string name = manager + " " + state.method;
    RecordRow* row = FindRow(record, state.method);
    const bool ours =
        state.kind == MethodKind::Link &&
        (state.target == bridge || (!record.bridge.empty() && state.target == record.bridge));
    if (ours) {
      if (state.target != bridge)
        plan.actions.push_back({state.method, LinkStep::LinkToBridge, ""});
      continue;
    }
    if (state.kind == MethodKind::Link) {
      // Changed by someone since an earlier install: that is what to put back.
      if (row != nullptr && row->second == kFile) {
        plan.notes.push_back(name + ": its kept original " + row->third +
                             " would be lost; left alone");
        continue;
      }
      if (row != nullptr) {
        row->third = state.target;
      } else {
        record.rows.push_back({state.method, kLink, state.target});
      }
      plan.actions.push_back({state.method, LinkStep::LinkToBridge, ""});
    } else if (state.kind == MethodKind::File && !state.backupTaken && row == nullptr) {
      record.rows.push_back({state.method, kFile, BackupName(state.method)});
      plan.actions.push_back({state.method, LinkStep::BackUpThenLink, BackupName(state.method)});
    } else if (state.kind == MethodKind::File && row != nullptr && row->second == kFile &&
               row->third == BackupName(state.method) &&
               (!state.backupTaken || state.backupIsCopy)) {
      // An install stopped between its record and the link: finish it.
      plan.actions.push_back({state.method,
                              state.backupTaken ? LinkStep::LinkToBridge : LinkStep::BackUpThenLink,
                              BackupName(state.method)});
    } else if (state.kind == MethodKind::File) {
      plan.notes.push_back(name + ": " + BackupName(state.method) +
                           " is already there; left alone");
    } else {
      plan.notes.push_back(name + (state.kind == MethodKind::Missing
                                       ? ": not in the manager's folder; left alone"
                                       : ": not a file or a link; left alone"));
    }
  }
  record.bridge = bridge;
  plan.record = FormatSetupRecord(record);
  return plan;
}

LinkPlan PlanLinkRemoval(const std::string& manager, const std::vector<MethodState>& methods,
                         std::string_view recordText) {
  Result<SetupRecord> parsed = ParseSetupRecord(recordText);
  if (parsed.ok()) parsed.status = CheckRows(parsed.value);
  if (!parsed.ok()) return RefusedPlan(manager, parsed.status);
  SetupRecord& record = parsed.value;
  LinkPlan plan;
  for (const RecordRow& row : record.rows) {
    const std::string name = manager + " " + row.first;
    const MethodState* state = FindState(methods, row.first);
    const bool file = row.second == kFile;
    if (state != nullptr && file && state->kind == MethodKind::File && state->backupIsCopy) {
      plan.actions.push_back({row.first, LinkStep::DropCopy, row.third});
    } else if (state != nullptr &&
               (file ? state->kind == MethodKind::File && !state->backupTaken
                     : state->kind == MethodKind::Link && state->target == row.third)) {
      // Put back already, by an uninstall that stopped before its record went.
    } else if (state == nullptr || state->kind != MethodKind::Link ||
               state->target != record.bridge) {
      plan.notes.push_back(name + ": changed since install; left alone");
    } else {
      plan.actions.push_back(
          {row.first, file ? LinkStep::RestoreBackup : LinkStep::RestoreLink, row.third});
    }
  }
  return plan;
}

}  // namespace mergebridge
