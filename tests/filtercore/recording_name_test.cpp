// Recording names: parsing, composing, and the search for a recording's partner.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "filtercore/FindPartnerRecording.h"
#include "filtercore/RecordingName.h"
#include "platform/kernel.h"

using FilterCore::FindPartnerRecording;
using FilterCore::RecordingName;

namespace fs = std::filesystem;

TEST(RecordingName, ParsesTheCameraFormat)
{
    struct {
        const wchar_t* path;
        bool parses;
        const wchar_t* folder;
        const wchar_t* prefix;
        int year, month, day, hour, minute, second;  // as written in the name
        int channel;
        const wchar_t* extension;
    } cases[] = {
        {L"E:\\cont_rec\\REC_2018_09_10_12_30_45_F.mp4", true, L"E:\\cont_rec", L"REC", 2018, 9,
         10, 12, 30, 45, 0, L"mp4"},
        {L"E:\\cont_rec\\REC_2018_09_10_12_30_45_R.mp4", true, L"E:\\cont_rec", L"REC", 2018, 9,
         10, 12, 30, 45, 1, L"mp4"},
        // Any letter but F is the rear camera.
        {L"E:\\evt\\EVT_2018_09_10_12_30_45_X.avi", true, L"E:\\evt", L"EVT", 2018, 9, 10, 12, 30,
         45, 1, L"avi"},
        {L"REC_2020_01_02_03_04_05_F.mp4", true, L"", L"REC", 2020, 1, 2, 3, 4, 5, 0, L"mp4"},
        // The scan reads the extension up to white space.
        {L"D:\\REC_2020_01_02_03_04_05_F.mp4 copy", true, L"D:", L"REC", 2020, 1, 2, 3, 4, 5, 0,
         L"mp4"},
        // Nineteen characters of extension are the most a name holds.
        {L"REC_2020_01_02_03_04_05_F.abcdefghijklmnopqrs", true, L"", L"REC", 2020, 1, 2, 3, 4, 5,
         0, L"abcdefghijklmnopqrs"},
        // Without a prefix the year is taken for one, and the rest does not parse.
        {L"E:\\2018_09_10_12_30_45_F.mp4", false, L"E:", L"2018", 0, 0, 0, 0, 0, 0, -1, nullptr},
        // The scan stops after the year.
        {L"E:\\Rec_20180910_123045_F.mp4", false, L"E:", L"Rec", 0, 0, 0, 0, 0, 0, -1, nullptr},
        {L"E:\\REC_2018_09_10_12_30_45_F", false, L"E:", L"REC", 0, 0, 0, 0, 0, 0, -1, nullptr},
        {L"", false, L"", L"", 0, 0, 0, 0, 0, 0, -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << platform::WideToAnsi(c.path));
        RecordingName name;
        EXPECT_EQ(name.Parse(c.path), c.parses);
        EXPECT_EQ(name.folder, c.folder);
        EXPECT_EQ(name.prefix, c.prefix);
        if (!c.parses) continue;
        EXPECT_EQ(name.time.tm_year, c.year - 1900);
        EXPECT_EQ(name.time.tm_mon, c.month - 1);
        EXPECT_EQ(name.time.tm_mday, c.day);
        EXPECT_EQ(name.time.tm_hour, c.hour);
        EXPECT_EQ(name.time.tm_min, c.minute);
        EXPECT_EQ(name.time.tm_sec, c.second);
        EXPECT_EQ(name.time.tm_isdst, -1);
        EXPECT_EQ(name.channel, c.channel);
        EXPECT_EQ(name.extension, c.extension);
    }
}

TEST(RecordingName, LongExtensionIsRefusedWithoutOverflow)
{
    RecordingName name;
    std::wstring path = L"E:\\REC_2020_01_02_03_04_05_F." + std::wstring(300, L'x');
    EXPECT_FALSE(name.Parse(path));
    EXPECT_LE(name.extension.size(), static_cast<size_t>(RecordingName::kMaxExtension));
    EXPECT_FALSE(name.Parse(L"E:\\REC_2020_01_02_03_04_05_F.abcdefghijklmnopqrst"));
}

TEST(RecordingName, ComposesWhatItParsedAndFlipsTheChannel)
{
    for (const wchar_t* path :
         {L"E:\\cont_rec\\REC_2018_09_10_12_30_45_F.mp4", L"REC_2020_01_02_03_04_05_R.avi",
          L"C:\\a\\b\\EVT_1999_12_31_23_59_59_F.mp4"}) {
        RecordingName name;
        ASSERT_TRUE(name.Parse(path));
        std::wstring composed;
        EXPECT_EQ(name.Compose(composed), 1);
        EXPECT_EQ(composed, path);
    }

    RecordingName name;
    ASSERT_TRUE(name.Parse(L"E:\\evt\\EVT_2018_09_10_12_30_45_X.mp4"));
    name.channel = FilterCore::RECORDING_FRONT;
    std::wstring composed;
    name.Compose(composed);
    EXPECT_EQ(composed, L"E:\\evt\\EVT_2018_09_10_12_30_45_F.mp4");

    RecordingName fresh;
    fresh.extension = L"mp4";
    fresh.time.tm_year = 126;
    fresh.time.tm_mon = 4;
    fresh.time.tm_mday = 14;
    fresh.channel = FilterCore::RECORDING_REAR;
    fresh.Compose(composed);
    EXPECT_EQ(composed, L"REC_2026_05_14_00_00_00_R.mp4");
}

