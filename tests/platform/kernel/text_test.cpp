// Code-page conversion and UTF-16LE: what survives a round trip, and the Win32 call conventions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace {

// Bytes to wide text through the Win32 call, with the size query first, as callers use it.
std::wstring ToWide(UINT codePage, const std::string& bytes)
{
    int needed = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    EXPECT_EQ(needed > 0, !bytes.empty());
    std::wstring text(size_t(needed), L'\0');
    if (needed > 0) {
        EXPECT_EQ(
            MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), text.data(), needed),
            needed);
    }
    return text;
}

std::string ToBytes(UINT codePage, const std::wstring& text)
{
    int needed = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    EXPECT_EQ(needed > 0, !text.empty());
    std::string bytes(size_t(needed), '\0');
    if (needed > 0) {
        EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), bytes.data(),
                                      needed, nullptr, nullptr),
                  needed);
    }
    return bytes;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}

constexpr UINT kEightBitPages[] = {CP_ACP, CP_THREAD_ACP, CP_UTF8};

TEST(CodePages, DecodesValidUtf8AndEscapesEveryInvalidByte)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"ascii", "REC_2018.mp4", L"REC_2018.mp4"},
        {"two bytes", "\xC3\xA9", L"\u00E9"},
        {"three bytes", "\xE2\x82\xAC", L"\u20AC"},
        {"four bytes", "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
        {"zero byte inside", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"stray continuation", "\x80", L"\xDC80"},
        {"truncated sequence", "\xE2\x82", L"\xDCE2\xDC82"},
        {"truncated then ascii",
         "\xF0\x9F"
         "A",
         L"\xDCF0\xDC9F"
         L"A"},
        {"overlong slash", "\xC0\xAF", L"\xDCC0\xDCAF"},
        {"overlong three bytes", "\xE0\x80\xAF", L"\xDCE0\xDC80\xDCAF"},
        {"overlong four bytes", "\xF0\x80\x80\xAF", L"\xDCF0\xDC80\xDC80\xDCAF"},
        {"encoded surrogate", "\xED\xA0\x80", L"\xDCED\xDCA0\xDC80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\xDCF4\xDC90\xDC80\xDC80"},
        {"never valid", "\xF5\xFE\xFF", L"\xDCF5\xDCFE\xDCFF"},
        {"binary inside telemetry", "M\x80\x7F\x81\x01\x01\x01", L"M\xDC80\x7F\xDC81\x01\x01\x01"},
    };
    for (const Case& c : cases) {
        for (UINT codePage : kEightBitPages) {
            SCOPED_TRACE(std::string(c.what) + " in code page " + std::to_string(codePage));
            EXPECT_EQ(ToWide(codePage, c.bytes), c.text);
            EXPECT_EQ(Hex(ToBytes(codePage, c.text)), Hex(c.bytes));
        }
        EXPECT_EQ(platform::AnsiToWide(c.bytes), c.text) << c.what;
        EXPECT_EQ(Hex(platform::WideToAnsi(c.text)), Hex(c.bytes)) << c.what;
    }
}

TEST(CodePages, AnyByteStringSurvivesTheRoundTrip)
{
    // Random strings drawn mostly from bytes that start, continue or break UTF-8 sequences, so
    // that valid and invalid runs meet in every combination.
    std::mt19937 random(20180910);
    const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                         0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED,
                                         0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFE, 0xFF};
    for (int round = 0; round < 4000; ++round) {
        std::string bytes(random() % 24 + 1, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random() % 3 ? interesting[random() % sizeof(interesting)]
                                               : random() % 256);
        }
        std::wstring text = platform::AnsiToWide(bytes);
        ASSERT_EQ(Hex(platform::WideToAnsi(text)), Hex(bytes));
        UINT codePage = kEightBitPages[round % 3];
        ASSERT_EQ(ToWide(codePage, bytes), text) << Hex(bytes);
        ASSERT_EQ(Hex(ToBytes(codePage, text)), Hex(bytes));
    }
}

TEST(CodePages, CountsTheTerminatorOnlyForMinusOne)
{
    // -1 counts the terminating zero, in and out.
    wchar_t wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, wide, 8), 3);
    EXPECT_EQ(std::wstring(wide), L"ab");
    char narrow[8] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00E9", -1, narrow, 8, nullptr, nullptr), 3);
    EXPECT_STREQ(narrow, "\xC3\xA9");
    // An explicit length writes no terminator.
    char exact[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"ab", 2, exact, 4, nullptr, nullptr), 2);
    EXPECT_EQ(exact[2], 'x');

    // A size query writes nothing and answers what a conversion writes.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\U0001F600", 1, nullptr, 0, nullptr, nullptr), 4);
}

