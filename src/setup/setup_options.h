// The setup program's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/status.h"

namespace mergebridge {

enum class SetupCommand { Help, Status, Install, Uninstall, Register, Unregister, Version, Try };

struct SetupOptions {
  SetupCommand command = SetupCommand::Help;
  std::vector<std::string> managers;  // install: the type managers to change
  std::string bridge;                 // --bridge; empty: mergebridge beside this program
  std::string clearcase;              // --clearcase; empty: found from cleartool on PATH
  std::string velmora;                // register: the program to register
  bool dryRun = false, force = false;
  bool allUsers = false;    // (un)register: for every user; status: as a user without their own
  bool policy = false;      // (un)register: the computer's policy
  bool remembered = false;  // uninstall: every installation install remembered
  bool json = false;        // one JSON object on stdout instead of lines
  std::optional<std::string> ifValue;  // (un)register: only while the value holds exactly this
  // register --all-users: the installer that writes the value, named for its
  // record of what it wrote and what was there before; unregister
  // --if-recorded: the installer whose record says what to give back.
  std::string record;
};

/// The type managers install changes when --managers is not given.
const std::vector<std::string>& DefaultManagers();

/// The methods mergebridge takes the place of, in each type manager.
const std::vector<std::string>& BridgedMethods();

/// Reads `args` (without the program name). Fails with what is wrong with the
/// command line in words.
Result<SetupOptions> ParseSetupOptions(const std::vector<std::string>& args);

/// The exit statuses of mergebridge-setup, as --help, the man page and the
/// deployment guide show them.
enum SetupExit : int { kExitDone = 0, kExitFailed = 1, kExitRefused = 2, kExitLockBusy = 3 };
struct SetupExitRow {
  SetupExit status;
  const char* meaning;
};
const std::vector<SetupExitRow>& SetupExitTable();

/// True when `args` ask for --json, read as leniently as a refused command
/// line must be: the word anywhere, in place of the command too.
bool AsksForJson(const std::vector<std::string>& args);

/// The usage text, with the exit statuses.
std::string SetupUsage();

}  // namespace mergebridge
