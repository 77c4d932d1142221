// Fuzzes the translation of ClearCase's argument vector; the input is the arguments, separated by
// NUL bytes. Besides the sanitizers' findings, checked: echoLine is every non-empty argument
// followed by a space, and the round trip: an accepted command line, built and split again by the
// tool's rules, gives back the path, "/qc" in status-only mode, and then only whole arguments of
// the input, bare or after "/savetarget=", "/title1=" or "/title2=" (a title may be an argument's
// part before "@@").
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bridge/merge_request.h"
#include "common/tool_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mergebridge;  // the fuzzer calls in from outside
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (size_t start = 0, end = 0; size > 0 && end != std::string::npos; start = end + 1) {
    end = input.find('\0', start);
    args.push_back(input.substr(start, end - start));
  }
  std::vector<const char*> argv{"mergebridge"};
  std::string echo;
  std::set<std::string> known;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
    if (!arg.empty()) echo += arg + " ";
    known.insert(arg);
    known.insert("/title1=" + arg.substr(0, arg.find("@@")));
    for (const char* prefix : {"/savetarget=", "/title1=", "/title2="}) known.insert(prefix + arg);
  }
  const MergeRequest request = TranslateArguments(static_cast<int>(argv.size()), argv.data());
  bool ok = request.echoLine == echo;
  if (!request.badOption && !request.badValue) {
    const std::vector<std::string> got = SplitToolCommandLine(
        BuildToolCommandLine("/opt/v dir/velmora", request.toolArgs, request.statusOnly));
    ok = ok && got[0] == "/opt/v dir/velmora" && (!request.statusOnly || got[1] == "/qc");
    for (size_t i = request.statusOnly ? 2 : 1; i < got.size(); ++i) {
      ok = ok && known.count(got[i]) == 1;
    }
  }
  if (!ok) {
    std::fprintf(stderr, "translate_fuzz: [%s] gives [%s]\n", request.echoLine.c_str(),
                 request.toolArgs.c_str());
    std::abort();
  }
  return 0;
}
