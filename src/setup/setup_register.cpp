// The register and unregister commands: Velmora's path in the registry.
#include "setup/setup_register.h"

#include "host/files.h"
#include "host/setup_lock.h"
#include "setup/setup_remembered.h"
#include "setup/setup_shared.h"
#include "setup/velmora_record.h"

namespace mergebridge {

namespace {

const long kLockWaitMillis = 2000;  // as install's

RegistryScope ScopeOf(const SetupOptions& options) {
  return options.policy     ? RegistryScope::MachinePolicy
         : options.allUsers ? RegistryScope::Machine
                            : RegistryScope::User;
}

// What the command is about: the registry value and the words for it.
struct Registration {
  RegistryScope scope;
  const char* verb;   // "write", "remove"
  const char* doing;  // "registering", "unregistering"
};

// `landed`: the registration reads as the command meant it all the same.
std::string RegistrationFailure(const Registration& registration, const Status& error,
                                bool landed) {
  const RegistryScope scope = registration.scope;
  std::string text = std::string("cannot ") + registration.verb + " " +
                     DescribeValuePlace(scope, RegistryPlace(scope)) + ": " + ErrorText(error);
  if (!IsAccountScope(scope) && IsAccessDenied(error)) {
    text += std::string("; ") + registration.doing + " Velmora " + DescribeScope(scope) +
            " needs " + MachineRegistryOwner();
  }
  return text + FailureEnding(landed);
}

// Keeps other setup runs from changing the value until this one ends; a busy
// lock or a failure is printed.
Status LockValue(RegistryScope scope) {
  const Result<LockState> lock = LockRegistry(scope, kLockWaitMillis);
  if (lock.ok() && lock.value != LockState::Busy) return {};
  const std::string where = DescribeValuePlace(scope, RegistryPlace(scope));
  return PrintFailure(
      lock.ok() ? "another mergebridge-setup is changing " + where +
                      "; run this again when it has finished. Nothing was "
                      "changed."
                : "cannot lock " + where + ": " + ErrorText(lock.status) + ". Nothing was changed.",
      lock.ok() ? kErrorLockBusy : kErrorFailed);
}

// --if-value: true when the value holds exactly what was given, or none was
// given. Otherwise says what it holds and nothing is to be changed; fails,
// printed, when it could not be read, or when the value given serves from a
// place the command does not change (another configuration folder, Windows'
// 32-bit view): a success would leave it serving.
Result<bool> HoldsExpected(const SetupOptions& options, RegistryScope scope) {
  if (!options.ifValue) return {true, {}};
  const Result<RegistryRead> now = ReadRegistryString(scope, VelmoraKeyOf(scope), kVelmoraValue);
  const std::string where = DescribeValuePlace(scope, now.value.place);
  const bool here = now.value.place == RegistryPlace(scope);
  const bool same = now.ok() && IsSamePathText(now.value.value, *options.ifValue);
  if (same && here) return {true, {}};
  if (same) {
    return {false,
            PrintFailure(where + " holds " + *options.ifValue + ", but this command changes only " +
                         DescribeValuePlace(scope, RegistryPlace(scope)) +
                         ", which holds none; change it where it is. Nothing was changed.")};
  }
  if (IsAbsentFromRegistry(now.status)) {
    PrintLine("Left " + where + " as it is: it holds nothing (no value), not " + *options.ifValue +
              ".");
  } else if (!now.ok()) {
    return {false, PrintFailure("cannot read " + where + ": " + ErrorText(now.status) +
                                ". Nothing was changed.")};
  } else {
    PrintLine("Left " + where + " as it is: it holds " + now.value.value +
              ", which someone else wrote.");
  }
  return {false, {}};
}

// True when the scope's value reads as `path`.
bool ReadsAs(RegistryScope scope, const std::string& path) {
  const Result<RegistryRead> now = ReadRegistryString(scope, VelmoraKeyOf(scope), kVelmoraValue);
  return now.ok() && IsSamePathText(now.value.value, path);
}

// The machine's value where register writes it (not one only Windows' 32-bit
// view holds): absent as nullopt; fails, printed, when it cannot be read.
Result<std::optional<StoredText>> ReadMachineValue() {
  const RegistryScope scope = RegistryScope::Machine;
  const Result<RegistryRead> now = ReadRegistryString(scope, kVelmoraKey, kVelmoraValue);
  if (now.ok() && now.value.place == RegistryPlace(scope))
    return {StoredText{now.value.value, now.value.expandable}, {}};
  if (now.ok() || IsAbsentFromRegistry(now.status)) return {};
  return {{},
          PrintFailure("cannot read " + DescribeValuePlace(scope, now.value.place) + ": " +
                       ErrorText(now.status) + ". Nothing was changed.")};
}

// The installer's record; nullopt when it keeps none. A failure is printed.
Result<std::optional<VelmoraRecord>> LoadRecord(const std::string& installer) {
  const std::string path = VelmoraRecordPath(installer);
  if (path.empty()) return {};
  // A record another account could have planted (Windows) is never taken.
  Status trusted = CheckStateEntry(FolderOf(path));
  if (trusted.ok()) trusted = CheckStateEntry(path);
  if (!trusted.ok()) {
    return {{},
            PrintFailure(path + ": " +
                         (trusted.message.empty() ? ErrorText(trusted) : trusted.message) +
                         ". Nothing was changed.")};
  }
  const Result<std::string> text = ReadWholeFile(path);
  if (!text.ok() && GetPathKind(path).kind == PathKind::Missing) return {};
  const Result<VelmoraRecord> record =
      text.ok() ? ParseVelmoraRecord(text.value) : Result<VelmoraRecord>{{}, text.status};
  if (record.ok()) return {record.value, {}};
  return {{},
          PrintFailure("cannot read " + path + ": " +
                       (text.ok() ? record.status.message : ErrorText(record.status)) +
                       ". Nothing was changed.")};
}

// True when `value` is what the record says was written.
bool HoldsWritten(const std::optional<StoredText>& value, const VelmoraRecord& record) {
  return value && IsSamePathText(value->text, record.written);
}

// register --record: what the installer writes and what is there now (or,
// where the value still holds what its earlier run wrote, what was there
// before that), recorded before the value changes. Refused while the value
// holds what another installer recorded: each gives back only its own.
Status RecordBeforeWriting(const std::string& installer, const std::string& path) {
  const Result<std::optional<StoredText>> now = ReadMachineValue();
  if (!now.ok()) return now.status;
  for (const std::string& other : VelmoraRecordInstallers()) {
    if (other == installer) continue;
    const Result<std::optional<VelmoraRecord>> theirs = LoadRecord(other);
    if (!theirs.ok()) return theirs.status;
    if (theirs.value && HoldsWritten(now.value, *theirs.value)) {
      return PrintFailure("Velmora's value for all users (" + now.value->text +
                          ") was registered by mergebridge's " + other +
                          " installation; remove that one first, or install this one without "
                          "Velmora's path. Nothing was changed.");
    }
  }
  const Result<std::optional<VelmoraRecord>> earlier = LoadRecord(installer);
  if (!earlier.ok()) return earlier.status;
  VelmoraRecord record{path, now.value};
  if (earlier.value && HoldsWritten(now.value, *earlier.value))
    record.before = earlier.value->before;
  const std::string file = VelmoraRecordPath(installer), text = FormatVelmoraRecord(record);
  if (file.empty()) return PrintFailure("no folder to keep the record in. Nothing was changed.");
  const Result<std::string> kept = ReadWholeFile(file);
  if (kept.ok() && kept.value == text) return {};
  Status stored = MakeStateFolder(FolderOf(file));
  if (stored.ok()) stored = ReplaceFileAtomically(file, text);
  if (!stored.ok()) {
    return PrintFailure("cannot write " + file + ": " + ErrorText(stored) +
                        ". Nothing was changed.");
  }
  NoteChange();
  return {};
}

// unregister --if-recorded: the value given back as the installer's record
// says, where it still holds what the installer wrote; the record goes.
Status GiveBackRecorded(const std::string& installer) {
  const RegistryScope scope = RegistryScope::Machine;
  const Result<std::optional<VelmoraRecord>> record = LoadRecord(installer);
  if (!record.ok()) return record.status;
  const std::string where = DescribeValuePlace(scope, RegistryPlace(scope));
  if (!record.value) {
    PrintLine("Left " + where + " as it is: the " + installer + " installation wrote none.");
    return {};
  }
  const Result<std::optional<StoredText>> now = ReadMachineValue();
  if (!now.ok()) return now.status;
  const std::optional<StoredText>& before = record.value->before;
  Status status;
  const bool ours = HoldsWritten(now.value, *record.value);
  if (!ours) {
    PrintLine("Left " + where + " as it is: it holds " +
              (now.value ? now.value->text + ", which someone else wrote."
                         : std::string("nothing (no value).")));
  } else if (before) {
    status =
        WriteRegistryString(scope, kVelmoraKey, kVelmoraValue, before->text, before->expandable);
    if (status.ok()) PrintLine("Gave back " + where + ": " + before->text);
  } else {
    status = RemoveRegistryValue(scope, kVelmoraKey, kVelmoraValue).status;
    if (status.ok())
      PrintLine("Unregistered Velmora " + DescribeScope(scope) + ": removed " + where +
                ", as there was none before.");
  }
  if (!status.ok()) {
    return PrintFailure(RegistrationFailure({scope, "write", "giving back"}, status, false));
  }
  if (ours) NoteChange();
  if (Status removed = RemoveFileIfPresent(VelmoraRecordPath(installer)); !removed.ok()) {
    PrintError("warning: cannot remove " + VelmoraRecordPath(installer) + ": " +
               ErrorText(removed) + ".");
  }
  return {};
}

// A registration the policy overrides: one line naming the policy.
void WarnOfPolicy(RegistryScope scope) {
  for (const VelmoraPlace& policy : kVelmoraLookup) {
    if (!IsPolicyScope(policy.scope)) break;
    if (scope == RegistryScope::Machine && IsAccountScope(policy.scope)) continue;
    const Result<RegistryRead> read = ReadRegistryString(policy.scope, policy.key, kVelmoraValue);
    if (!read.ok()) continue;
    PrintError("warning: the policy " + DescribeValuePlace(policy.scope, read.value.place) + " (" +
               read.value.value + ") wins over this registration.");
    return;
  }
}

}  // namespace

Status Register(const SetupOptions& options) {
  const std::string path = AbsolutePath(options.velmora);
  const bool startable = IsStartableProgram(path);
  if (!startable && !options.force) {
    return PrintFailure(path +
                        " is not a program that can be started; nothing was registered "
                        "(--force registers it all the same).");
  }
  const RegistryScope scope = ScopeOf(options);
  if (Status locked = LockValue(scope); !locked.ok()) return locked;
  const Result<bool> expected = HoldsExpected(options, scope);
  if (!expected.value) return expected.status;
  if (!options.record.empty()) {
    if (Status recorded = RecordBeforeWriting(options.record, path); !recorded.ok())
      return recorded;
  }
  const char* key = VelmoraKeyOf(scope);
  if (!ReadsAs(scope, path)) {
    if (Status written = WriteRegistryString(scope, key, kVelmoraValue, path); !written.ok()) {
      return PrintFailure(
          RegistrationFailure({scope, "write", "registering"}, written, ReadsAs(scope, path)));
    }
    NoteChange();
  }
  PrintLine("Registered Velmora " + DescribeScope(scope) + ": " + path);
  if (scope != RegistryScope::MachinePolicy) WarnOfPolicy(scope);
  // Forced, as the installers do where Velmora is to be installed later.
  if (!startable) {
    PrintError("warning: " + path +
               " is not a program that can be started yet; a merge starts it once it is.");
  }
  return {};
}

Status Unregister(const SetupOptions& options) {
  const RegistryScope scope = ScopeOf(options);
  const char* key = VelmoraKeyOf(scope);
  if (Status locked = LockValue(scope); !locked.ok()) return locked;
  if (!options.record.empty()) return GiveBackRecorded(options.record);
  const Result<bool> expected = HoldsExpected(options, scope);
  if (!expected.value) return expected.status;
  const Result<bool> removed = RemoveRegistryValue(scope, key, kVelmoraValue);
  if (!removed.ok()) {
    const bool landed = IsAbsentFromRegistry(ReadRegistryString(scope, key, kVelmoraValue).status);
    return PrintFailure(
        RegistrationFailure({scope, "remove", "unregistering"}, removed.status, landed));
  }
  if (removed.value) NoteChange();
  const std::string where = DescribeValuePlace(scope, RegistryPlace(scope));
  PrintLine(removed.value
                ? "Unregistered Velmora " + DescribeScope(scope) + ": removed " + where + "."
                : "Nothing to remove: Velmora was not registered " + DescribeScope(scope) +
                      " (no " + where + ").");
  // The machine's registration that serves now: for all users, one in a place
  // register does not write (another configuration folder, Windows' 32-bit
  // view).
  if (scope == RegistryScope::MachinePolicy) return {};
  const Result<RegistryRead> machine =
      ReadRegistryString(RegistryScope::Machine, kVelmoraKey, kVelmoraValue);
  if (machine.ok()) {
    PrintLine((options.allUsers ? "Velmora is still registered "
                                : "A merge of this user now takes the registration ") +
              DescribeScope(RegistryScope::Machine) + " (" +
              DescribeValuePlace(RegistryScope::Machine, machine.value.place) +
              "): " + machine.value.value);
  }
  return {};
}

}  // namespace mergebridge
