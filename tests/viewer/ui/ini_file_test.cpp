#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/IniFile.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TempFolder;
using testsupport::Utf16File;
using testsupport::WriteBytes;

// One lookup after parsing: value null means the key (or its section) must be missing.
struct Probe {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* value;
};

struct ParseCase {
    const char* what;
    std::wstring text;
    std::vector<Probe> probes;
    // How many keys the section holds after parsing; -1: the section must not exist.
    const wchar_t* countedSection;
    int keyCount;
};

const ParseCase kParseCases[] = {
    {"unquoted value ends at a semicolon, blanks before it dropped",
     L"[s]\nkey = value   ; a note",
     {{L"s", L"key", L"value"}},
     L"s",
     1},
    {"apostrophes keep a semicolon, text after the closing one is dropped",
     L"[s]\nkey = 'a;b' tail",
     {{L"s", L"key", L"a;b"}},
     L"s",
     1},
    {"a value without its closing quote runs to the end of the line",
     L"[s]\nkey = \"open ended",
     {{L"s", L"key", L"open ended"}},
     L"s",
     1},
    {"a double-quoted key keeps its blanks",
     L"[s]\n\" a b \" = x",
     {{L"s", L" a b ", L"x"}},
     L"s",
     1},
    {"nothing after the equals sign is an empty value",
     L"[s]\nkey =",
     {{L"s", L"key", L""}},
     L"s",
     1},
    {"a line starting with the equals sign has an empty key and is dropped",
     L"[s]\n= x",
     {{L"s", L"", nullptr}},
     L"s",
     0},
    {"a quoted key followed by other text before the equals sign is dropped",
     L"[s]\n\"k\" x = y",
     {{L"s", L"k", nullptr}},
     L"s",
     0},
    {"a quoted key without its closing quote is dropped",
     L"[s]\n\"k = y",
     {{L"s", L"k", nullptr}},
     L"s",
     0},
    {"a line ending right after a quoted key is dropped", L"[s]\n\"k=\"", {}, L"s", 0},
    {"tabs around the equals sign", L"[s]\nkey\t=\t\"v\"", {{L"s", L"key", L"v"}}, L"s", 1},
    {"a bare line inside a section is a key with an empty value",
     L"bare before\n[s]\nbare line",
     {{L"s", L"bare line", L""}, {L"s", L"bare before", nullptr}},
     L"s",
     1},
    {"lines before the first header are ignored", L"k = v\n[s]", {{L"s", L"k", nullptr}}, L"s", 0},
    {"empty brackets drop keys until the next header",
     L"[s]\na = 1\n[ ]\nb = 2\n[t]\nc = 3",
     {{L"s", L"a", L"1"}, {L"s", L"b", nullptr}, {L"t", L"c", L"3"}},
     L"s",
     1},
    {"two sections named text are one, later values winning; it is the default section",
     L"[text]\na = 1\nb = 1\n[other]\n[TEXT]\nb = 2",
     {{L"Text", L"a", L"1"}, {L"text", L"b", L"2"}, {nullptr, L"b", L"2"}},
     L"TEXT",
     2},
    {"without a text section a null section finds nothing",
     L"[s]\nb = 2",
     {{nullptr, L"b", nullptr}},
     L"s",
     1},
    {"names and keys ignore the case of ASCII letters only",
     L"[Install]\nLanguage = x\nÄ = 1",
     {{L"INSTALL", L"language", L"x"}, {L"install", L"ä", nullptr}, {L"install", L"Ä", L"1"}},
     L"install",
     2},
    {"a carriage return inside a line disappears",
     L"[s]\nab\rc = 1",
     {{L"s", L"abc", L"1"}},
     L"s",
     1},
    {"lines ending in carriage returns alone are one line", L"[s]\ra = 1\rb = 2\r", {}, L"s", -1},
    {"a header followed by a note is a bare key",
     L"[s]\n[t] ; note\nk = v",
     {{L"s", L"[t] ; note", L""}, {L"s", L"k", L"v"}},
     L"t",
     -1},
    {"a comment line is skipped", L"[s]\n; k = v\n  ;x", {{L"s", L"; k = v", nullptr}}, L"s", 0},
    {"blanks around headers, keys and values, Unicode blanks too",
     L"  [ s ]  \n\x3000k\x3000 = \xA0v\x3000\n\tlast\t",
     {{L"s", L"k", L"v"}, {L"s", L"last", L""}},
     L"s",
     2},
    {"a key set again gets the new value", L"[s]\nk = 1\nk = 2", {{L"s", L"k", L"2"}}, L"s", 1},
    {"the last line needs no line feed, empty lines between are skipped",
     L"[s]\n\n\na = 1\n\nb = 2",
     {{L"s", L"a", L"1"}, {L"s", L"b", L"2"}},
     L"s",
     2},
    {"a zero character ends the text",
     std::wstring(L"[s]\na = 1\0b = 2", 15),
     {{L"s", L"a", L"1"}, {L"s", L"b", nullptr}},
     L"s",
     1},
    {"a byte-order mark inside the text keeps the first line from being a header",
     L"\xFEFF[s]\nk = v",
     {},
     L"s",
     -1},
};

