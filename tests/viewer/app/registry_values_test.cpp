// Reading and writing the viewer's registry strings, with values of other types, without a
// terminating zero and too long for the buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "app/TessalyDlg.h"
#include "card_support.h"

using namespace cardtest;

namespace {

constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\KESTROVAN\\";

class RegistryValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home = TempFolder("registry");
        platform::testing::SetHomeFolder(m_home.string());
    }
    void TearDown() override { fs::remove_all(m_home); }

    void SetRaw(LPCWSTR name, DWORD type, const void* data, DWORD bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    fs::path m_home;
};

TEST_F(RegistryValues, WrittenTextReadsBackWithItsZeroCounted)
{
    EXPECT_TRUE(CTessalyDlg::RegWriteString(HKEY_LOCAL_MACHINE, kRegistryKey, L"DASHCAMPATH", L"C:\\opt\\tessaly\\"));
    WCHAR buffer[130];
    EXPECT_TRUE(CTessalyDlg::RegReadString(HKEY_LOCAL_MACHINE, kRegistryKey, L"DASHCAMPATH", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, L"C:\\opt\\tessaly\\");

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, bytes = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"DASHCAMPATH", nullptr, &type, nullptr, &bytes), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(bytes, (std::wcslen(L"C:\\opt\\tessaly\\") + 1) * sizeof(WCHAR));
}

TEST_F(RegistryValues, ReadsOnlyStringsThatFitAndAlwaysEndsTheText)
{
    DWORD number = 1;
    SetRaw(L"NUMBER", REG_DWORD, &number, sizeof number);
    SetRaw(L"BINARY", REG_BINARY, L"1", 2 * sizeof(WCHAR));
    SetRaw(L"NOZERO", REG_SZ, L"1234", 4 * sizeof(WCHAR));
    SetRaw(L"FULL", REG_SZ, L"12345", 5 * sizeof(WCHAR));
    SetRaw(L"FITS", REG_SZ, L"1234", 5 * sizeof(WCHAR));
    SetRaw(L"EMPTY", REG_SZ, L"", 0);
    struct {
        LPCWSTR name;
        BOOL ok;
        const wchar_t* text;
    } cases[] = {
        {L"MISSING", FALSE, L""}, {L"NUMBER", FALSE, L""}, {L"BINARY", FALSE, L""},
        {L"NOZERO", TRUE, L"1234"}, {L"FULL", FALSE, L""},   {L"FITS", TRUE, L"1234"},
        {L"EMPTY", TRUE, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << platform::WideToAnsi(c.name));
        WCHAR buffer[6];
        std::fill(std::begin(buffer), std::end(buffer), L'x');
        // Five characters of room.
        EXPECT_EQ(CTessalyDlg::RegReadString(HKEY_LOCAL_MACHINE, kRegistryKey, c.name, buffer, 5 * sizeof(WCHAR)),
                  c.ok);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[5], L'x');  // nothing written past the buffer
    }
    WCHAR one[1] = {L'x'};
    EXPECT_FALSE(CTessalyDlg::RegReadString(HKEY_LOCAL_MACHINE, kRegistryKey, L"EMPTY", one, 1));  // no room at all
}

}  // namespace
