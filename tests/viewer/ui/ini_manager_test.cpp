#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/IniManager.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TempFolder;
using testsupport::Utf16File;
using testsupport::WriteBytes;

class IniManagerTest : public ::testing::Test {
protected:
    std::wstring Write(const std::string& name, const std::string& bytes)
    {
        WriteBytes(m_folder.Native(name), bytes);
        return m_folder.Windows(name);
    }

    TempFolder m_folder;
};

TEST_F(IniManagerTest, NothingLoadedAnswersErrorLoadingAndStoresNothing)
{
    CIniManager manager;
    EXPECT_EQ(manager.Get(L"k", L"s"), L"Error Loading");
    EXPECT_EQ(manager.Get(L"k"), L"Error Loading");
    EXPECT_FALSE(manager.Set(L"s", L"k", L"v"));
    EXPECT_FALSE(manager.Save(m_folder.Windows("out.ini")));
    EXPECT_TRUE(m_folder.Names().empty());
}

TEST_F(IniManagerTest, LoadCountsOnlyFilesThatHeldText)
{
    const std::wstring good = Write("good.ini", "[s]\nk = v\n");
    const std::wstring oneByte = Write("one.ini", "[");
    const std::wstring absent = m_folder.Windows("absent.ini");
    struct {
        const char* what;
        std::wstring primary;
        std::wstring fallback;
        BOOL loaded;
    } cases[] = {
        {"primary only", good, L"", TRUE},
        {"fallback only", absent, good, TRUE},
        {"neither exists", absent, absent, FALSE},
        {"a one-byte primary is no text", oneByte, L"", FALSE},
        {"a one-byte primary, absent fallback", oneByte, absent, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CIniManager manager;
        EXPECT_EQ(manager.Load(c.primary, c.fallback), c.loaded);
        EXPECT_EQ(manager.IsLoaded(), c.loaded);
        EXPECT_EQ(manager.Get(L"k", L"s"), c.loaded ? L"v" : L"Error Loading");
    }
}

TEST_F(IniManagerTest, FallbackAnswersWhatThePrimaryLacksAndEscapesBecomeLineBreaks)
{
    const std::wstring primary = Write(
        "primary.ini",
        Utf16File(L"[text]\r\nempty = \"\"\r\nown = \"mine\"\r\nlines = \"a\\nb\\rc\\\\n\"\r\n"
                  L"[font]\r\nsize = 13\r\n"));
    const std::wstring fallback = Write(
        "fallback.ini", Utf16File(L"[text]\r\nempty = \"fallback\"\r\nown = \"theirs\"\r\n"
                                  L"only = \"from fallback\"\r\n[font]\r\nface = Verdana\r\n"));
    CIniManager manager;
    ASSERT_TRUE(manager.Load(primary, fallback));
    struct {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* expected;
    } cases[] = {
        {nullptr, L"own", L"mine"},           {nullptr, L"empty", L"fallback"},
        {nullptr, L"only", L"from fallback"}, {nullptr, L"nowhere", L""},
        {nullptr, L"lines", L"a\nb\rc\\\n"},  {L"font", L"size", L"13"},
        {L"font", L"face", L"Verdana"},       {L"nosection", L"own", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.key));
        EXPECT_EQ(manager.Get(c.key, c.section), c.expected);
    }
}

TEST_F(IniManagerTest, SetAndSaveTouchOnlyThePrimary)
{
    const std::wstring primary = Write("primary.ini", "[install]\nunit = mph\n");
    const std::wstring fallback = Write("fallback.ini", "[install]\nlanguage = english\n");
    CIniManager manager;
    ASSERT_TRUE(manager.Load(primary, fallback));
    EXPECT_TRUE(manager.Set(L"install", L"unit", L"km/h"));
    ASSERT_TRUE(manager.Save(m_folder.Windows("saved.ini")));
    EXPECT_EQ(ReadBytes(m_folder.Native("saved.ini")),
              Utf16File(L"[install]\r\nunit = km/h\r\n\r\n"));
}

