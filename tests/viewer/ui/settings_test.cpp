#include <atomic>
#include <future>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/Settings.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TempFolder;
using testsupport::Utf16File;
using testsupport::WriteBytes;

const wchar_t* const kLanguages[] = {
    L"english", L"korean", L"spanish", L"chinesesimplified", L"portuguese",        L"french",
    L"russian", L"german", L"italian", L"japanese",          L"chinesetraditional"};

// ---------------------------------------------------------------------------------------------
// The settings file

class SettingsFileTest : public ::testing::Test {
protected:
    std::string SettingsBytes() const { return ReadBytes(m_folder.Native("tessaly.ini")); }

    TempFolder m_folder;
};

TEST_F(SettingsFileTest, WithoutAFileTheFirstChangeCreatesIt)
{
    EXPECT_FALSE(LoadSettingIni(m_folder.Windows()));
    EXPECT_EQ(GetInstallValue(L"language"), L"");
    EXPECT_TRUE(SetInstallValue(L"language", L"korean"));
    EXPECT_TRUE(SetInstallValue(L"unit", L"mph"));
    EXPECT_TRUE(m_folder.Names().empty()) << "nothing is written before the save";
    ASSERT_TRUE(SaveSettingIni());

    EXPECT_EQ(m_folder.Names(), std::set<std::string>{"tessaly.ini"});
    ASSERT_TRUE(LoadSettingIni(m_folder.Windows()));
    EXPECT_EQ(GetInstallValue(L"language"), L"korean");
    EXPECT_EQ(GetInstallValue(L"unit"), L"mph");
    EXPECT_EQ(GetInstallValue(L"playtype"), L"");
}

TEST_F(SettingsFileTest, AnAnsiFileIsReadAndWrittenBackInThePlaceItCameFrom)
{
    WriteBytes(m_folder.Native("tessaly.ini"),
               "[install]\r\nlanguage = English\r\nunit = MPH\r\nplaytype = dual\r\n");
    ASSERT_TRUE(LoadSettingIni(m_folder.Windows()));
    EXPECT_EQ(GetInstallValue(L"language"), L"English");
    EXPECT_EQ(GetInstallValue(L"UNIT"), L"MPH");
    EXPECT_TRUE(SetInstallValue(L"unit", L"km/h"));
    ASSERT_TRUE(SaveSettingIni());

    const std::string saved = SettingsBytes();
    EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
    ASSERT_TRUE(LoadSettingIni(m_folder.Windows()));
    EXPECT_EQ(GetInstallValue(L"language"), L"English");
    EXPECT_EQ(GetInstallValue(L"unit"), L"km/h");
    EXPECT_EQ(GetInstallValue(L"playtype"), L"dual");
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsLeftAlone)
{
    const std::string cases[] = {"[", std::string(1000001, ';')};
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        WriteBytes(m_folder.Native("tessaly.ini"), bytes);
        EXPECT_FALSE(LoadSettingIni(m_folder.Windows()));
        EXPECT_EQ(GetInstallValue(L"language"), L"Error Loading");
        EXPECT_FALSE(SetInstallValue(L"language", L"french"));
        EXPECT_FALSE(SaveSettingIni());
        EXPECT_EQ(SettingsBytes(), bytes);
    }
}

