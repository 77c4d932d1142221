// Win32 notifications: MessageBoxA, the console streams and FormatMessageA.
#include "host/notify.h"

#include <windows.h>

#include <cstring>
#include <iostream>

namespace {

// The caption an unnamed application gets by default: the program's file name
// without its folder and extension.
std::string Caption() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name.empty() ? std::string("mergebridge") : name;
}

}  // namespace

void ShowMessage(const std::string& text, unsigned style) {
  // An OK box that asks for no icon gets the warning icon, as an application
  // framework's message box would give it.
  const UINT flags = style == kStyleOk ? (MB_OK | MB_ICONEXCLAMATION) : style;
  MessageBoxA(nullptr, text.c_str(), Caption().c_str(), flags);
}

void WriteConsoleLine(ConsoleStream stream, const std::string& text) {
  (stream == ConsoleStream::Err ? std::cerr : std::cout) << text << std::endl;
}

std::string SystemErrorText(long errorNumber) {
  char buffer[2048] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                      static_cast<DWORD>(errorNumber), 0, buffer,
                                      sizeof buffer, nullptr);
  if (length == 0) return "Unknown error";
  return std::string(buffer, length);
}