// Each case in both encodings the parser reads: UTF-16LE with its mark, and ANSI bytes.
TEST(IniFileParse, CasesInBothEncodings)
{
    for (const ParseCase& c : kParseCases) {
        const std::pair<const char*, std::string> encodings[] = {
            {" (UTF-16LE)", Utf16File(c.text)}, {" (ANSI)", platform::WideToAnsi(c.text)}};
        for (const auto& [encoding, bytes] : encodings) {
            SCOPED_TRACE(std::string(c.what) + encoding);
            // Exactly the text's bytes, without a terminator, so that reading past them shows.
            std::unique_ptr<char[]> block(new char[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), block.get());
            CIniFile ini;
            ASSERT_TRUE(ini.LoadMemory(block.get(), bytes.size()));
            for (const Probe& p : c.probes) {
                std::wstring value = L"unchanged";
                const BOOL found = ini.GetValue(p.section, p.key, value, L"default");
                EXPECT_EQ(found, p.value != nullptr) << "key " << testing::PrintToString(p.key);
                EXPECT_EQ(value, p.value ? p.value : L"default");
            }
            CIniFile::Section* section = ini.FindSection(c.countedSection);
            if (c.keyCount < 0) {
                EXPECT_EQ(section, nullptr);
            } else {
                ASSERT_NE(section, nullptr);
                EXPECT_EQ(int(section->size()), c.keyCount);
            }
        }
    }
}

TEST(IniFileParse, BlocksThatAreNotTextOrAreCutShort)
{
    CIniFile ini;
    EXPECT_FALSE(ini.LoadMemory("[", 1));
    EXPECT_FALSE(ini.LoadMemory(nullptr, 0));
    EXPECT_TRUE(ini.LoadMemory("\xFF\xFE", 2));
    EXPECT_TRUE(ini.IsEmpty());

    // An odd last byte of UTF-16LE text is ignored.
    std::string odd = Utf16File(L"[s]\nk = v") + "x";
    ASSERT_TRUE(ini.LoadMemory(odd.data(), odd.size()));
    EXPECT_EQ(ini.GetValue(L"s", L"k"), L"v");

    // Bytes that are not UTF-8 survive as their own characters instead of failing the text.
    const char bad[] = "[b]\nk = \xFF\xFE!";
    ASSERT_TRUE(ini.LoadMemory(bad, sizeof(bad) - 1));
    EXPECT_EQ(platform::WideToAnsi(ini.GetValue(L"b", L"k")), "\xFF\xFE!");

    // UTF-16 surrogate pairs join into one character.
    std::string pair = Utf16File(L"[e]\nk = \U0001F600");
    ASSERT_TRUE(ini.LoadMemory(pair.data(), pair.size()));
    EXPECT_EQ(ini.GetValue(L"e", L"k"), L"\U0001F600");
}

TEST(IniFileParse, LoadMemoryAddsToWhatTheDocumentHolds)
{
    CIniFile ini;
    const std::string first = "[s]\na = 1\nb = 1\n";
    const std::string second = "[S]\nb = 2\n[t]\nc = 3\n";
    ASSERT_TRUE(ini.LoadMemory(first.data(), first.size()));
    ASSERT_TRUE(ini.LoadMemory(second.data(), second.size()));
    EXPECT_EQ(ini.GetValue(L"s", L"a"), L"1");
    EXPECT_EQ(ini.GetValue(L"s", L"b"), L"2");
    EXPECT_EQ(ini.GetValue(L"t", L"c"), L"3");

    ini.Clear();
    EXPECT_TRUE(ini.IsEmpty());
    EXPECT_EQ(ini.FindSection(L"s"), nullptr);
}

