// LoadStringW over this program's string tables (data/strings_*.bin, in Windows' layout).
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/user.h"

namespace {

TEST(UserStrings, LoadStringReadsCountedStringsOfTheirBlock)
{
    HINSTANCE program = GetModuleHandleW(nullptr);
    struct Case {
        UINT id;
        int maxCount;
        const wchar_t* text;
        int result;
        DWORD error;  // 0: not looked at
    } cases[] = {
        {291, 64, L"Local ID", 8, 0},
        {303, 64, L"last of the block", 17, 0},
        {290, 64, L"Caf\u00e9 \U0001D11E", 6, 0},  // the pair is one character
        {291, 5, L"Loca", 4, 0},                     // cut to the buffer, terminated
        {288, 64, L"", 0, 0},                        // present but empty
        {289, 64, L"", 0, 0},
        {320, 64, L"first", 5, 0},
        {321, 64, L"", 0, ERROR_INVALID_DATA},             // claims more than the block holds
        {325, 64, L"", 0, ERROR_INVALID_DATA},             // lies past the cut
        {100, 64, L"", 0, ERROR_RESOURCE_NAME_NOT_FOUND},  // no such block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        WCHAR buffer[64] = {L'?', L'?'};
        SetLastError(0);
        EXPECT_EQ(LoadStringW(program, c.id, buffer, c.maxCount), c.result);
        EXPECT_EQ(std::wstring(buffer), c.text);
        if (c.error)
            EXPECT_EQ(GetLastError(), c.error);
    }
    // Lending the resource's own text is not offered: it is UTF-16, WCHAR is not.
    WCHAR* lent = nullptr;
    SetLastError(0);
    EXPECT_EQ(LoadStringW(program, 291, reinterpret_cast<LPWSTR>(&lent), 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
