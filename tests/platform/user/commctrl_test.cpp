// The common-controls entry and the message filter, reached as programs reach them: the filter
// by name through "user32.dll".
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/user.h"

namespace {

TEST(UserCommonControls, InitCommonControlsExChecksItsStructure)
{
    struct Case {
        bool present;
        DWORD size;
        DWORD classes;
        BOOL result;
    } cases[] = {
        {true, 8, 0xFF, TRUE},
        {true, 8, ICC_STANDARD_CLASSES, TRUE},
        {true, 0, 0xFF, FALSE},
        {true, 12, 0xFF, FALSE},
        {false, 0, 0, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " present " << c.present);
        INITCOMMONCONTROLSEX init{c.size, c.classes};
        SetLastError(0);
        EXPECT_EQ(InitCommonControlsEx(c.present ? &init : nullptr), c.result);
        if (!c.result) EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(UserCommonControls, TheMessageFilterIsFoundByNameInUser32)
{
    typedef BOOL (*FilterProc)(UINT, DWORD);
    HMODULE user32 = LoadLibraryW(L"USER32.DLL");
    ASSERT_NE(user32, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"user32"), user32);
    WCHAR file[1024];
    DWORD length = GetModuleFileNameW(user32, file, 1024);
    EXPECT_NE(std::wstring(file, length).find(L"libplatform.so"), std::wstring::npos);

    auto filter = reinterpret_cast<FilterProc>(GetProcAddress(user32, "ChangeWindowMessageFilter"));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter, &ChangeWindowMessageFilter);
    for (UINT message : {UINT(WM_DROPFILES), UINT(WM_COPYDATA), 0x49u})
        EXPECT_TRUE(filter(message, MSGFLT_ADD));
    EXPECT_TRUE(filter(WM_COPYDATA, MSGFLT_REMOVE));
    SetLastError(0);
    EXPECT_FALSE(filter(WM_COPYDATA, 3));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // Only the layer's own exports: not what it merely links against.
    EXPECT_EQ(GetProcAddress(user32, "png_create_read_struct"), nullptr);

    // Releasing the module leaves the layer in place.
    EXPECT_TRUE(FreeLibrary(user32));
    EXPECT_EQ(GetModuleHandleW(L"USER32.DLL"), user32);
    // Other system names are not offered.
    EXPECT_EQ(LoadLibraryW(L"comctl32.dll"), nullptr);
}

}  // namespace
