// A recording stand-in for the host layer, linked into the core's tests in
// place of the real one.
#pragma once

#include <string>
#include <vector>

struct FakeHost {
  struct Message {
    std::string text;
    unsigned style;
  };
  // What the host answers.
  bool frameworkStarts = true;
  long launchResult = 0;
  bool fileMissing = false;
  // What the core did.
  std::vector<Message> messages;
  std::vector<std::string> stdoutLines;
  std::vector<std::string> stderrLines;
  int launches = 0;
  std::string launchedArgs;
  bool launchedStatusOnly = false;
  std::vector<std::string> probedPaths;
};

/// The double's state; reset by every test's fixture.
extern FakeHost fakeHost;
void ResetFakeHost();
