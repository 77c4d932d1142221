// Win32 notifications: MessageBoxW, console lines and FormatMessageW. Text is
// UTF-8 inside the program and UTF-16 at every call.
#include "host/notify.h"

#include <windows.h>

#include "host/utf16_win32.h"

namespace mergebridge {

namespace {

// The caption an unnamed application gets by default: the program's file name
// without its folder and extension.
std::wstring MessageBoxCaption() {
  std::wstring path = OwnModuleFileName();
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.erase(0, slash + 1);
  const size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos) path.erase(dot);
  return path.empty() ? std::wstring(L"mergebridge") : path;
}

using MessageBoxWFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);

// USER32 is loaded on the first message box, not at start-up: most runs show
// none, and loading it costs more than the rest of the program's start (on
// Windows it also turns the process into a GUI process before it needs to be).
MessageBoxWFunction MessageBoxFunction() {
  static MessageBoxWFunction function = nullptr;
  if (function == nullptr) {
    if (HMODULE user32 = LoadLibraryW(L"user32.dll")) {
      function = reinterpret_cast<MessageBoxWFunction>(
          reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxW")));
    }
  }
  return function;
}

// `text` in the active code page: what a program reading our output with the
// narrow functions expects, and the same bytes as before for ASCII text.
std::string ToActiveCodePage(const std::string& text) {
  const std::wstring wide = ToUtf16(text);
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &out[0], length, nullptr, nullptr);
  return out;
}

}  // namespace

void ShowMessage(const std::string& text, unsigned style) {
  // An OK box that asks for no icon gets the warning icon, as an application
  // framework's message box would give it.
  const UINT flags = style == kStyleOk ? (MB_OK | MB_ICONEXCLAMATION) : style;
  if (MessageBoxWFunction messageBox = MessageBoxFunction()) {
    messageBox(nullptr, ToUtf16(text).c_str(), MessageBoxCaption().c_str(), flags);
  } else {
    WriteConsoleLine(ConsoleStream::Err, text);
  }
}

namespace {

// One write per line, its line end included, straight to the handle: nothing
// is buffered, so the line is out when this returns. Every line feed becomes
// CR LF, as the C runtime's text-mode streams write it, so that the bytes are
// the ones a console program has always produced (a system text's own CR LF
// included, which comes out as CR CR LF).
void WriteBytesLine(ConsoleStream stream, const std::string& text) {
  const std::string converted = text + "\n";
  std::string line;
  line.reserve(converted.size() + 8);
  for (char c : converted) {
    if (c == '\n') line += '\r';
    line += c;
  }
  const HANDLE handle =
      GetStdHandle(stream == ConsoleStream::Err ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  size_t done = 0;
  while (done < line.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, line.data() + done, static_cast<DWORD>(line.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

}  // namespace

void WriteConsoleLine(ConsoleStream stream, const std::string& text) {
  WriteBytesLine(stream, ToActiveCodePage(text));
}

void WriteUtf8Line(ConsoleStream stream, const std::string& text) {
  WriteBytesLine(stream, text);
}

std::string SystemErrorText(long errorNumber) {
  // Without FORMAT_MESSAGE_IGNORE_INSERTS a text holding an insert such as %1
  // (bad executable format, machine type mismatch) fails, or reads arguments
  // that were never passed; with it the insert stays as written.
  wchar_t buffer[2048] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(errorNumber), 0, buffer,
                                      sizeof buffer / sizeof buffer[0], nullptr);
  if (length == 0) return "Unknown error";
  return ToUtf8(std::wstring(buffer, length));
}

}  // namespace mergebridge
