// The program's entry sequence, kept apart from main() so tests can drive it.
#pragma once

/// Starts the host, translates the arguments, reports a bad command line or runs
/// the merge, and returns the exit status ClearCase reads.
int RunEntry(int argc, const char* const* argv);
