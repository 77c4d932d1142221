// Talking to the user: message boxes, console lines and system error texts.
#pragma once

#include <string>

namespace mergebridge {

/// Message-box styles the program uses.
constexpr unsigned kStyleOk = 0x0;      // OK button, the default (warning) icon
constexpr unsigned kStyleError = 0x10;  // OK button with the error icon

enum class ConsoleStream { Out, Err };

/// When true, the trace messages are shown. False at start; nothing in the
/// program sets it.
extern bool traceEnabled;

/// Shows `text` modally and returns once the user has dismissed it. Windows: a
/// message box captioned with the program's name. Linux: a dialog through
/// zenity, kdialog or xmessage when a graphical session is present, otherwise
/// (or when no dialog can be started) the text and a line end on stderr.
void ShowMessage(const std::string& text, unsigned style);

/// Writes `text` and a line end to the stream and flushes it.
void WriteConsoleLine(ConsoleStream stream, const std::string& text);

/// The same with `text`'s UTF-8 bytes as they are (Windows: not converted to
/// the active code page), for output that programs read.
void WriteUtf8Line(ConsoleStream stream, const std::string& text);

/// The system's message text for an error number (GetLastError() values on
/// Windows, errno values elsewhere), used as it comes.
std::string SystemErrorText(long errorNumber);

/// SystemErrorText without its final line break and full stop, to go inside a
/// sentence of ours.
std::string SystemErrorTextInSentence(long errorNumber);

}  // namespace mergebridge
