// Fuzzes the translation of ClearCase's argument vector and checks, on every
// input, what reaches the compare tool.
//
// Input: the arguments without the program name, separated by NUL bytes (a real
// argument can never hold one). An empty input is the empty argument vector.
//
// What is checked, besides the sanitizers' own findings:
// 1. echoLine is every non-empty argument followed by one space.
// 2. A value holding a double quote refuses the whole command line, and no such
//    value reaches toolArgs: the only double quotes in toolArgs are the pairs the
//    translation puts around each plain value, title and save target.
// 3. An accepted command line, built with BuildToolCommandLine and split again
//    with SplitToolCommandLine (the tool side's reading), gives back exactly this
//    vector, position by position: the tool path, "/qc" in status-only mode,
//    "/savetarget=<output path>" when one was given, "/title1=<element name>"
//    when there is no -fname value, every plain value once and in order, then
//    "/title1=" and "/title2=" with the kept -fname values.
//
// What the round trip cannot promise, by design: values are passed unescaped,
// so a plain value that itself reads "/title1=x", "/savetarget=y" or "/qc" comes
// back as the very same token at its own position (the vector is still exact),
// but a reader that looks for switches by name rather than by position cannot
// tell it from ours. Empty arguments are skipped before translation, so an empty
// token in the split is always a fault. The expected vector comes from a small
// model of the option and pending-value rules below, written apart from the
// translation so that the two can disagree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bridge/merge_request.h"
#include "bridge/tool_command.h"

namespace {

const char kToolPath[] = "/opt/velmora dir/velmora";

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "translate_fuzz: %s\n  %s\n", what, detail.c_str());
  std::abort();
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// What the arguments should translate to.
struct Model {
  std::string echoLine;
  bool refused = false;
  bool statusOnly = false;
  std::string outputPath;
  std::string targetName;
  std::vector<std::string> plainValues;
  std::vector<std::string> fnameValues;
  size_t quotedPlainValues = 0;  // plain values that reach toolArgs, refused or not
};

Model BuildModel(const std::vector<std::string>& args) {
  Model model;
  bool outPending = false, basePending = false, fnamePending = false;
  bool targetFound = false;
  auto tryTarget = [&](const std::string& value) {
    if (targetFound || value.find(".vbs\\") != std::string::npos) return;
    const std::string element = value.substr(0, value.find("@@"));
    if (!element.empty()) {
      model.targetName = element;
      targetFound = true;
    }
  };
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    model.echoLine += arg + " ";
    if (arg[0] == '-') {
      const std::string name = LowerAscii(arg);
      if (name == "-status_only") model.statusOnly = true;
      else if (name == "-out") outPending = true;
      else if (name == "-base") basePending = true;
      else if (name == "-fname") fnamePending = true;
      else if (name != "-directory" && name != "-serial" && name != "-abort") model.refused = true;
      continue;
    }
    const bool hasQuote = arg.find('"') != std::string::npos;
    if (hasQuote) model.refused = true;
    if (outPending) {
      outPending = false;
      model.outputPath = arg;
    } else if (basePending) {
      basePending = fnamePending = false;
    } else if (fnamePending) {
      fnamePending = false;
      model.fnameValues.push_back(arg);
      tryTarget(arg);
    } else {
      model.plainValues.push_back(arg);
      if (!hasQuote) ++model.quotedPlainValues;
      tryTarget(arg);
    }
  }
  return model;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += "[" + item + "] ";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  if (size > 0) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (;;) {
      const size_t end = input.find('\0', start);
      args.push_back(input.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  std::vector<const char*> argv{"mergebridge"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  MergeRequest request;
  TranslateArguments(static_cast<int>(argv.size()), argv.data(), request);

  const Model model = BuildModel(args);
  if (request.echoLine != model.echoLine) Fail("echoLine", request.echoLine);
  const bool refused = request.badOption || request.badValue;
  if (refused != model.refused) Fail("refusal differs from the model", Join(args));
  if (request.statusOnly != model.statusOnly) Fail("statusOnly", Join(args));
  if (request.outputPath != model.outputPath) Fail("outputPath", request.outputPath);
  if (request.targetName != model.targetName) Fail("targetName", request.targetName);

  size_t quotes = 0;
  for (char c : request.toolArgs) quotes += c == '"';
  if (refused) {
    // Unfinished: only the quoted plain values are in it.
    if (quotes != 2 * model.quotedPlainValues) {
      Fail("a value's double quote reached toolArgs", request.toolArgs);
    }
    return 0;
  }

  std::vector<std::string> expected{kToolPath};
  if (model.statusOnly) expected.push_back("/qc");
  if (!model.outputPath.empty()) expected.push_back("/savetarget=" + model.outputPath);
  if (model.fnameValues.empty() && !model.targetName.empty()) {
    expected.push_back("/title1=" + model.targetName);
  }
  expected.insert(expected.end(), model.plainValues.begin(), model.plainValues.end());
  const size_t fnames = model.fnameValues.size();
  if (fnames >= 2) expected.push_back("/title1=" + model.fnameValues[fnames - 2]);
  if (fnames >= 1) {
    expected.push_back((fnames >= 2 ? "/title2=" : "/title1=") + model.fnameValues[fnames - 1]);
  }

  const std::vector<std::string> got =
      SplitToolCommandLine(BuildToolCommandLine(kToolPath, request.toolArgs, request.statusOnly));
  if (got != expected) {
    Fail("round trip", "toolArgs: " + request.toolArgs + "\n  got:      " + Join(got) +
                           "\n  expected: " + Join(expected));
  }
  // Every item after the path (and "/qc") is one quoted pair in toolArgs.
  if (quotes != 2 * (expected.size() - (model.statusOnly ? 2 : 1))) {
    Fail("stray double quote", request.toolArgs);
  }
  return 0;
}