namespace {

// A folder of empty files named as recordings, seen by the code as a Windows path.
class PartnerFolder : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        char pattern[] = "/tmp/filtercore-partner-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_native = pattern;
        m_folder = platform::ToWindowsPath(m_native);
    }
    void TearDown() override { fs::remove_all(m_native); }

    void Touch(const std::string& name) { std::ofstream(m_native + "/" + name).put('x'); }
    std::wstring Path(const std::string& name) const
    {
        return m_folder + L"\\" + platform::AnsiToWide(name);
    }

    std::string m_native;
    std::wstring m_folder;
};

}  // namespace

TEST_F(PartnerFolder, ExactPartnerOfEitherChannel)
{
    Touch("REC_2018_09_10_12_30_45_F.mp4");
    Touch("REC_2018_09_10_12_30_45_R.mp4");
    Touch("REC_2018_09_10_12_31_45_F.mp4");

    std::wstring partner;
    int isRear = -1;
    ASSERT_TRUE(FindPartnerRecording(Path("REC_2018_09_10_12_30_45_F.mp4"), &partner, &isRear, 0));
    EXPECT_EQ(partner, Path("REC_2018_09_10_12_30_45_R.mp4"));
    EXPECT_EQ(isRear, 0);

    ASSERT_TRUE(FindPartnerRecording(Path("REC_2018_09_10_12_30_45_R.mp4"), &partner, &isRear, 0));
    EXPECT_EQ(partner, Path("REC_2018_09_10_12_30_45_F.mp4"));
    EXPECT_EQ(isRear, 1);

    // A missing partner still reports the given file's channel.
    partner = L"unchanged";
    EXPECT_FALSE(FindPartnerRecording(Path("REC_2018_09_10_12_31_45_F.mp4"), &partner, &isRear, 0));
    EXPECT_EQ(isRear, 0);
    EXPECT_EQ(partner, L"unchanged");

    isRear = -1;
    EXPECT_FALSE(FindPartnerRecording(Path("holiday.mp4"), &partner, &isRear, 0));
    EXPECT_EQ(isRear, 0);
}

TEST_F(PartnerFolder, ToleranceChoosesTheNearestOtherChannel)
{
    Touch("REC_2018_09_10_12_30_45_F.mp4");
    Touch("REC_2018_09_10_12_30_43_R.mp4");
    Touch("REC_2018_09_10_12_30_48_R.mp4");
    Touch("REC_2018_09_10_12_29_45_R.mp4");
    Touch("REC_2018_09_10_12_30_44_F.mp4");  // the same channel is never a partner
    fs::create_directory(m_native + "/REC_2018_09_10_12_30_46_R.mp4");  // nor a folder

    struct {
        int tolerance;
        bool found;
        const char* partner;
    } cases[] = {
        {5, true, "REC_2018_09_10_12_30_43_R.mp4"},
        {2, true, "REC_2018_09_10_12_30_43_R.mp4"},
        {1, false, nullptr},
        {0, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "tolerance " << c.tolerance);
        std::wstring partner;
        int isRear = -1;
        EXPECT_EQ(FindPartnerRecording(Path("REC_2018_09_10_12_30_45_F.mp4"), &partner, &isRear,
                                       c.tolerance),
                  c.found);
        if (c.found) EXPECT_EQ(partner, Path(c.partner));
        EXPECT_EQ(isRear, 0);
    }

    // From the rear side, a front of another prefix counts as well.
    Touch("EVT_2018_09_10_12_29_47_F.mp4");
    std::wstring partner;
    int isRear = 0;
    ASSERT_TRUE(FindPartnerRecording(Path("REC_2018_09_10_12_29_45_R.mp4"), &partner, &isRear, 3));
    EXPECT_EQ(partner, Path("EVT_2018_09_10_12_29_47_F.mp4"));
    EXPECT_EQ(isRear, 1);
}

TEST_F(PartnerFolder, ToleranceWithoutRecordingsOrFolder)
{
    std::wstring partner;
    int isRear = 0;
    Touch("REC_2018_09_10_12_30_45_F.avi");
    Touch("REC_2018_09_10_12_30_46_R.avi");  // only ".mp4" files are candidates
    EXPECT_FALSE(FindPartnerRecording(Path("REC_2018_09_10_12_30_45_F.avi"), &partner, &isRear, 5));

    // A bare name is searched for in the current folder and comes back bare.
    Touch("REC_2018_09_10_12_30_47_R.mp4");
    std::string previous = fs::current_path().string();
    ASSERT_EQ(chdir(m_native.c_str()), 0);
    bool found = FindPartnerRecording(L"REC_2018_09_10_12_30_45_F.mp4", &partner, &isRear, 5);
    ASSERT_EQ(chdir(previous.c_str()), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(partner, L"REC_2018_09_10_12_30_47_R.mp4");
}