TEST_F(SettingsFileTest, AFailedSaveKeepsTheOldFileAndTheSettingsInMemory)
{
    const std::string old = Utf16File(L"[install]\r\nlanguage = german\r\n");
    WriteBytes(m_folder.Native("tessaly.ini"), old);
    ASSERT_TRUE(LoadSettingIni(m_folder.Windows()));
    ASSERT_TRUE(SetInstallValue(L"language", L"japanese"));
    for (int i = 0; i < 100; ++i)
        SetInstallValue((L"extra" + std::to_wstring(i)).c_str(), L"x");
    BOOL saved;
    {
        testsupport::FileSizeLimit limit(old.size() + 8);
        saved = SaveSettingIni();
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(SettingsBytes(), old);
    EXPECT_EQ(GetInstallValue(L"language"), L"japanese");
    // The next save that can succeed stores the change.
    ASSERT_TRUE(SaveSettingIni());
    ASSERT_TRUE(LoadSettingIni(m_folder.Windows()));
    EXPECT_EQ(GetInstallValue(L"language"), L"japanese");
}

// ---------------------------------------------------------------------------------------------
// The language texts

// A language's text exactly as the program carries it.
std::string LanguageResource(const std::wstring& name)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, name.c_str(), L"LANGUAGE");
    if (!resource)
        return std::string();
    const void* data = LockResource(LoadResource(module, resource));
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, resource))
                : std::string();
}

std::map<std::wstring, std::wstring> SectionOf(CIniFile& ini, LPCWSTR name)
{
    std::map<std::wstring, std::wstring> entries;
    if (CIniFile::Section* section = ini.FindSection(name))
        entries.insert(section->begin(), section->end());
    return entries;
}

std::wstring TextKey(int number)
{
    wchar_t key[32];
    std::swprintf(key, 32, L"IDS_STRING_K_%03d", number);
    return key;
}

// How each language's "[font]" and "[menu]" differ from English: replaced values, and keys it
// lacks.
struct LanguageFonts {
    const wchar_t* name;
    std::map<std::wstring, std::wstring> differences;
    std::vector<std::wstring> lacks;
};

std::map<std::wstring, std::wstring> Merge(std::map<std::wstring, std::wstring> a,
                                           const std::map<std::wstring, std::wstring>& b)
{
    for (const auto& [key, value] : b)
        a[key] = value;
    return a;
}

const std::map<std::wstring, std::wstring> kEastAsianSizes = {
    {L"TEXT_WIDTH_1", L"13"},
    {L"TEXT_WIDTH_2", L"13"},
    {L"TEXT_WIDTH_3", L"12"},
    {L"TEXT_WIDTH_4", L"12"},
    {L"TEXT_WIDTH_TBALOON", L"12"},
    {L"TEXTSIZE_BBINFO_1", L"12"},
    {L"TEXTSIZE_BBINFO_2", L"12"},
    {L"TEXTSIZE_TESSALY_1", L"13"},
    {L"TEXTSIZE_TESSALY_3", L"12"},
    {L"TEXTSIZE_TESSALY_BTN", L"13"},
    {L"TEXTSIZE_TESSALY_LIST_BTN", L"12"},
    {L"TEXTSIZE_TBUTTON", L"13"},
    {L"TEXTSIZE_TDROPBOX", L"13"},
    {L"SIZE_BTN_SETTING_WIDTH", L"80"},
};

std::map<std::wstring, std::wstring> Face(const wchar_t* face, const wchar_t* charset,
                                          const wchar_t* codePage)
{
    return {{L"DEFAULT_UI_FACENAME", face},
            {L"DEFAULT_UI_CHARSET", charset},
            {L"DEFAULT_UI_CODEPAGE", codePage}};
}

