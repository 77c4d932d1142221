// Times TranslateArguments over argument vectors of growing size and prints,
// per size, the median over repeated runs in microseconds.
//
// usage: translate_bench COUNT...
// The vectors have the shape of a long ClearCase command line: "-fname" and
// version-extended names alternating with plain file paths.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bridge/merge_request.h"

namespace {

std::vector<std::string> Arguments(int count) {
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  args.push_back("mergebridge");
  for (int i = 1; i < count + 1; ++i) {
    if (i % 4 == 1) {
      args.push_back("-fname");
    } else if (i % 4 == 2) {
      args.push_back("src/module/file_" + std::to_string(i) + ".c@@/main/dev/" +
                     std::to_string(i % 97));
    } else {
      args.push_back("C:\\Temp\\ccm" + std::to_string(i) + ".tmp");
    }
  }
  return args;
}

struct Case {
  int count;
  std::vector<std::string> args;
  std::vector<const char*> argv;
  int batch;  // translations per sample, so that small cases are timed over ~the same span
  std::vector<double> samples;
};

double TimeBatch(const Case& c) {
  size_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < c.batch; ++i) {
    const mergebridge::MergeRequest request =
        mergebridge::TranslateArguments(static_cast<int>(c.argv.size()), c.argv.data());
    sink += request.toolArgs.size();
  }
  const auto end = std::chrono::steady_clock::now();
  if (sink == 0) std::puts("");
  return std::chrono::duration<double, std::micro>(end - start).count() / c.batch;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Case> cases;
  for (int i = 1; i < argc; ++i) {
    Case c;
    c.count = std::atoi(argv[i]);
    c.args = Arguments(c.count);
    for (const std::string& arg : c.args) c.argv.push_back(arg.c_str());
    c.batch = std::max(1, 100000 / std::max(c.count, 1));
    cases.push_back(std::move(c));
  }
  // The sizes take turns, so that the load of a shared machine falls on all of
  // them alike; one unmeasured round first.
  constexpr int kRounds = 61;
  for (int round = -1; round < kRounds; ++round) {
    for (Case& c : cases) {
      const double micros = TimeBatch(c);
      if (round >= 0) c.samples.push_back(micros);
    }
  }
  for (Case& c : cases) {
    std::sort(c.samples.begin(), c.samples.end());
    std::printf("%d %.1f\n", c.count, c.samples[c.samples.size() / 2]);
  }
  return 0;
}
