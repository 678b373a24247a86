// A language the program does not carry: choosing it keeps the language in use, and neither the
// settings file nor the registry names it. This program is built with the English texts only.
#include "DialogFixture.h"

#include <filesystem>

#include "ui/Settings.h"

namespace fs = std::filesystem;

namespace {

class LanguageFallbackTest : public apptest::DialogFixture {};

TEST_F(LanguageFallbackTest, AMissingLanguageIsNotKept)
{
    StartDialog();
    const fs::path settings = fs::path(TempDir()) / "program";
    fs::create_directories(settings);
    OnUi([&] {
        CTessalyDlg& d = dlg();
        d.m_strAppFolder = platform::ToWindowsPath(settings.string()) + L"\\";
        d.SendMessage(WM_COMMAND, 1034, 0);  // korean
        EXPECT_EQ(GetLanguageName(), L"english");
        EXPECT_EQ(GetLangText(L"IDS_STRING_K_105"), L"Video not found.");
        EXPECT_NE(GetInstallValue(L"language"), L"korean");
        for (const CTDropBoxItem& item : d.m_boxLang.GetItems())
            if (item.id == 1034)
                EXPECT_NE(item.check, 1);
    });
    EXPECT_FALSE(fs::exists(settings / "tessaly.ini"));
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KESTROVAN\\", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        wchar_t buffer[64] = {};
        DWORD bytes = sizeof buffer - sizeof(wchar_t);
        RegQueryValueExW(key, L"LANGUAGE", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &bytes);
        RegCloseKey(key);
        EXPECT_NE(std::wstring(buffer), L"korean");
    }
    CloseDialog();
}

}  // namespace