TEST(CodePages, ReportsEachFailureWithItsError)
{
    struct Case {
        const char* what;
        int (*call)();
        DWORD error;
    };
    const Case cases[] = {
        {"wide buffer too small",
         [] {
             wchar_t out[2];
             return MultiByteToWideChar(CP_ACP, 0, "abc", 3, out, 2);
         },
         ERROR_INSUFFICIENT_BUFFER},
        {"byte buffer too small",
         [] {
             char out[1];
             return WideCharToMultiByte(CP_ACP, 0, L"\u00E9", 1, out, 1, nullptr, nullptr);
         },
         ERROR_INSUFFICIENT_BUFFER},
        {"zero-length input",
         [] {
             wchar_t out[2];
             return MultiByteToWideChar(CP_ACP, 0, "a", 0, out, 2);
         },
         ERROR_INVALID_PARAMETER},
        {"null input",
         [] {
             wchar_t out[2];
             return MultiByteToWideChar(CP_ACP, 0, nullptr, 1, out, 2);
         },
         ERROR_INVALID_PARAMETER},
        {"null output with a size",
         [] { return MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 2); },
         ERROR_INVALID_PARAMETER},
        {"unknown code page",
         [] {
             wchar_t out[2];
             return MultiByteToWideChar(1252, 0, "a", 1, out, 2);
         },
         ERROR_INVALID_PARAMETER},
        {"zero-length wide input",
         [] {
             char out[2];
             return WideCharToMultiByte(CP_ACP, 0, L"a", 0, out, 2, nullptr, nullptr);
         },
         ERROR_INVALID_PARAMETER},
        {"default character with UTF-8",
         [] {
             char out[2];
             return WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 2, "?", nullptr);
         },
         ERROR_INVALID_PARAMETER},
        {"strict decoding of an invalid byte",
         [] {
             wchar_t out[2];
             return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, out, 2);
         },
         ERROR_NO_UNICODE_TRANSLATION},
        {"strict encoding of a lone surrogate",
         [] {
             char out[4];
             return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, L"\xD800", 1, out, 4, nullptr,
                                        nullptr);
         },
         ERROR_NO_UNICODE_TRANSLATION},
    };
    for (const Case& c : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(c.call(), 0) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
}

TEST(CodePages, CharactersWithoutAnEightBitFormUseTheDefaultOrTheReplacement)
{
    // Lone surrogates outside the escape range and values beyond U+10FFFF have no bytes.
    const std::wstring text = std::wstring(L"a\xD800") + wchar_t(0x110000) + L"b";
    char out[16] = {};
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out, 16, nullptr,
                                  &usedDefault),
              4);
    EXPECT_EQ(std::string(out, 4), "a??b");
    EXPECT_TRUE(usedDefault);

    EXPECT_EQ(
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out, 16, "#", &usedDefault),
        4);
    EXPECT_EQ(std::string(out, 4), "a##b");

    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ok", 2, out, 16, nullptr, &usedDefault), 2);
    EXPECT_FALSE(usedDefault);

    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out, 16, nullptr, nullptr),
        8);
    EXPECT_EQ(Hex(std::string(out, 8)), Hex("a\xEF\xBF\xBD\xEF\xBF\xBD"
                                            "b"));
}

TEST(Utf16Le, JoinsPairsKeepsLoneSurrogatesAndDropsAnOddByte)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text;
        std::string written;  // what WideToUtf16Le gives back for `text`
    };
    const Case cases[] = {
        {"ascii", std::string("K\0V\0", 4), L"KV", std::string("K\0V\0", 4)},
        {"hangul", "\x5C\xD5", L"\uD55C", "\x5C\xD5"},
        {"pair", std::string("\x3D\xD8\x00\xDE", 4), L"\U0001F600",
         std::string("\x3D\xD8\x00\xDE", 4)},
        {"lone high at the end", std::string("A\0\x3D\xD8", 4), L"A\xD83D",
         std::string("A\0\x3D\xD8", 4)},
        {"lone low",
         std::string("\x00\xDE"
                     "A\0",
                     4),
         L"\xDE00"
         L"A",
         std::string("\x00\xDE"
                     "A\0",
                     4)},
        {"high before a non-surrogate",
         std::string("\x3D\xD8"
                     "A\0",
                     4),
         L"\xD83D"
         L"A",
         std::string("\x3D\xD8"
                     "A\0",
                     4)},
        {"two highs then a low", std::string("\x3D\xD8\x3D\xD8\x00\xDE", 6), L"\xD83D\U0001F600",
         std::string("\x3D\xD8\x3D\xD8\x00\xDE", 6)},
        {"odd trailing byte", std::string("A\0B", 3), L"A", std::string("A\0", 2)},
        {"empty", "", L"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::Utf16LeToWide(c.bytes.data(), c.bytes.size()), c.text) << c.what;
        EXPECT_EQ(Hex(platform::WideToUtf16Le(c.text)), Hex(c.written)) << c.what;
    }
    EXPECT_EQ(Hex(platform::WideToUtf16Le(std::wstring(1, wchar_t(0x110000)))), Hex("\xFD\xFF"));
}

TEST(Utf16Le, AnyEvenByteStringSurvivesTheRoundTrip)
{
    std::mt19937 random(711);
    const uint16_t interesting[] = {0x0041, 0x00E9, 0xD7FF, 0xD800, 0xDBFF, 0xDC00,
                                    0xDC80, 0xDFFF, 0xE000, 0xFEFF, 0xFFFF};
    for (int round = 0; round < 4000; ++round) {
        std::string bytes;
        size_t units = random() % 16;
        for (size_t i = 0; i < units; ++i) {
            uint16_t unit =
                random() % 2 ? interesting[random() % std::size(interesting)] : uint16_t(random());
            bytes.push_back(char(unit & 0xFF));
            bytes.push_back(char(unit >> 8));
        }
        std::wstring text = platform::Utf16LeToWide(bytes.data(), bytes.size());
        ASSERT_EQ(Hex(platform::WideToUtf16Le(text)), Hex(bytes));
    }
}

}  // namespace
