// Conversions between the program's UTF-8 strings and the UTF-16 of the Win32
// wide calls. For the Win32 implementation files only.
#pragma once

#include <string>

/// `text` (UTF-8) as UTF-16; an invalid sequence becomes U+FFFD.
std::wstring ToUtf16(const std::string& text);

/// `text` (UTF-16) as UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);
