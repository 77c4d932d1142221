// How the program's own steps that can fail say so: one record for every layer.
#pragma once

#include <string>
#include <utility>

namespace mergebridge {

/// What a step that can fail came to: nothing wrong (no error number, no
/// message), or the system's error number (errno values on POSIX,
/// GetLastError() values on Windows) and/or what went wrong in words. The
/// caller that decides the exit status shows it.
struct [[nodiscard]] Status {
  long error = 0;       // the system's error number; 0: none
  std::string message;  // what went wrong in words; empty: the number says it
  bool ok() const { return error == 0 && message.empty(); }
};

/// A failure the system numbered (0: no failure).
inline Status ErrorStatus(long error) {
  return Status{error, std::string()};
}

/// A failure told in words.
inline Status FailureStatus(std::string message) {
  return Status{0, std::move(message)};
}

/// A value and what the step that made it came to; `value` counts only when
/// `status` is ok, unless the function says otherwise.
template <typename T>
struct [[nodiscard]] Result {
  T value{};
  Status status;
  bool ok() const { return status.ok(); }
};

}  // namespace mergebridge
