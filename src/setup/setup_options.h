// The setup program's command line.
#pragma once

#include <string>
#include <vector>

enum class SetupCommand { Help, Status, Install, Uninstall, Register, Unregister };

struct SetupOptions {
  SetupCommand command = SetupCommand::Help;
  std::vector<std::string> managers;  // install: the type managers to change
  std::string bridge;                 // --bridge; empty: mergebridge beside this program
  std::string clearcase;              // --clearcase; empty: found from cleartool on PATH
  std::string velmora;                // register: the program to register
  bool dryRun = false, force = false;
  bool allUsers = false;    // (un)register: for every user of the computer
  bool remembered = false;  // uninstall: every installation install remembered
};

/// The type managers install changes when --managers is not given.
std::vector<std::string> DefaultManagers();

/// Reads `args` (without the program name) into `options`. Returns an empty
/// string, or what is wrong with the command line in words.
std::string ParseSetupOptions(const std::vector<std::string>& args, SetupOptions& options);

/// The usage text.
std::string SetupUsage();
