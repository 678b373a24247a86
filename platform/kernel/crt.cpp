// The Windows C runtime's atoi, atof, _wtoi and _wtof: the text is scanned here for exactly
// the documented forms, and only the decimal digits found are handed to the C library
// (strtod_l in the "C" locale), so that neither the process locale nor glibc's extra forms
// (hexadecimal, INF, NAN) change the result.
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>

#include <locale.h>

#include "platform/crt.h"

namespace platform {
namespace {

// The C locale's white space.
template <class Char>
bool IsSpace(Char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <class Char>
bool IsDigit(Char c)
{
    return c >= '0' && c <= '9';
}

template <class Char>
int ReadInt(const Char* text)
{
    if (!text) {
        errno = EINVAL;
        return 0;
    }
    const Char* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulated as a negative number, whose range reaches INT_MIN.
    long long value = 0;
    bool overflow = false;
    for (; IsDigit(*p); ++p) {
        if (!overflow) {
            value = value * 10 - (*p - '0');
            if (value < static_cast<long long>(INT_MIN) - 1)
                overflow = true;
        }
    }
    if (!negative)
        value = -value;
    if (overflow || value > INT_MAX || value < INT_MIN) {
        errno = ERANGE;
        return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(value);
}

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

template <class Char>
double ReadDouble(const Char* text)
{
    if (!text) {
        errno = EINVAL;
        return 0.0;
    }
    const Char* p = text;
    while (IsSpace(*p))
        ++p;
    // The number's characters, all ASCII, copied for strtod_l.
    std::string number;
    if (*p == '+' || *p == '-')
        number.push_back(static_cast<char>(*p++));
    size_t digits = 0;
    for (; IsDigit(*p); ++p, ++digits)
        number.push_back(static_cast<char>(*p));
    if (*p == '.') {
        number.push_back('.');
        for (++p; IsDigit(*p); ++p, ++digits)
            number.push_back(static_cast<char>(*p));
    }
    if (digits == 0)
        return 0.0;
    if (*p == 'e' || *p == 'E') {
        // The exponent counts only with at least one digit; otherwise the number ends before
        // the letter.
        const Char* q = p + 1;
        std::string exponent = "e";
        if (*q == '+' || *q == '-')
            exponent.push_back(static_cast<char>(*q++));
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q)
                exponent.push_back(static_cast<char>(*q));
            number += exponent;
        }
    }
    locale_t locale = CLocale();
    if (locale == static_cast<locale_t>(0))
        return std::strtod(number.c_str(), nullptr);  // only when memory ran out at start-up
    return strtod_l(number.c_str(), nullptr, locale);
}

}  // namespace

int WindowsAtoi(const char* text)
{
    return ReadInt(text);
}

double WindowsAtof(const char* text)
{
    return ReadDouble(text);
}

}  // namespace platform

int _wtoi(const wchar_t* text)
{
    return platform::ReadInt(text);
}

double _wtof(const wchar_t* text)
{
    return platform::ReadDouble(text);
}
