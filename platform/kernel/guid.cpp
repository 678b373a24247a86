#include <cstdio>
#include <cwchar>
#include <tuple>

#include "platform/base.h"

bool operator<(REFGUID a, REFGUID b)
{
    auto key = [](REFGUID g) {
        return std::make_tuple(g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                               g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    };
    return key(a) < key(b);
}

namespace platform {

std::wstring GuidToString(REFGUID g)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  (unsigned)g.Data1, (unsigned)g.Data2, (unsigned)g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool GuidFromString(const std::wstring& text, GUID* guid)
{
    // Exactly 38 characters: braces, 32 hex digits and four dashes at fixed places.
    if (text.size() != 38 || text[0] != L'{' || text[37] != L'}') return false;
    auto hex = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    };
    uint8_t bytes[16] = {};
    int digits = 0;
    for (size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (text[i] != L'-') return false;
            continue;
        }
        int v = hex(text[i]);
        if (v < 0) return false;
        bytes[digits / 2] = uint8_t(bytes[digits / 2] << 4 | v);
        ++digits;
    }
    GUID g;
    g.Data1 = DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | bytes[3];
    g.Data2 = WORD(bytes[4] << 8 | bytes[5]);
    g.Data3 = WORD(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    *guid = g;
    return true;
}

}  // namespace platform