TEST_F(IniManagerTest, AFailedSaveDoesNotPutTheFallbackInItsPlace)
{
    // A primary too large to fit under the size limit and a small fallback that would fit.
    std::string big = "[install]\n";
    for (int i = 0; i < 300; ++i)
        big += "key" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    const std::wstring primary = Write("primary.ini", big);
    const std::wstring fallback = Write("fallback.ini", "[x]\n");
    const std::string old = Utf16File(L"[install]\r\nlanguage = german\r\n");
    const std::wstring target = Write("tessaly.ini", old);
    CIniManager manager;
    ASSERT_TRUE(manager.Load(primary, fallback));
    BOOL saved;
    {
        testsupport::FileSizeLimit limit(big.size());
        saved = manager.Save(target);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(m_folder.Native("tessaly.ini")), old);
}

TEST_F(IniManagerTest, LanguageResourcesByNameWithoutRegardToCase)
{
    struct {
        const char* what;
        const wchar_t* primary;
        const wchar_t* fallback;
        BOOL loaded;
        const wchar_t* k092;
    } cases[] = {
        {"a language with English behind it", L"korean", L"english", TRUE, nullptr},
        {"the name in any case", L"EnGlIsH", L"", TRUE, L"Korean"},
        {"an unknown language stops the load", L"klingon", L"english", FALSE, L"Error Loading"},
        {"an unknown fallback fails it too", L"english", L"klingon", FALSE, L"Error Loading"},
        {"only a fallback", L"", L"english", TRUE, L"Korean"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CIniManager manager;
        EXPECT_EQ(manager.LoadFromResource(c.primary, c.fallback), c.loaded);
        if (c.k092)
            EXPECT_EQ(manager.Get(L"IDS_STRING_K_092"), c.k092);
        if (c.loaded)
            EXPECT_NE(manager.Get(L"IDS_STRING_K_091"), L"Error Loading");
        if (c.loaded)
            EXPECT_NE(manager.Get(L"IDS_STRING_K_091"), L"");
    }
}

TEST_F(IniManagerTest, LoadFromMemoryStartsADocumentThatAcceptsChanges)
{
    CIniManager manager;
    EXPECT_TRUE(manager.LoadFromMemory(nullptr, 0));
    EXPECT_EQ(manager.Get(L"language", L"install"), L"");
    EXPECT_TRUE(manager.Set(L"install", L"language", L"italian"));
    EXPECT_EQ(manager.Get(L"language", L"install"), L"italian");
}

TEST_F(IniManagerTest, SymbolTablesFromHeaderText)
{
    const std::string header = ReadBytes(std::string(SOURCE_DATA_DIR) + "/symbols.h");
    ASSERT_NE(header, "<none>");
    const std::wstring path = Write("symbols.h", header);
    struct {
        const char* what;
        bool fromFile;
        const wchar_t* value;
        const wchar_t* name;
    } cases[] = {
        {"a repeated value keeps its last name", false, L"100", L"IDS_SECOND"},
        {"a repeated value joins its names", true, L"100", L"IDS_FIRST,IDS_SECOND"},
        {"the third word is the value", true, L"7", L"IDS_SEVEN"},
        {"a directive that only begins with #define", true, L"9", L"IDS_NINE"},
        {"names beginning with an underscore are left out", true, L"1", nullptr},
        {"names beginning with an underscore are left out", false, L"1", nullptr},
        {"other lines are left out", false, L"3", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.fromFile ? " (file)" : " (resource)"));
        CIniManager manager;
        ASSERT_TRUE(c.fromFile ? manager.LoadSymbolsFromFile(path)
                               : manager.LoadSymbolsFromResource(L"symbols", L"TEXTINCLUDE"));
        std::wstring name;
        EXPECT_EQ(manager.LookupSymbol(c.value, name), c.name != nullptr);
        if (c.name)
            EXPECT_EQ(name, c.name);
    }
    CIniManager manager;
    EXPECT_FALSE(manager.LoadSymbolsFromFile(m_folder.Windows("absent.h")));
    EXPECT_FALSE(manager.LoadSymbolsFromResource(L"absent", L"TEXTINCLUDE"));
}

}  // namespace
