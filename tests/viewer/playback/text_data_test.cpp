// The telemetry line grammar and the byte records: tables of lines and the records they give,
// RMC sentences field by field, and the damaged inputs that once read outside their text.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "playback/AviTelemetry.h"
#include "playback/TextData.h"

namespace {

struct XYZ {
    int x, y, z;
    bool operator==(const XYZ&) const = default;
};

std::vector<XYZ> Samples(const CTextData& data)
{
    std::vector<XYZ> out;
    for (const CGSensorData& s : data.m_GSensorList) {
        out.push_back({s.m_nX, s.m_nY, s.m_nZ});
        EXPECT_EQ(s.m_nT, 0);
    }
    return out;
}

// A line as the extraction hands it over: bytes in the system code page as wide text.
std::wstring Line(const std::string& bytes)
{
    return platform::AnsiToWide(bytes);
}

const char* const kSentence = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

TEST(TelemetryLine, EachFormGivesItsRecords)
{
    struct Case {
        std::string line;
        std::vector<XYZ> samples;
        size_t carParts;
        size_t fixes;
    };
    const std::string car = "CAR,50,2100,3,12.5,0,1,0,1,0,0,D,13.9";
    const Case cases[] = {
        {"gsensor,12,-7,130", {{12, -7, 130}}, 0, 0},
        {"gsensor, 12 ,\t-7 , 130 ", {{12, -7, 130}}, 0, 0},
        {"gsensor,1", {{1, 0, 0}}, 0, 0},
        {"gsensor,4,5,6,GPRMC,123519,A", {{4, 5, 6}}, 0, 0},
        {"gsensori,16,256,32,-600,8", {{256, -512, 64}}, 0, 0},
        {"gsensori,16,8,1,2,3", {{0, 0, 0}}, 0, 0},
        // No divisor (token 1 is 0): a zero sample.
        {"gsensori,0,256,1,2,3", {{0, 0, 0}}, 0, 0},
        // Values whose product with 128 leaves the int range, and a divisor beyond it.
        {"gsensori,1,256,2147483647,-2147483648,100", {{512, -512, 50}}, 0, 0},
        {"gsensori,-1,-2147483648,2147483647,-5,0", {{127, 0, 0}}, 0, 0},
        {"gsensori,1,256,256,-256,512," + car + "," + kSentence, {{128, -128, 256}}, 1, 1},
        {"gsensori,1,256,1,2,3,GNRMC,123519,A", {{0, 1, 1}}, 0, 1},
        {"gsensori,1,256,1,2,3,CAR", {{0, 1, 1}}, 1, 0},
        {kSentence, {}, 0, 1},
        {"GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394", {}, 0, 1},
        {std::string("$") + kSentence, {}, 0, 0},
        {"G$GPRMC,123519,A", {}, 0, 0},
        {"GSENSOR,1,2,3", {}, 0, 0},
        // A name alone, without a comma, is no record.
        {"gsensor", {}, 0, 0},
        {"gsensori", {}, 0, 0},
        {"GPRMC", {}, 0, 0},
        {"gsensor,", {{0, 0, 0}}, 0, 0},
        {"", {}, 0, 0},
        {"no commas here", {}, 0, 0},
        {"M\x80\x81\x7F\x01\x01\x01", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CTextData data;
        data.ParseLine(Line(c.line));
        EXPECT_EQ(Samples(data), c.samples);
        EXPECT_EQ(data.m_CarInfoList.size(), c.carParts);
        EXPECT_EQ(data.m_GPSList.size(), c.fixes);
    }
}

TEST(TelemetryLine, IntegratedLineCarriesTheCarPartAndTheFix)
{
    CTextData data;
    data.ParseLine(
        L"gsensori,1,256,256,-256,512,CAR,50,2100,3,12.5,0,1,0,1,0,0,D,13.9,"
        L"GPRMC,233000.00,A,3733.0700,N,12659.2900,E,20.00,70.00,130526,,,A*6F");
    ASSERT_EQ(data.m_CarInfoList.size(), 1u);
    const CCarInfoData& car = data.m_CarInfoList.front();
    EXPECT_EQ(car.m_nToken1, 50);
    EXPECT_EQ(car.m_nToken2, 2100);
    EXPECT_EQ(car.m_nToken3, 3);
    EXPECT_FLOAT_EQ(car.m_fToken4, 12.5f);
    EXPECT_EQ(car.m_cToken11, L'D');
    EXPECT_FLOAT_EQ(car.m_fToken12, 13.9f);
    EXPECT_TRUE(car.m_bValid);
    ASSERT_EQ(data.m_GPSList.size(), 1u);
    const CGPSData& fix = data.m_GPSList.front();
    EXPECT_EQ(fix.m_nHour, 23);
    EXPECT_EQ(fix.m_nDay, 13);
    EXPECT_EQ(fix.m_nYear, 26);
    EXPECT_DOUBLE_EQ(fix.m_dLatitude, 3733.07);
    EXPECT_DOUBLE_EQ(fix.m_dLongitude, 12659.29);
    EXPECT_TRUE(fix.m_bValid);
}

TEST(TelemetryLine, CarPartFieldsAndValidity)
{
    struct Case {
        const wchar_t* part;
        int token1, token2, token3, token6;
        WCHAR character;
        BOOL valid;
    };
    const Case cases[] = {
        {L"CAR,50,2100,3,12.5,0,1,0,1,0,0,D,13.9", 50, 2100, 3, 1, L'D', TRUE},
        // Tokens 1 to 3 do not count for validity.
        {L"CAR,1,2,3,0,0,0,0,0,0,0,0,0", 1, 2, 3, 0, L'0', FALSE},
        {L"CAR,1,2,3,0,0,0,0,0,0,0,N,0", 1, 2, 3, 0, L'N', TRUE},
        {L"CAR,1,2,3,0,0,0,0,0,0,0,,0", 1, 2, 3, 0, L'0', FALSE},
        // Missing tokens keep the new record's zeros and its "0".
        {L"CAR,1,2", 1, 2, 0, 0, L'0', FALSE},
        {L"CAR", 0, 0, 0, 0, L'0', FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToAnsi(c.part));
        CCarInfoData car;
        car.Parse(c.part);
        EXPECT_EQ(car.m_nToken1, c.token1);
        EXPECT_EQ(car.m_nToken2, c.token2);
        EXPECT_EQ(car.m_nToken3, c.token3);
        EXPECT_EQ(car.m_nToken6, c.token6);
        EXPECT_EQ(car.m_cToken11, c.character);
        EXPECT_EQ(car.m_bValid, c.valid);
    }
}

TEST(RmcSentence, FieldsOfCompleteAndDamagedSentences)
{
    struct Case {
        std::string sentence;
        bool complete;
        BOOL valid;
        int hour, minute, second;
        double latitude, longitude;
        int day, month, year;
    };
    const std::string longTail(2000, 'x');
    const Case cases[] = {
        {kSentence, true, TRUE, 12, 35, 19, 4807.038, 1131.0, 23, 3, 94},
        {"GPRMC,123519,A,4807.038,S,01131.000,W,022.4,084.4,230394", true, TRUE, 12, 35, 19,
         -4807.038, -1131.0, 23, 3, 94},
        {"GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394", true, FALSE, 12, 35, 19,
         4807.038, 1131.0, 23, 3, 94},
        // Leading commas are skipped once; empty tokens keep their places.
        {",,GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394", true, TRUE, 12, 35, 19,
         4807.038, 1131.0, 23, 3, 94},
        {"GPRMC,,A,,N,,E,,,230394", true, TRUE, 0, 0, 0, 0, 0, 23, 3, 94},
        // Cut short: what was read stays, but status A does not make it a fix.
        {"GPRMC,123519,A,4807.038,N", false, FALSE, 12, 35, 19, 4807.038, 0, 0, 0, 0},
        {"GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,", false, FALSE, 12, 35, 19, 4807.038,
         1131.0, 0, 0, 0},
        {std::string("GPRMC,123519,A\0,4807.038,N,01131.000,E,1,1,230394", 48), false, FALSE, 12,
         35, 19, 0, 0, 0, 0, 0},
        {"GPRMC", false, FALSE, 0, 0, 0, 0, 0, 0, 0, 0},
        {"", false, FALSE, 0, 0, 0, 0, 0, 0, 0, 0},
        // Short time and date tokens give only their own digits.
        {"GPRMC,1,A,4807.038,N,01131.000,E,022.4,084.4,2303", true, TRUE, 1, 0, 0, 4807.038, 1131.0,
         23, 3, 0},
        {"GPRMC,12351,A,1,N,1,E,1,1,2", true, TRUE, 12, 35, 1, 1, 1, 2, 0, 0},
        // A sentence longer than 1023 bytes is read up to there.
        {std::string(kSentence) + "," + longTail, true, TRUE, 12, 35, 19, 4807.038, 1131.0, 23, 3,
         94},
        {"GPRMC," + std::string(1100, '1') + ",A,1,N,1,E,1,1,230394", false, FALSE, 11, 11, 11, 0,
         0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence.substr(0, 80));
        CGPSData fix;
        EXPECT_EQ(fix.ParseRMC(c.sentence), c.complete);
        EXPECT_EQ(fix.m_bValid, c.valid);
        EXPECT_EQ(fix.m_nHour, c.hour);
        EXPECT_EQ(fix.m_nMinute, c.minute);
        EXPECT_EQ(fix.m_nSecond, c.second);
        EXPECT_DOUBLE_EQ(fix.m_dLatitude, c.latitude);
        EXPECT_DOUBLE_EQ(fix.m_dLongitude, c.longitude);
        EXPECT_EQ(fix.m_nDay, c.day);
        EXPECT_EQ(fix.m_nMonth, c.month);
        EXPECT_EQ(fix.m_nYear, c.year);
    }
}

TEST(RmcSentence, SpeedAndCourseAreSinglePrecision)
{
    CGPSData fix;
    ASSERT_TRUE(fix.ParseRMC(kSentence));
    EXPECT_EQ(fix.m_dSpeed, static_cast<double>(static_cast<float>(22.4f * 1.852)));
    EXPECT_NEAR(fix.m_dSpeed, 41.48, 0.005);
    EXPECT_EQ(fix.m_dCourse, static_cast<double>(84.4f));
}

// Sentences parsed one after another share nothing: a short token after a long sentence reads
// no digit of the earlier one.
TEST(RmcSentence, SentencesDoNotSeeEachOther)
{
    CTextData data;
    data.ParseLine(Line(kSentence));
    data.ParseLine(L"GPRMC,1,A,0,N,0,E,0,0,2");
    ASSERT_EQ(data.m_GPSList.size(), 2u);
    const CGPSData& second = data.m_GPSList.back();
    EXPECT_EQ(second.m_nHour, 1);
    EXPECT_EQ(second.m_nMinute, 0);
    EXPECT_EQ(second.m_nSecond, 0);
    EXPECT_EQ(second.m_nDay, 2);
    EXPECT_EQ(second.m_nMonth, 0);
}

TEST(TelemetryNewLine, SentencesAndByteSamples)
{
    struct Case {
        std::string bytes;
        std::vector<XYZ> samples;
        size_t fixes;
    };
    const Case cases[] = {
        {"G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394", {}, 1},
        {"G$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394", {}, 1},
        {"M\x80\x81\x7F\x01\x01\x01", {{0, 10, -10}}, 0},
        {"M\x01\xFF\x80\x01\x01\x01", {{-1270, 1270, 0}}, 0},
        {"M\x80\x81\x7F\x01\x01\x01trailing", {{0, 10, -10}}, 0},
        {"M\x80\x81\x7F\x01\x01\x02", {}, 0},
        {"M\x80\x81\x7F\x01\x01", {}, 0},
        {"m\x80\x81\x7F\x01\x01\x01", {}, 0},
        {"gsensor,1,2,3", {}, 0},
        {kSentence, {}, 0},
        {"$GPRMC,123519,A", {}, 0},
        {"", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        CTextData data;
        data.ParseNewLine(Line(c.bytes));
        EXPECT_EQ(Samples(data), c.samples);
        EXPECT_EQ(data.m_GPSList.size(), c.fixes);
        EXPECT_TRUE(data.m_CarInfoList.empty());
    }
    CTextData data;
    data.ParseNewLine(L"G$GPRMC,123519,A,4807.038,S,01131.000,E,022.4,084.4,230394");
    ASSERT_EQ(data.m_GPSList.size(), 1u);
    EXPECT_DOUBLE_EQ(data.m_GPSList.front().m_dLatitude, -4807.038);
    EXPECT_EQ(data.m_GPSList.front().m_nYear, 94);
}

TEST(TelemetryPairText, ValuesAreZYXThenTheSentence)
{
    CTextData data;
    data.AddGPSPair(L"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394", L"130, -7 ,12 ");
    EXPECT_EQ(Samples(data), (std::vector<XYZ>{{12, -7, 130}}));
    ASSERT_EQ(data.m_GPSList.size(), 1u);
    EXPECT_EQ(data.m_GPSList.front().m_nHour, 12);
    EXPECT_TRUE(data.m_GPSList.front().m_bValid);
    // Values are not limited.
    data.AddGPSPair(L"", L"-4000,0,9000");
    EXPECT_EQ(Samples(data).back(), (XYZ{9000, 0, -4000}));
    EXPECT_EQ(data.m_GPSList.size(), 2u);
    EXPECT_FALSE(data.m_GPSList.back().m_bValid);
}

// Sets TZ for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old, m_had = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

TelemetrySample Record(DWORD seconds, float latitude, float longitude, float knots)
{
    TelemetrySample s{};
    s.dwMagic = TelemetrySample::kMagic;
    s.dwFormat = TelemetrySample::kFormat;
    s.dwSeconds = seconds;
    s.fLatitude = latitude;
    s.fLongitude = longitude;
    s.fSpeed = knots;
    return s;
}

TEST(TelemetryRecord, FixTimeIsLocalAndValuesAreKept)
{
    struct Case {
        const char* zone;
        DWORD seconds;
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {"UTC0", 0, 70, 1, 1, 0, 0, 0},
        {"KST-9", 1778711400, 26, 5, 14, 7, 30, 0},
        {"XST+5", 0, 69, 12, 31, 19, 0, 0},
        {"UTC0", 4294967295u, 6, 2, 7, 6, 28, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        CTextData data;
        TelemetrySample record = Record(c.seconds, 3733.07f, -12659.29f, 10.0f);
        data.AddGPSSample(&record);
        ASSERT_EQ(data.m_GPSList.size(), 1u);
        const CGPSData& fix = data.m_GPSList.front();
        EXPECT_EQ(fix.m_nYear, c.year);
        EXPECT_EQ(fix.m_nMonth, c.month);
        EXPECT_EQ(fix.m_nDay, c.day);
        EXPECT_EQ(fix.m_nHour, c.hour);
        EXPECT_EQ(fix.m_nMinute, c.minute);
        EXPECT_EQ(fix.m_nSecond, c.second);
        EXPECT_EQ(fix.m_dLatitude, static_cast<double>(3733.07f));
        EXPECT_EQ(fix.m_dLongitude, static_cast<double>(-12659.29f));
        EXPECT_DOUBLE_EQ(fix.m_dSpeed, 18.52);
        EXPECT_EQ(fix.m_dCourse, 0.0);
        EXPECT_TRUE(fix.m_bValid);
        EXPECT_TRUE(data.m_GSensorList.empty());
    }
    CTextData data;
    TelemetrySample still = Record(100, 0, 0, 0);
    data.AddGPSSample(&still);
    EXPECT_FALSE(data.m_GPSList.front().m_bValid);
    TelemetrySample moving = Record(100, 0, 0, 0.5f);
    data.AddGPSSample(&moving);
    EXPECT_TRUE(data.m_GPSList.back().m_bValid);
}

TEST(TelemetryRecord, ReadingsAreScaledAndTruncated)
{
    struct Case {
        float x, y, z;
        XYZ expected;
    };
    const Case cases[] = {
        {1.0f, -0.5f, 0.00390625f, {128, -64, 0}},
        {2.999f, -2.999f, 20.0f, {383, -383, 2560}},
        {1e30f, -1e30f, std::nanf(""), {INT_MAX, INT_MIN, 0}},
        {INFINITY, -INFINITY, 0.0f, {INT_MAX, INT_MIN, 0}},
    };
    for (const Case& c : cases) {
        TelemetrySample record{};
        record.fGSensorX = c.x;
        record.fGSensorY = c.y;
        record.fGSensorZ = c.z;
        CTextData data;
        data.AddGSensorSample(&record);
        EXPECT_EQ(Samples(data), std::vector<XYZ>{c.expected});
        EXPECT_TRUE(data.m_GPSList.empty());
    }
}

TEST(TextData, CopiesHoldTheirOwnLists)
{
    CTextData original;
    original.ParseLine(L"gsensor,1,2,3");
    CTextData copy = original;
    copy.ParseLine(L"gsensor,4,5,6");
    EXPECT_EQ(original.m_GSensorList.size(), 1u);
    EXPECT_EQ(copy.m_GSensorList.size(), 2u);
}

}  // namespace
