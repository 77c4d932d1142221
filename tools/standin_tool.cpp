// The stand-in compare tool: reads the compare tool's switches (/qc, /title1=,
// /title2=, /savetarget=) and file paths, records what it received when asked
// to, and compares or merges small text files line by line.
//
// Environment:
//   STANDIN_RECORD=<file>  write the raw command line (Windows, in UTF-8) and a
//                          line with the start-up record's fields, or each argv
//                          element and a line feed (elsewhere), to <file>
//   STANDIN_SIGNAL=<n>     (not Windows) then die by signal n
//   STANDIN_EXIT=<n>       then exit with n at once (strtoul base 0; the full
//                          32 bits on Windows, n & 255 elsewhere)
//   STANDIN_SAVE=no        do everything but write the save target
//   STANDIN_STAMP=<file>   (not Windows) with STANDIN_EXIT, write the
//                          CLOCK_MONOTONIC time in nanoseconds to <file> just
//                          before exiting (for the benchmark's exit latency)
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "common/tool_command.h"
#include "host/utf16_win32.h"
#else
#include <time.h>
#endif

namespace {

const char kName[] = "velmora-standin";

using Lines = std::vector<std::string>;

// Replaces base lines [start, end) with `lines`; start == end is an insertion.
struct Hunk {
  size_t start;
  size_t end;
  Lines lines;
};

struct Options {
  bool statusOnly = false;
  bool hasSaveTarget = false;
  std::string saveTarget;
  std::vector<std::string> files;
};

// An environment setting in UTF-8, or nullptr when it is unset or empty. On
// Windows it is read wide, so that a path outside the ANSI code page survives.
const char* Setting(const char* name) {
#ifdef _WIN32
  static std::deque<std::string> kept;  // keeps the texts handed out in place
  const wchar_t* wide = _wgetenv(mergebridge::ToUtf16(name).c_str());
  if (wide == nullptr || *wide == L'\0') return nullptr;
  return kept.emplace_back(mergebridge::ToUtf8(wide)).c_str();
#else
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
#endif
}

// Files by their UTF-8 names; on Windows through the wide calls, so that a name
// outside the ANSI code page is the file it names.
std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(mergebridge::ToUtf16(path).c_str(), mergebridge::ToUtf16(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

// The arguments as the tool receives them, its own path first. On Windows they
// are read from the raw (UTF-16) command line by the same rules the bridge
// writes it, not by the C runtime's rules (which treat backslashes before
// quotes apart).
std::vector<std::string> ReceivedArguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  return mergebridge::SplitToolCommandLine(mergebridge::ToUtf8(GetCommandLineW()));
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

void Record(const char* path, int argc, char** argv) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) {
    std::cerr << kName << ": cannot write " << path << std::endl;
    return;
  }
#ifdef _WIN32
  (void)argc;
  (void)argv;
  const std::string commandLine = mergebridge::ToUtf8(GetCommandLineW());
  std::fwrite(commandLine.data(), 1, commandLine.size(), file);
  // The start-up record the tool was given, on a line of its own.
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  std::fprintf(file, "\nflags=0x%lx show=%u title=%s columns=%lu lines=%lu fill=0x%lx",
               startup.dwFlags, startup.wShowWindow, startup.lpTitle ? startup.lpTitle : "(none)",
               startup.dwXCountChars, startup.dwYCountChars, startup.dwFillAttribute);
#else
  for (int i = 0; i < argc; ++i) {
    std::fputs(argv[i], file);
    std::fputc('\n', file);
  }
#endif
  std::fclose(file);
}

[[noreturn]] void ExitWith(unsigned long code) {
#ifdef _WIN32
  // exit() would do, but ExitProcess states that all 32 bits are meant.
  ExitProcess(static_cast<UINT>(code));
#else
  std::exit(static_cast<int>(code & 255));
#endif
}

#ifndef _WIN32
// The clock is read before the file is written, so the stamp is early by the
// write's few microseconds, never late.
void WriteStamp(const char* path) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (std::FILE* file = std::fopen(path, "wb")) {
    std::fprintf(file, "%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fclose(file);
  }
}
#endif

bool ReadWhole(const std::string& path, std::string& text) {
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return false;
  text.clear();
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool WriteWhole(const std::string& path, const std::string& text) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// Lines keep their line feed, so a last line without one survives a merge.
Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// The changes that turn `base` into `other`, from a longest common subsequence.
std::vector<Hunk> Diff(const Lines& base, const Lines& other) {
  const size_t n = base.size(), m = other.size();
  // common[i][j]: length of the longest common subsequence of base[i..] and other[j..].
  std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      common[i][j] = base[i] == other[j] ? common[i + 1][j + 1] + 1
                                         : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::vector<Hunk> hunks;
  bool open = false;
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && base[i] == other[j]) {
      open = false;
      ++i;
      ++j;
      continue;
    }
    if (!open) hunks.push_back(Hunk{i, i, {}});
    open = true;
    if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
      hunks.back().lines.push_back(other[j++]);
    } else {
      hunks.back().end = ++i;
    }
  }
  return hunks;
}

