// Code pages and UTF-16 at the edges.
//
// Every 8-bit code page this layer offers (CP_ACP, CP_OEMCP, CP_THREAD_ACP, CP_UTF8) is UTF-8
// with one extension that makes the conversion lossless: a byte that does not belong to a valid,
// shortest-form UTF-8 sequence becomes the code unit U+DC80 + byte (0x80..0xFF become
// U+DC80..U+DCFF), and those code units turn back into their byte. Valid UTF-8 never decodes to a
// surrogate, so the escapes cannot be confused with decoded text, and any byte string survives a
// trip through wide text unchanged.
#include <climits>
#include <cstring>
#include <cwchar>

#include "platform/kernel.h"

namespace platform {
namespace {

// A byte b that is not valid UTF-8 is carried as the code unit kEscapeBase + b.
constexpr uint32_t kEscapeBase = 0xDC00;
constexpr uint32_t kEscapeFirst = 0xDC80;
constexpr uint32_t kEscapeLast = 0xDCFF;
constexpr uint32_t kReplacement = 0xFFFD;

bool IsSupportedCodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
           codePage == CP_UTF8;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes the sequence that starts at s[0] (n bytes available). Returns its length (1..4) and
// stores the code point, or returns 0 when s[0] does not start a valid sequence: a stray
// continuation byte, a truncated sequence, an overlong form, an encoded surrogate or a value
// above U+10FFFF.
size_t DecodeOne(const unsigned char* s, size_t n, uint32_t* codePoint)
{
    unsigned char b0 = s[0];
    if (b0 < 0x80) {
        *codePoint = b0;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0)
            low = 0xA0;  // shorter forms are overlong
        if (b0 == 0xED)
            high = 0x9F;  // U+D800..U+DFFF are not characters
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0)
            low = 0x90;  // overlong
        if (b0 == 0xF4)
            high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!IsContinuation(s[i]))
            return 0;
    }
    uint32_t value = b0 & (0x7F >> length);
    for (size_t i = 1; i < length; ++i)
        value = (value << 6) | (s[i] & 0x3F);
    *codePoint = value;
    return length;
}

// Bytes to wide text. With `strict`, the first invalid byte makes the whole conversion fail
// (false); otherwise invalid bytes become escapes and the result is always true.
bool DecodeBytes(const unsigned char* s, size_t n, bool strict, std::wstring* out)
{
    out->clear();
    out->reserve(n);
    size_t i = 0;
    while (i < n) {
        uint32_t codePoint;
        size_t length = DecodeOne(s + i, n - i, &codePoint);
        if (length == 0) {
            if (strict)
                return false;
            out->push_back(static_cast<WCHAR>(kEscapeBase + s[i]));
            ++i;
        } else {
            out->push_back(static_cast<WCHAR>(codePoint));
            i += length;
        }
    }
    return true;
}

void AppendUtf8(uint32_t codePoint, std::string* out)
{
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// How characters that have no 8-bit form (surrogates other than the escapes, values above
// U+10FFFF) are treated.
enum class Unmappable {
    Fail,         // the conversion fails
    Replace,      // U+FFFD is written, as UTF-8 does
    DefaultChar,  // the caller's default character (or '?') is written
};

// Wide text to bytes. Returns false only for Unmappable::Fail when such a character occurs;
// *usedDefault tells whether a default character was written.
bool EncodeWide(const WCHAR* s, size_t n, Unmappable mode, char defaultChar, std::string* out,
                bool* usedDefault)
{
    out->clear();
    out->reserve(n);
    *usedDefault = false;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (c >= kEscapeFirst && c <= kEscapeLast) {
            out->push_back(static_cast<char>(c - kEscapeBase));
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            switch (mode) {
                case Unmappable::Fail:
                    return false;
                case Unmappable::Replace:
                    AppendUtf8(kReplacement, out);
                    break;
                case Unmappable::DefaultChar:
                    out->push_back(defaultChar);
                    *usedDefault = true;
                    break;
            }
        } else {
            AppendUtf8(c, out);
        }
    }
    return true;
}

}  // namespace

std::wstring AnsiToWide(const std::string& bytes)
{
    std::wstring text;
    DecodeBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), false, &text);
    return text;
}

std::string WideToAnsi(const std::wstring& text)
{
    std::string bytes;
    bool usedDefault;
    EncodeWide(text.data(), text.size(), Unmappable::DefaultChar, '?', &bytes, &usedDefault);
    return bytes;
}

std::wstring Utf16LeToWide(const void* data, size_t bytes)
{
    std::wstring text;
    if (!data)
        return text;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t units = bytes / 2;
    text.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = p[2 * i] | (uint32_t(p[2 * i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = p[2 * i + 2] | (uint32_t(p[2 * i + 3]) << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                text.push_back(
                    static_cast<WCHAR>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
                ++i;
                continue;
            }
        }
        text.push_back(static_cast<WCHAR>(unit));
    }
    return text;
}

std::string WideToUtf16Le(const std::wstring& text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    auto put = [&bytes](uint32_t unit) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    };
    for (WCHAR ch : text) {
        uint32_t c = static_cast<uint32_t>(ch);
        if (c > 0x10FFFF) {
            put(kReplacement);
        } else if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return bytes;
}

}  // namespace platform

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar)
{
    if (!platform::IsSupportedCodePage(codePage) || !multiByte || cbMultiByte == 0 ||
        cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && !wideChar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cbMultiByte == -1 ? std::strlen(multiByte) + 1 : size_t(cbMultiByte);
    std::wstring text;
    if (!platform::DecodeBytes(reinterpret_cast<const unsigned char*>(multiByte), length,
                               (flags & MB_ERR_INVALID_CHARS) != 0, &text)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (text.size() > size_t(INT_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(text.size());
    if (cchWideChar == 0)
        return needed;
    if (needed > cchWideChar) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(wideChar, text.data(), text.size());
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar)
{
    // As on Windows, UTF-8 has no default character: both arguments must be null for it.
    if (!platform::IsSupportedCodePage(codePage) || !wideChar || cchWideChar == 0 ||
        cchWideChar < -1 || cbMultiByte < 0 || (cbMultiByte > 0 && !multiByte) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cchWideChar == -1 ? std::wcslen(wideChar) + 1 : size_t(cchWideChar);
    platform::Unmappable mode = platform::Unmappable::DefaultChar;
    if (flags & WC_ERR_INVALID_CHARS) {
        mode = platform::Unmappable::Fail;
    } else if (codePage == CP_UTF8) {
        mode = platform::Unmappable::Replace;
    }
    std::string bytes;
    bool usedDefault = false;
    if (!platform::EncodeWide(wideChar, length, mode, defaultChar ? defaultChar[0] : '?', &bytes,
                              &usedDefault)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (bytes.size() > size_t(INT_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(bytes.size());
    if (cbMultiByte == 0)
        return needed;
    if (needed > cbMultiByte) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, bytes.data(), bytes.size());
    return needed;
}