const LanguageFonts kLanguageFonts[] = {
    {L"english", {}, {}},
    {L"chinesesimplified", Merge(Face(L"simsun", L"134", L"936"), kEastAsianSizes), {}},
    {L"chinesetraditional", Merge(Face(L"simsun", L"134", L"936"), kEastAsianSizes), {}},
    {L"korean", Merge(Face(L"dotum", L"129", L"949"), kEastAsianSizes), {}},
    {L"japanese",
     Merge(Face(L"MS Gothic", L"1", L"411"), {{L"TEXTSIZE_BBINFO_1", L"12"},
                                              {L"TEXTSIZE_BBINFO_2", L"12"},
                                              {L"TEXTSIZE_TESSALY_1", L"13"},
                                              {L"TEXTSIZE_TESSALY_3", L"12"},
                                              {L"TEXTSIZE_TESSALY_BTN", L"13"},
                                              {L"TEXTSIZE_TBUTTON", L"13"},
                                              {L"TEXTSIZE_TDROPBOX", L"13"}}),
     {}},
    {L"portuguese",
     Merge(Face(L"tahoma", L"1", L"1252"),
           {{L"SIZE_BTN_FILE_WIDTH", L"90"}, {L"SIZE_BTN_SETTING_WIDTH", L"120"}}),
     {}},
    {L"spanish",
     Merge(Face(L"Verdana", L"1", L"1252"),
           {{L"SIZE_BTN_FILE_WIDTH", L"90"}, {L"SIZE_BTN_SETTING_WIDTH", L"120"}}),
     {}},
    {L"french", {{L"SIZE_BOX_SETTING_WIDTH", L"335"}}, {}},
    {L"german", {}, {}},
    {L"italian", {}, {}},
    {L"russian",
     {{L"SIZE_STATIC_FRONT_WIDTH", L"85"}, {L"SIZE_STATIC_REAR_WIDTH", L"100"}},
     {L"SIZE_BOX_FILE_WIDTH", L"SIZE_BOX_FILE_HEIGHT"}},
};

TEST(LanguageTexts, AllElevenLoadWithEveryTextKeyAndTheirFontsAndMenus)
{
    CIniFile english;
    const std::string englishBytes = LanguageResource(L"english");
    ASSERT_TRUE(english.LoadMemory(englishBytes.data(), englishBytes.size()));
    const auto englishFont = SectionOf(english, L"font");
    const auto englishMenu = SectionOf(english, L"menu");
    EXPECT_EQ(englishFont.size(), 26u);
    EXPECT_EQ(englishMenu.size(), 18u);
    EXPECT_EQ(englishFont.at(L"DEFAULT_UI_FACENAME"), L"Verdana");

    for (const LanguageFonts& language : kLanguageFonts) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(language.name)));
        EXPECT_TRUE(LoadLanguage(language.name));
        EXPECT_EQ(GetLanguageName(), language.name);

        const std::string bytes = LanguageResource(language.name);
        ASSERT_FALSE(bytes.empty()) << "the program carries no such language";
        // UTF-16LE with its mark and CR LF line ends, the three sections in their order.
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
        const std::wstring text = platform::Utf16LeToWide(bytes.data() + 2, bytes.size() - 2);
        size_t bareLineFeeds = 0;
        for (size_t i = 0; i < text.size(); ++i)
            bareLineFeeds += text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r');
        EXPECT_EQ(bareLineFeeds, 0u);
        const size_t font = text.find(L"[font]"), menu = text.find(L"[menu]"),
                     texts = text.find(L"[text]");
        EXPECT_TRUE(font < menu && menu < texts && texts != std::wstring::npos);

        CIniFile ini;
        ASSERT_TRUE(ini.LoadMemory(bytes.data(), bytes.size()));
        for (int number = 1; number <= 111; ++number) {
            std::wstring value;
            EXPECT_TRUE(ini.GetValue(L"text", TextKey(number).c_str(), value))
                << testing::PrintToString(TextKey(number));
            EXPECT_FALSE(value.empty()) << testing::PrintToString(TextKey(number));
        }
        EXPECT_EQ(SectionOf(ini, L"text").size(), 111u);
        // The count of videos is formatted into this text: one "%d" and no other conversion.
        const std::wstring found = ini.GetValue(L"text", L"IDS_STRING_K_079");
        const size_t percent = found.find(L'%');
        EXPECT_TRUE(percent != std::wstring::npos && found.compare(percent, 2, L"%d") == 0 &&
                    found.find(L'%', percent + 1) == std::wstring::npos)
            << testing::PrintToString(found);

        auto expectedFont = englishFont;
        auto expectedMenu = englishMenu;
        for (const auto& [key, value] : language.differences) {
            (expectedFont.count(key) ? expectedFont : expectedMenu)[key] = value;
        }
        for (const std::wstring& key : language.lacks)
            expectedMenu.erase(key);
        EXPECT_EQ(SectionOf(ini, L"font"), expectedFont);
        EXPECT_EQ(SectionOf(ini, L"menu"), expectedMenu);
    }
}

