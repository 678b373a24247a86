// The C runtime's number readers with the Windows C runtime's behaviour, in the C locale.
//
// `atoi` and `atof` are the C library's own names, so this header replaces them, for the code
// that includes it, with calls of the Windows versions below (function-like macros: only calls
// are rewritten). <cstdlib> is included first so that its declarations are not touched.
//
// The forms read (everything from the first character that does not fit is ignored):
//   integers: [white space] [sign] [digits]
//   decimals: [white space] [sign] [digits] [.digits] [{e | E}[sign]digits]
// White space is the C locale's: space, tab, line feed, vertical tab, form feed, carriage
// return. Digits are 0-9 and the decimal point is always ".", whatever the process locale.
// Hexadecimal numbers, INF and NAN are not read (they give 0 or the digits before them).
// Wide text is read the same way; a character outside ASCII ends the number.
#pragma once

#include <cstdlib>
#include <cwchar>

#include "platform/base.h"

// The int value of the text; 0 when it does not start with a number. A value beyond the int
// range gives INT_MAX or INT_MIN and sets errno to ERANGE. A null pointer gives 0 and sets
// errno to EINVAL.
PLATFORM_API int _wtoi(const wchar_t* text);
// The double value of the text (correctly rounded); 0.0 when it does not start with a number.
// A value too large for a double gives +/-HUGE_VAL, one too small 0 or a subnormal, both with
// errno ERANGE. A null pointer gives 0 and sets errno to EINVAL.
PLATFORM_API double _wtof(const wchar_t* text);

namespace platform {

// `atoi` and `atof` of the Windows C runtime: as _wtoi and _wtof, for byte text.
PLATFORM_API int WindowsAtoi(const char* text);
PLATFORM_API double WindowsAtof(const char* text);

}  // namespace platform

#define atoi(text) ::platform::WindowsAtoi(text)
#define atof(text) ::platform::WindowsAtof(text)