// Base lines [start, end) with one side's hunks (all inside that range) applied.
Lines SideText(const Lines& base, const std::vector<const Hunk*>& hunks, size_t start, size_t end) {
  Lines text;
  size_t at = start;
  for (const Hunk* hunk : hunks) {
    text.insert(text.end(), base.begin() + at, base.begin() + hunk->start);
    text.insert(text.end(), hunk->lines.begin(), hunk->lines.end());
    at = hunk->end;
  }
  text.insert(text.end(), base.begin() + at, base.begin() + end);
  return text;
}

// Combines both sides' changes to `base` into `merged`. Changes that overlap or
// touch form one region; a region changed by both sides conflicts unless both
// made the same change. Returns 0, or the 1-based base line of the first conflict.
size_t MergeThreeWay(const Lines& base, const std::vector<Hunk>& ours,
                     const std::vector<Hunk>& theirs, Lines& merged) {
  size_t a = 0, b = 0, copied = 0;
  while (a < ours.size() || b < theirs.size()) {
    const bool oursFirst =
        b == theirs.size() || (a < ours.size() && ours[a].start <= theirs[b].start);
    const size_t start = oursFirst ? ours[a].start : theirs[b].start;
    size_t end = start;
    std::vector<const Hunk*> mine, yours;
    for (bool grew = true; grew;) {
      grew = false;
      for (; a < ours.size() && ours[a].start <= end; ++a, grew = true) {
        end = std::max(end, ours[a].end);
        mine.push_back(&ours[a]);
      }
      for (; b < theirs.size() && theirs[b].start <= end; ++b, grew = true) {
        end = std::max(end, theirs[b].end);
        yours.push_back(&theirs[b]);
      }
    }
    Lines region = SideText(base, mine, start, end);
    if (!yours.empty()) {
      const Lines other = SideText(base, yours, start, end);
      if (!mine.empty() && region != other) return start + 1;
      region = other;
    }
    merged.insert(merged.end(), base.begin() + copied, base.begin() + start);
    merged.insert(merged.end(), region.begin(), region.end());
    copied = end;
  }
  merged.insert(merged.end(), base.begin() + copied, base.end());
  return 0;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "/qc") {
      options.statusOnly = true;
    } else if (arg.compare(0, 12, "/savetarget=") == 0) {
      options.hasSaveTarget = true;
      options.saveTarget = arg.substr(12);
    } else if (arg.compare(0, 8, "/title1=") != 0 && arg.compare(0, 8, "/title2=") != 0) {
      options.files.push_back(arg);
    }
  }
  return options;
}

void Say(const std::string& text) {
  std::cout << kName << ": " << text << std::endl;
}

int Fail(const std::string& text) {
  std::cerr << kName << ": " << text << std::endl;
  return 2;
}

int Run(const Options& options, bool save) {
  std::vector<std::string> texts(options.files.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!ReadWhole(options.files[i], texts[i])) return Fail("cannot read " + options.files[i]);
  }
  if (options.statusOnly) {
    if (texts.size() < 2) return Fail("/qc needs two files");
    const bool same = texts[0] == texts[1];
    Say(same ? "files are identical" : "files differ");
    return same ? 0 : 1;
  }
  if (!options.hasSaveTarget) {
    Say("compared " + std::to_string(texts.size()) + " files");
    return 0;
  }
  const std::string& target = options.saveTarget;
  if (texts.empty()) return Fail("no file to save into " + target);

  std::string result, done;
  if (texts.size() >= 3) {
    const Lines base = SplitLines(texts[0]);
    Lines merged;
    const size_t conflict = MergeThreeWay(base, Diff(base, SplitLines(texts[1])),
                                          Diff(base, SplitLines(texts[2])), merged);
    if (conflict != 0) {
      Say("conflict at base line " + std::to_string(conflict));
      return 1;
    }
    for (const std::string& line : merged) result += line;
    done = "merged 3 files into " + target;
  } else if (texts.size() == 2) {
    result = texts[1];
    done = "took " + options.files[1] + " into " + target;
  } else {
    result = texts[0];
    done = "copied " + options.files[0] + " into " + target;
  }
  if (!save) {
    Say("cancelled, " + target + " not written");
    return 0;
  }
  if (!WriteWhole(target, result)) return Fail("cannot write " + target);
  Say(done);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = ReceivedArguments(argc, argv);
  if (const char* record = Setting("STANDIN_RECORD")) Record(record, argc, argv);
#ifndef _WIN32
  if (const char* number = Setting("STANDIN_SIGNAL")) {
    const int signalNumber = std::atoi(number);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
  }
#endif
  if (const char* code = Setting("STANDIN_EXIT")) {
    const unsigned long exitCode = std::strtoul(code, nullptr, 0);
#ifndef _WIN32
    if (const char* stamp = Setting("STANDIN_STAMP")) WriteStamp(stamp);
#endif
    ExitWith(exitCode);
  }
  const char* save = Setting("STANDIN_SAVE");
  return Run(ParseOptions(args), save == nullptr || std::strcmp(save, "no") != 0);
}
