#include "unit/fake_host.h"

#include "host/app.h"
#include "host/file_probe.h"
#include "host/launcher.h"
#include "host/notify.h"

FakeHost fakeHost;

void ResetFakeHost() {
  fakeHost = FakeHost();
  traceEnabled = false;
}

bool StartFramework() { return fakeHost.frameworkStarts; }

void ShowMessage(const std::string& text, unsigned style) {
  fakeHost.messages.push_back({text, style});
}

void WriteConsoleLine(ConsoleStream stream, const std::string& text) {
  (stream == ConsoleStream::Out ? fakeHost.stdoutLines : fakeHost.stderrLines).push_back(text);
}

std::string SystemErrorText(long errorNumber) { return "error " + std::to_string(errorNumber); }

long LaunchCompareTool(std::string argumentString, bool statusOnly) {
  ++fakeHost.launches;
  fakeHost.launchedArgs = argumentString;
  fakeHost.launchedStatusOnly = statusOnly;
  return fakeHost.launchResult;
}

bool IsFileMissing(std::string path) {
  fakeHost.probedPaths.push_back(path);
  return fakeHost.fileMissing;
}
