// The Windows C runtime's number readers: the forms they accept, where they stop, and what
// they give for values out of range.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <string>

#include "platform/crt.h"

namespace {

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (const char* p = text; *p; ++p)
        wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

TEST(CrtIntegers, ReadTheLeadingNumberOfEachForm)
{
    struct Case {
        const char* text;
        int value;
        bool outOfRange;
    };
    const Case cases[] = {
        {"0", 0, false},
        {"  -2309 ", -2309, false},
        {"\t\n+17abc", 17, false},
        {"31412764", 31412764, false},
        {"", 0, false},
        {"abc", 0, false},
        {"- 5", 0, false},
        {"+-5", 0, false},
        {"12.9", 12, false},
        {"0x1A", 0, false},
        {"007", 7, false},
        {"2147483647", INT_MAX, false},
        {"-2147483648", INT_MIN, false},
        {"2147483648", INT_MAX, true},
        {"-2147483649", INT_MIN, true},
        {"99999999999999999999999", INT_MAX, true},
        {"-99999999999999999999999", INT_MIN, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        errno = 0;
        EXPECT_EQ(atoi(c.text), c.value);
        EXPECT_EQ(errno == ERANGE, c.outOfRange);
        errno = 0;
        EXPECT_EQ(_wtoi(Widen(c.text).c_str()), c.value);
        EXPECT_EQ(errno == ERANGE, c.outOfRange);
    }
}

TEST(CrtDecimals, ReadTheLeadingNumberOfEachForm)
{
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"4807.038", 4807.038},
        {"  -01131.000,E", -1131.0},
        {"022.4", 22.4},
        {".5", 0.5},
        {"5.", 5.0},
        {"1e3", 1000.0},
        {"1.5E-2x", 0.015},
        {"2e", 2.0},
        {"2e+", 2.0},
        {"3d2", 3.0},
        {"", 0.0},
        {".", 0.0},
        {"-", 0.0},
        {"A", 0.0},
        {"0x10", 0.0},
        {"inf", 0.0},
        {"nan", 0.0},
        {"1,5", 1.0},
        {"0.1", 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(atof(c.text), c.value);
        EXPECT_EQ(_wtof(Widen(c.text).c_str()), c.value);
    }
}

TEST(CrtDecimals, OutOfRangeValuesSetTheError)
{
    errno = 0;
    EXPECT_EQ(atof("1e400"), HUGE_VAL);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(_wtof(L"-1e400"), -HUGE_VAL);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(atof("-0"), 0.0);
    EXPECT_TRUE(std::signbit(atof("-0")));
}

TEST(CrtWide, NonAsciiCharactersEndTheNumber)
{
    EXPECT_EQ(_wtoi(L"12\x0663"
                    L"4"),
              12);  // an Arabic-Indic digit is no digit here
    EXPECT_EQ(_wtof(L"1.5\x00B2"), 1.5);
    EXPECT_EQ(_wtoi(L"\x3000"
                    L"5"),
              0);  // nor is an ideographic space white space
}

TEST(CrtNull, GivesZeroAndInvalidArgument)
{
    errno = 0;
    EXPECT_EQ(_wtoi(nullptr), 0);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(_wtof(nullptr), 0.0);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