TEST(IniFileValues, GetIntReadsLikeAnUnsigned32BitConversion)
{
    const std::string text =
        "[n]\ndigits = 12abc\nempty =\nminus = -1\nbig = 4294967296\nhuge = 99999999999999999999\n"
        "signed = \" +7\"\nhex = 0x1F\noctal = 010\nletters = abc\nwrap = -4294967295\n";
    CIniFile ini;
    ASSERT_TRUE(ini.LoadMemory(text.data(), text.size()));
    struct {
        const wchar_t* key;
        int radix;
        int expected;
    } cases[] = {
        {L"digits", 10, 12},    {L"empty", 10, 0},  {L"minus", 10, -1},   {L"big", 10, -1},
        {L"huge", 10, -1},      {L"signed", 10, 7}, {L"hex", 16, 31},     {L"hex", 0, 31},
        {L"hex", 10, 0},        {L"octal", 0, 8},   {L"octal", 10, 10},   {L"letters", 10, 0},
        {L"letters", 16, 2748}, {L"wrap", 10, 1},   {L"missing", 10, 77},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.key) + " radix " + std::to_string(c.radix));
        EXPECT_EQ(ini.GetInt(L"n", c.key, 77, c.radix), c.expected);
    }
    int out = 0;
    EXPECT_FALSE(ini.GetInt(L"n", L"missing", &out, 5));
    EXPECT_EQ(out, 5);
    EXPECT_FALSE(ini.GetInt(L"nosection", L"digits", &out, 6));
    EXPECT_EQ(out, 6);
    EXPECT_TRUE(ini.GetInt(L"n", L"empty", &out, 5));
    EXPECT_EQ(out, 0);
}

TEST(IniFileValues, SetValueNeedsASectionToStoreInto)
{
    CIniFile ini;
    // No section named and no default section: nothing is stored and nothing is created.
    EXPECT_FALSE(ini.SetValue(nullptr, L"k", L"v"));
    EXPECT_FALSE(ini.SetValue(L"s", nullptr, L"v"));
    EXPECT_FALSE(ini.SetValue(L"s", L"", L"v"));
    EXPECT_TRUE(ini.IsEmpty());

    EXPECT_TRUE(ini.SetValue(L"Install", L"language", L"korean"));
    EXPECT_TRUE(ini.SetValue(L"INSTALL", L"Language", L"french"));
    EXPECT_TRUE(ini.SetInt(L"install", L"count", -42));
    EXPECT_EQ(ini.GetValue(L"install", L"LANGUAGE"), L"french");
    EXPECT_EQ(ini.GetValue(L"install", L"count"), L"-42");
    EXPECT_EQ(ini.FindSection(L"install")->size(), 2u);

    // A section created by SetValue is not the default section; only parsing makes one.
    EXPECT_TRUE(ini.SetValue(L"text", L"k", L"v"));
    EXPECT_FALSE(ini.SetValue(nullptr, L"k", L"v"));
    const std::string text = "[TEXT]\nold = 1\n";
    ASSERT_TRUE(ini.LoadMemory(text.data(), text.size()));
    EXPECT_TRUE(ini.SetValue(nullptr, L"new", L"2"));
    EXPECT_EQ(ini.GetValue(L"text", L"new"), L"2");
    EXPECT_EQ(ini.GetValue(L"text", L"k"), L"v");
}

class IniFileOnDisk : public ::testing::Test {
protected:
    TempFolder m_folder;
};

