// The device record read from a card's settings files, its variants and garbage; the search
// among removable drives; the capacity; the settings program's path; the launcher record.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstring>

#include "app/DeviceData.h"
#include "card_support.h"

using namespace cardtest;

namespace {

std::string Bytes(const void* data, size_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

TEST(DeviceRecord, SetupCfgVariantsAndGarbage)
{
    Drive drive("setupcfg");
    std::string fullModel(32, 'M');  // no zero inside the model field
    std::string pastModel = DeviceRecord("");
    pastModel.replace(8, 32, fullModel);
    pastModel[41] = '(';  // a "(" in the firmware field is not the model's
    struct {
        const char* what;
        std::string bytes;
        std::string model, firmware, micom, program;
        int32_t localId;
    } cases[] = {
        {"record", DeviceRecord("Q914", 45), "Q914", "1.05.002", "MC1.20", "SETTING/KvSetup.exe", 45},
        {"model cut at (", DeviceRecord("Q914 (A)"), "Q914 ", "1.05.002", "MC1.20",
         "SETTING/KvSetup.exe", 0},
        {"empty file", "", "", "", "", "", 0},
        {"short file", DeviceRecord("R208").substr(0, 30), "R208", "", "", "", 0},
        {"10 KB without a zero", std::string(10240, 'A'), std::string(32, 'A'), std::string(184, 'A'),
         std::string(104, 'A'), std::string(128, 'A'), 0x41414141},
        {"full model field", pastModel, fullModel, "1(05.002", "MC1.20", "SETTING/KvSetup.exe", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(drive.Folder() / "setting" / "setup.cfg", c.bytes);
        auto record = ReadSetupCfg(drive.Root());
        ASSERT_TRUE(record);
        EXPECT_EQ(FieldText(record->szModel), c.model);
        EXPECT_EQ(FieldText(record->szFirmware), c.firmware);
        EXPECT_EQ(FieldText(record->szMicomVersion), c.micom);
        EXPECT_EQ(FieldText(record->szSettingProgram), c.program);
        EXPECT_EQ(record->nLocalId, c.localId);
        // Whatever the file held beyond the record stays out of it.
        std::string expected = c.bytes.substr(0, 764);
        expected.resize(764, '\0');
        std::string got = Bytes(record.get(), sizeof(BlackBoxData));
        EXPECT_EQ(got.substr(460), expected.substr(460));
    }
    // The safety-camera bytes are kept as they lie.
    WriteFile(drive.Folder() / "setting" / "setup.cfg", DeviceRecord("Q914"));
    auto record = ReadSetupCfg(drive.Root());
    ASSERT_TRUE(record);
    EXPECT_EQ(Bytes(record->safetyCamVersion, 4), std::string("\x07\x03\x01\x02", 4));

    // A folder of that name is no record.
    std::filesystem::remove(drive.Folder() / "setting" / "setup.cfg");
    std::filesystem::create_directories(drive.Folder() / "setting" / "setup.cfg");
    EXPECT_FALSE(ReadSetupCfg(drive.Root()));
}

TEST(DeviceRecord, BlackboxCfgKeysDefaultsAndLimits)
{
    Drive drive("blackboxcfg");
    struct {
        const char* what;
        std::string text;
        std::string model, firmware;
    } cases[] = {
        {"keys", "[blackbox]\r\nversion=1.05.002\r\nmodel=R208\r\n", "R208", "1.05.002"},
        {"no keys", "[blackbox]\r\n", "0", "0"},
        {"other section", "[camera]\r\nversion=9\r\nmodel=X\r\n", "0", "0"},
        {"long values", "[blackbox]\nversion=0123456789ABC\nmodel=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n",
         "ABCDEFGHIJKLMN", "012345678"},
        {"garbage", std::string(10240, '\x01'), "0", "0"},
        {"empty", "", "0", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(drive.Folder() / "SETTING" / "blackbox.cfg", c.text);
        auto record = ReadBlackboxCfg(drive.Root());
        ASSERT_TRUE(record);
        EXPECT_EQ(FieldText(record->szModel), c.model);
        EXPECT_EQ(FieldText(record->szFirmware), c.firmware);
        EXPECT_EQ(FieldText(record->szSettingProgram), "SETTING\\R208_Setting.exe");
        EXPECT_EQ(FieldText(record->szMicomVersion), "");
        EXPECT_EQ(record->nLocalId, 0);
    }
    std::filesystem::remove_all(drive.Folder() / "SETTING");
    EXPECT_FALSE(ReadBlackboxCfg(drive.Root()));
}

TEST(DeviceRecord, SearchTakesTheFirstDriveWithAFileAndSetupCfgFirst)
{
    EXPECT_EQ(SearchCameraCard().kind, CardKind::None);
    Drive empty("nocard");
    Drive old("oldcard");
    WriteFile(old.Folder() / "setting" / "blackbox.cfg", "[blackbox]\r\nmodel=R208\r\n");
    CameraCard card = SearchCameraCard();
    EXPECT_EQ(card.kind, CardKind::BlackboxCfg);
    EXPECT_EQ(card.drive, old.Root());
    ASSERT_TRUE(card.record);
    EXPECT_EQ(FieldText(card.record->szModel), "R208");

    WriteFile(old.Folder() / "setting" / "setup.cfg", DeviceRecord("Q914"));
    card = SearchCameraCard();
    EXPECT_EQ(card.kind, CardKind::SetupCfg);
    EXPECT_EQ(FieldText(card.record->szModel), "Q914");

    old.Eject();
    EXPECT_EQ(SearchCameraCard().kind, CardKind::None);
}

TEST(DeviceRecord, CapacityIsTheCardsOwnWhateverItsSize)
{
    Drive drive("capacity");
    struct statvfs vfs;
    ASSERT_EQ(statvfs(drive.Folder().c_str(), &vfs), 0);
    ULONGLONG expected = (ULONGLONG(vfs.f_frsize) * vfs.f_blocks) >> 20;
    // The layer reports clusters in 32 bits: allow for its rounding of very large volumes.
    ULONGLONG got = CardCapacityMB(drive.Root());
    EXPECT_NEAR(double(got), double(expected), double(expected) / 100 + 1);
    EXPECT_EQ(CardCapacityMB(L"Q:\\"), 0u);
    EXPECT_NEAR(CapacityGB(31000), 30.27, 0.005);
    EXPECT_FLOAT_EQ(CapacityGB(512), 0.5f);  // a small card is not left with another's size
}

TEST(DeviceRecord, SettingsProgramOnlyInsideTheCard)
{
    Drive drive("program");
    WriteFile(drive.Folder() / "setting" / "KvSetup.exe", "#!/bin/sh\n");
    WriteFile(drive.Folder().parent_path() / "outside.exe", "#!/bin/sh\n");
    std::filesystem::create_directories(drive.Folder() / "tools" / "folder.exe");
    std::filesystem::create_symlink(drive.Folder().parent_path() / "outside.exe",
                                    drive.Folder() / "link.exe");
    std::string outside = (drive.Folder().parent_path() / "outside.exe").string();
    struct {
        std::string program;
        std::wstring expected;  // relative to the root; empty: refused
    } cases[] = {
        {"SETTING/KvSetup.exe", L"SETTING\\KvSetup.exe"},
        {"setting\\KvSetup.exe", L"setting\\KvSetup.exe"},
        {"SETTING/missing.exe", L""},
        {"tools/folder.exe", L""},
        {"../" + drive.Folder().filename().string() + "/setting/KvSetup.exe", L""},
        {"SETTING/../../outside.exe", L""},
        {"./SETTING/KvSetup.exe", L""},
        {"/SETTING/KvSetup.exe", L""},
        {"C:" + outside, L""},
        {"link.exe", L""},
        {"", L""},
        {std::string(128, 'A'), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        BlackBoxData record;
        std::memset(&record, 0, sizeof record);
        std::memcpy(record.szSettingProgram, c.program.data(),
                    std::min(c.program.size(), sizeof record.szSettingProgram));
        std::wstring expected = c.expected.empty() ? L"" : drive.Root() + c.expected;
        EXPECT_EQ(ResolveSettingsProgram(drive.Root(), record), expected);
    }
    std::filesystem::remove(drive.Folder().parent_path() / "outside.exe");
}

TEST(DeviceRecord, LauncherRecordBytes)
{
    LauncherInfo none = MakeLauncherInfo(nullptr, L"E:\\");
    EXPECT_EQ(Bytes(&none, sizeof none), std::string(36, '\0'));

    std::string bytes = DeviceRecord("Q914-LONG-MODEL-NAME-BEYOND");
    BlackBoxData record;
    std::memcpy(&record, bytes.data(), sizeof record);
    LauncherInfo info = MakeLauncherInfo(&record, L"E:\\");
    std::string expected = bytes.substr(40, 10) + bytes.substr(8, 16) + std::string("E:\\") +
                           std::string(7, '\0');
    EXPECT_EQ(Bytes(&info, sizeof info), expected);
}

}  // namespace