TEST(LanguageTexts, EnglishAnswersWhatALanguageLacks)
{
    ASSERT_TRUE(LoadLanguage(L"english"));
    ASSERT_TRUE(LoadLanguage(L"russian"));
    EXPECT_EQ(GetMenuValue(L"SIZE_BOX_FILE_WIDTH"), 256);
    EXPECT_EQ(GetMenuValue(L"SIZE_BOX_FILE_HEIGHT"), 76);
    EXPECT_EQ(GetMenuValue(L"SIZE_STATIC_REAR_WIDTH"), 100);
    EXPECT_EQ(GetFontValue(L"TEXTSIZE_TESSALY_3"), 13);
    EXPECT_EQ(GetFontValue(L"DEFAULT_UI_FACENAME"), 0);
    EXPECT_EQ(GetFontValue(L"NO_SUCH_KEY"), 0);
    EXPECT_EQ(GetLangText(L"NO_SUCH_KEY"), L"");
    EXPECT_EQ(GetUIFaceName(), L"Verdana");
    EXPECT_NE(GetLangText(L"IDS_STRING_K_001"), L"File");

    ASSERT_TRUE(LoadLanguage(L"korean"));
    EXPECT_EQ(GetUIFaceName(), L"dotum");
    EXPECT_EQ(GetFontValue(L"DEFAULT_UI_CHARSET"), 129);
}

TEST(LanguageTexts, AnUnknownLanguageLeavesEveryTextErrorLoadingUntilALoadSucceeds)
{
    ASSERT_TRUE(LoadLanguage(L"german"));
    EXPECT_FALSE(LoadLanguage(L"klingon"));
    EXPECT_EQ(GetLanguageName(), L"german");
    EXPECT_EQ(GetLangText(L"IDS_STRING_K_001"), L"Error Loading");
    EXPECT_EQ(GetUIFaceName(), L"Error Loading");
    EXPECT_EQ(GetFontValue(L"TEXTSIZE_TESSALY_3"), 0);
    ASSERT_TRUE(LoadLanguage(L"english"));
    EXPECT_EQ(GetLangText(L"IDS_STRING_K_001"), L"File");
    EXPECT_EQ(GetLangText(L"IDS_STRING_K_107").substr(0, 2), L"※ ");
}

// The file-parsing thread reads texts while the user switches languages: every text it reads
// must be one language's whole text, never "Error Loading" or a half-written value.
TEST(LanguageTexts, ASwitchWhileAnotherThreadReadsIsSafe)
{
    std::set<std::wstring> valid;
    for (const wchar_t* language : kLanguages) {
        ASSERT_TRUE(LoadLanguage(language));
        valid.insert(GetLangText(L"IDS_STRING_K_088"));
    }
    std::atomic<bool> done{false};
    std::promise<void> started;
    std::vector<std::wstring> wrong;
    std::thread reader([&] {
        bool first = true;
        while (!done.load()) {
            const std::wstring text = GetLangText(L"IDS_STRING_K_088");
            if (!valid.count(text) && wrong.size() < 10)
                wrong.push_back(text);
            if (first)
                started.set_value();
            first = false;
        }
    });
    started.get_future().wait();
    for (int round = 0; round < 10; ++round) {
        for (const wchar_t* language : kLanguages)
            EXPECT_TRUE(LoadLanguage(language));
    }
    done.store(true);
    reader.join();
    EXPECT_TRUE(wrong.empty()) << testing::PrintToString(wrong);
}

}  // namespace
