// Small text helpers shared by the programs and the host layer.
#pragma once

#include <string>
#include <string_view>

namespace mergebridge {

/// printf-style formatting into a std::string. Only "%s" and "%ld" style
/// conversions are used by the program; any format the C library accepts works.
/// The compiler checks the arguments against the format on every platform:
/// MinGW's C++ library formats as C99 says (gnu_printf), not as msvcrt does.
std::string Format(const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// Lower-cases the ASCII letters of `text` in place and leaves every other byte
/// alone, so multibyte sequences in the ANSI code page survive unchanged.
void LowerCaseAscii(std::string& text);

/// True when `a` and `b` are the same but for the letter case of ASCII letters
/// (every other byte compares as it is).
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

/// True for the two blanks that separate words in the files we read: a space
/// and a tab.
bool IsBlank(char c);

}  // namespace mergebridge
