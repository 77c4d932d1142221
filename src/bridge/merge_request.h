// The merge request: ClearCase's command line, translated for the compare tool.
#pragma once

#include <string>
#include <vector>

namespace mergebridge {

struct MergeRequest {
  std::string echoLine;    // every non-empty argument, each followed by a space
  bool badOption = false;  // an argument starting with '-' matched no option
  std::string badOptions;  // the unrecognised options, each followed by a space
  bool badValue = false;   // a value held a double quote
  std::string badValues;   // those values, each followed by a space
  bool statusOnly = false;
  bool abortSeen = false;
  bool outGiven = false;   // "-out" was seen, with or without a value
  std::string outputPath;  // the last value taken while "-out" was pending
  std::string targetName;  // element name from the first usable value
  std::string titles[2];   // the last two "-fname" values, oldest first
  int titleCount = 0;
  std::string toolArgs;  // the compare tool's argument string
};

/// Translates argv[1..argc-1]. Never fails: problems are recorded in
/// badOption/badOptions and badValue/badValues, which CommandLineFault (entry.h)
/// words. toolArgs is finished (save target and titles added) only when neither
/// kind of problem was found.
MergeRequest TranslateArguments(int argc, const char* const* argv);

/// The files ClearCase named in argv[1..argc-1]: every value that no "-fname"
/// takes, in order ("-out"'s and "-base"'s among them). For the record of a
/// failed run; a successful one never asks.
std::vector<std::string> NamedFiles(int argc, const char* const* argv);

}  // namespace mergebridge
