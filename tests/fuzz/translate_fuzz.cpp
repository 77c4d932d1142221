// Fuzzes the translation of ClearCase's argument vector. Input: the arguments
// without the program name, separated by NUL bytes (a real argument never holds
// one). Checked on every input, besides the sanitizers' own findings, against a
// small model of the option and pending-value rules written apart from the code:
// 1. echoLine is every non-empty argument followed by one space.
// 2. No value holding a double quote reaches toolArgs: its only double quotes
//    are the pairs put around plain values, titles and the save target.
// 3. An accepted command line, built with BuildToolCommandLine and split again by
//    the tool side's rules, gives back exactly: the path, "/qc" in status-only
//    mode, "/savetarget=<output path>", "/title1=<element name>" when there is no
//    -fname value, every plain value once and in order, then "/title1=" and
//    "/title2=" with the kept -fname values. (Values are passed unescaped, so a
//    plain value reading "/qc" comes back as that token at its own position.)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bridge/merge_request.h"
#include "common/tool_command.h"

namespace {

const char kToolPath[] = "/opt/velmora dir/velmora";

void Check(bool ok, const char* what, const std::string& detail) {
  if (ok) return;
  std::fprintf(stderr, "translate_fuzz: %s\n  %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (size_t start = 0, end = 0; size > 0 && end != std::string::npos; start = end + 1) {
    end = input.find('\0', start);
    args.push_back(input.substr(start, end - start));
  }
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  MergeRequest request;
  TranslateArguments(static_cast<int>(argv.size()), argv.data(), request);

  std::string echo, outputPath, targetName;
  std::vector<std::string> plain, fnames;
  bool refused = false, statusOnly = false, out = false, base = false, fname = false;
  size_t quotedPlain = 0;  // plain values that reach toolArgs, refused or not
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    echo += arg + " ";
    if (arg[0] == '-') {
      std::string name = arg;
      for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (name == "-status_only") statusOnly = true;
      else if (name == "-out") out = true;
      else if (name == "-base") base = true;
      else if (name == "-fname") fname = true;
      else refused |= name != "-directory" && name != "-serial" && name != "-abort";
      continue;
    }
    const bool quote = arg.find('"') != std::string::npos;
    refused |= quote;
    if (out) {
      out = false;
      outputPath = arg;
    } else if (base) {
      base = fname = false;
    } else {
      (fname ? fnames : plain).push_back(arg);
      quotedPlain += !fname && !quote;
      fname = false;
      if (targetName.empty() && arg.find(".vbs\\") == std::string::npos) {
        targetName = arg.substr(0, arg.find("@@"));
      }
    }
  }
  Check(request.echoLine == echo, "echoLine", request.echoLine);
  Check((request.badOption || request.badValue) == refused, "refusal", request.echoLine);
  Check(request.statusOnly == statusOnly, "statusOnly", request.echoLine);
  Check(request.outputPath == outputPath, "outputPath", request.outputPath);
  Check(request.targetName == targetName, "targetName", request.targetName);

  std::vector<std::string> expected{kToolPath};
  if (statusOnly) expected.push_back("/qc");
  if (!outputPath.empty()) expected.push_back("/savetarget=" + outputPath);
  if (fnames.empty() && !targetName.empty()) expected.push_back("/title1=" + targetName);
  expected.insert(expected.end(), plain.begin(), plain.end());
  const size_t n = fnames.size();
  if (n >= 2) expected.push_back("/title1=" + fnames[n - 2]);
  if (n >= 1) expected.push_back((n >= 2 ? "/title2=" : "/title1=") + fnames[n - 1]);

  size_t quotes = 0;
  for (char c : request.toolArgs) quotes += c == '"';
  if (refused) {  // unfinished: only the quoted plain values are in it
    Check(quotes == 2 * quotedPlain, "a value's double quote reached toolArgs", request.toolArgs);
    return 0;
  }
  const std::vector<std::string> got =
      SplitToolCommandLine(BuildToolCommandLine(kToolPath, request.toolArgs, request.statusOnly));
  if (got != expected) {
    std::string detail = request.toolArgs + "\n  got:      ";
    for (const std::string& item : got) detail += "[" + item + "] ";
    detail += "\n  expected: ";
    for (const std::string& item : expected) detail += "[" + item + "] ";
    Check(false, "round trip", detail);
  }
  // Every item after the path (and "/qc") is one quoted pair in toolArgs.
  Check(quotes == 2 * (expected.size() - (statusOnly ? 2 : 1)), "stray double quote",
        request.toolArgs);
  return 0;
}