TEST_F(IniFileOnDisk, LoadFileSizesAndFailures)
{
    // Padding makes a file of an exact size: a comment line, then a key.
    auto fileOfSize = [](size_t size) {
        std::string text = "[s]\r\nk = v\r\n;";
        text.resize(size, 'x');
        return text;
    };
    struct {
        const char* what;
        std::string bytes;
        BOOL ok;
        bool hasKey;
    } cases[] = {
        {"empty file", "", TRUE, false},
        {"one byte", "[", FALSE, false},
        {"exactly the largest size", fileOfSize(1000000), TRUE, true},
        {"one byte more", fileOfSize(1000001), FALSE, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(m_folder.Native("f.ini"), c.bytes);
        CIniFile ini;
        const std::string old = "[old]\nk = 1\n";
        ini.LoadMemory(old.data(), old.size());
        EXPECT_EQ(ini.LoadFile(m_folder.Windows("f.ini").c_str()), c.ok);
        // Loading a file always starts from an empty document.
        EXPECT_EQ(ini.FindSection(L"old"), nullptr);
        EXPECT_EQ(ini.GetValue(L"s", L"k") == L"v", c.hasKey);
        if (!c.ok)
            EXPECT_TRUE(ini.IsEmpty());
    }
    CIniFile missing(m_folder.Windows("absent.ini").c_str());
    EXPECT_TRUE(missing.IsEmpty());
    EXPECT_FALSE(missing.LoadFile(m_folder.Windows("absent.ini").c_str()));
}

TEST_F(IniFileOnDisk, SaveWritesTheExactFormat)
{
    CIniFile ini;
    ini.SetValue(L"install", L"language", L"english");
    ASSERT_TRUE(ini.Save(m_folder.Windows("one.ini").c_str()));
    EXPECT_EQ(ReadBytes(m_folder.Native("one.ini")),
              Utf16File(L"[install]\r\nlanguage = english\r\n\r\n"));
    // Only the file itself remains in the folder.
    EXPECT_EQ(m_folder.Names(), std::set<std::string>{"one.ini"});
}

TEST_F(IniFileOnDisk, Utf16AndAnsiFilesRoundTrip)
{
    const std::wstring utf16Text =
        L"[install]\r\nlanguage = \"korean\"\r\nunit\t=\tmph\r\n[text]\r\nIDS_STRING_K_092 = "
        L"\"한국어\"\r\nemoji = \U0001F697 ok\r\n";
    const std::string ansiText =
        "[install]\r\nlanguage = 'korean'\r\nunit = mph ; speed\r\n[text]\r\nIDS_STRING_K_092 = "
        "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\r\nemoji = \xF0\x9F\x9A\x97 ok\r\n";
    const struct {
        const char* encoding;
        std::string bytes;
    } files[] = {{"UTF-16LE", Utf16File(utf16Text)}, {"ANSI", ansiText}};
    for (const auto& [encoding, original] : files) {
        SCOPED_TRACE(encoding);
        WriteBytes(m_folder.Native("in.ini"), original);
        CIniFile first;
        ASSERT_TRUE(first.LoadFile(m_folder.Windows("in.ini").c_str()));
        ASSERT_TRUE(first.Save(m_folder.Windows("out.ini").c_str()));
        // Whatever it was read from, the file is written as UTF-16LE with its mark.
        EXPECT_EQ(ReadBytes(m_folder.Native("out.ini")).substr(0, 2), "\xFF\xFE");

        CIniFile second;
        ASSERT_TRUE(second.LoadFile(m_folder.Windows("out.ini").c_str()));
        EXPECT_EQ(second.GetValue(L"install", L"language"), L"korean");
        EXPECT_EQ(second.GetValue(L"install", L"unit"), L"mph");
        EXPECT_EQ(second.GetValue(nullptr, L"IDS_STRING_K_092"), L"한국어");
        EXPECT_EQ(second.GetValue(L"text", L"emoji"), L"\U0001F697 ok");
        EXPECT_EQ(second.FindSection(L"install")->size(), 2u);
        EXPECT_EQ(second.FindSection(L"text")->size(), 2u);
    }
}

TEST_F(IniFileOnDisk, AFailedSaveKeepsTheOldFileAndSaysSo)
{
    const std::string old = Utf16File(L"[install]\r\nlanguage = french\r\n");
    CIniFile ini;
    // Large enough that its writing cannot fit under the injected size limit.
    for (int i = 0; i < 200; ++i)
        ini.SetInt(L"install", (L"key" + std::to_wstring(i)).c_str(), i);

    struct {
        const char* what;
        const char* target;
        rlim_t sizeLimit;
    } cases[] = {
        {"the disk refuses the data", "tessaly.ini", old.size() + 16},
        {"the folder does not exist", "absent/tessaly.ini", RLIM_INFINITY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(m_folder.Native("tessaly.ini"), old);
        BOOL saved;
        {
            testsupport::FileSizeLimit limit(c.sizeLimit);
            saved = ini.Save(m_folder.Windows(c.target).c_str());
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(ReadBytes(m_folder.Native("tessaly.ini")), old);
        EXPECT_EQ(m_folder.Names(), std::set<std::string>{"tessaly.ini"});
    }
}

TEST_F(IniFileOnDisk, ASaveIntoAReadOnlyFolderFails)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const std::string old = Utf16File(L"[install]\r\nunit = mph\r\n");
    WriteBytes(m_folder.Native("tessaly.ini"), old);
    ASSERT_EQ(chmod(m_folder.Native().c_str(), 0555), 0);
    CIniFile ini;
    ini.SetValue(L"install", L"unit", L"km/h");
    EXPECT_FALSE(ini.Save(m_folder.Windows("tessaly.ini").c_str()));
    chmod(m_folder.Native().c_str(), 0755);
    EXPECT_EQ(ReadBytes(m_folder.Native("tessaly.ini")), old);
}

}  // namespace
