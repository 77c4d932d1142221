#include "bridge/merge_request.h"

#include <cstring>

#include "common/text.h"

namespace mergebridge {

namespace {

enum class Option { StatusOnly, Directory, Ignored, Abort, Out, Base, Fname, Unknown };

Option ClassifyOption(std::string_view arg) {
  static const struct {
    const char* name;
    Option option;
  } kOptions[] = {
      {"-status_only", Option::StatusOnly},
      {"-directory", Option::Directory},
      {"-serial", Option::Ignored},
      {"-abort", Option::Abort},
      {"-out", Option::Out},
      {"-base", Option::Base},
      {"-fname", Option::Fname},
      // ClearCase's own graphical compare and merge take these and may hand
      // them on to whatever its methods run; they mean nothing to the tool.
      {"-tiny", Option::Ignored},
      {"-hstack", Option::Ignored},
      {"-vstack", Option::Ignored},
      {"-blank_ignore", Option::Ignored},
      {"-query", Option::Ignored},
      {"-qall", Option::Ignored},
      {"-qntrivial", Option::Ignored},
  };
  for (const auto& entry : kOptions) {
    if (EqualsIgnoreCaseAscii(arg, entry.name)) return entry.option;
  }
  return Option::Unknown;
}

// The element name is the part before the version-extended path's "@@".
// Values from a script folder (".vbs\") never name the element.
void DeriveTargetName(const std::string& arg, MergeRequest& request) {
  if (!request.targetName.empty()) return;
  if (arg.find(".vbs\\") != std::string::npos) return;
  request.targetName = arg.substr(0, arg.find("@@"));
}

// The flags an option leaves for the next value, tested in this order.
struct Pending {
  bool out = false, base = false, fname = false;
};

void ApplyOption(const std::string& arg, Pending& pending, MergeRequest& request) {
  switch (ClassifyOption(arg)) {
    case Option::StatusOnly:
      request.statusOnly = true;
      break;
    case Option::Directory:
    case Option::Ignored:
      break;
    case Option::Abort:
      request.abortSeen = true;
      break;
    case Option::Out:
      pending.out = true;
      request.outGiven = true;
      break;
    case Option::Base:
      pending.base = true;
      break;
    case Option::Fname:
      pending.fname = true;
      break;
    case Option::Unknown:
      request.badOption = true;
      request.badOptions += arg;
      request.badOptions += ' ';
      break;
  }
}

void TakeValue(const std::string& arg, Pending& pending, MergeRequest& request) {
  // A double quote inside a value could close our quoting and smuggle switches
  // into the tool's command line; such a command line is refused as a whole.
  // The value still consumes whatever was pending, so the rest of the scan is
  // unchanged, but it never reaches toolArgs.
  const bool unsafe = arg.find('"') != std::string::npos;
  if (unsafe) {
    request.badValue = true;
    request.badValues += arg;
    request.badValues += ' ';
  }

  request.toolArgs += ' ';
  if (pending.out) {
    pending.out = false;
    request.outputPath = arg;
  } else if (pending.base) {
    pending.base = false;
    pending.fname = false;
  } else if (pending.fname) {
    pending.fname = false;
    if (request.titleCount > 1) {
      request.titles[0] = request.titles[1];
      request.titleCount = 1;
    }
    request.titles[request.titleCount++] = arg;
    DeriveTargetName(arg, request);
  } else {
    if (!unsafe) {
      request.toolArgs += '"';
      request.toolArgs += arg;
      request.toolArgs += '"';
    }
    DeriveTargetName(arg, request);
  }
}

// The save target and the titles around the scanned argument string.
void FinishToolArgs(MergeRequest& request) {
  if (request.titleCount == 0 && !request.targetName.empty()) {
    request.toolArgs.insert(0, Format(" /title1=\"%s\" ", request.targetName.c_str()));
  }
  if (request.titleCount > 0) {
    if (!request.titles[0].empty()) {
      request.toolArgs += Format(" /title1=\"%s\"", request.titles[0].c_str());
    }
    if (!request.titles[1].empty()) {
      request.toolArgs += Format(" /title2=\"%s\"", request.titles[1].c_str());
    }
  }
  if (!request.outputPath.empty()) {
    request.toolArgs.insert(0, Format(" /savetarget=\"%s\" ", request.outputPath.c_str()));
  }
}

}  // namespace

MergeRequest TranslateArguments(int argc, const char* const* argv) {
  MergeRequest request;
  // Both strings grow by at most a few bytes per argument; sizing them once
  // keeps a long command line from being copied again at every doubling.
  size_t total = 0;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr) total += std::strlen(argv[i]) + 3;
  }
  request.echoLine.reserve(total);
  request.toolArgs.reserve(total);

  Pending pending;
  for (int i = 1; i < argc; ++i) {
    const char* raw = argv[i];
    if (raw == nullptr || raw[0] == '\0') continue;
    const std::string arg(raw);
    request.echoLine += arg;
    request.echoLine += ' ';
    if (arg[0] == '-') {
      ApplyOption(arg, pending, request);
    } else {
      TakeValue(arg, pending, request);
    }
  }
  if (!request.badOption && !request.badValue) FinishToolArgs(request);
  return request;
}

std::vector<std::string> NamedFiles(int argc, const char* const* argv) {
  std::vector<std::string> files;
  Pending pending;  // only its "-fname" counts: every other value names a file
  MergeRequest ignored;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr || argv[i][0] == '\0') continue;
    const std::string arg(argv[i]);
    if (arg[0] == '-') {
      ApplyOption(arg, pending, ignored);
      continue;
    }
    const bool title = !pending.out && !pending.base && pending.fname;
    TakeValue(arg, pending, ignored);
    if (!title) files.push_back(arg);
  }
  return files;
}

}  // namespace mergebridge
