// The map page's script texts, the coordinate conversions, the track text and the area search
// over the page's extent answer.
#include <gtest/gtest.h>

#include <cmath>

#include "app/MapScript.h"

namespace {

CGPSData Fix(double lat, double lon, BOOL valid = TRUE)
{
    CGPSData fix;
    fix.m_dLatitude = lat;
    fix.m_dLongitude = lon;
    fix.m_bValid = valid;
    return fix;
}

RecFileInfo Entry(std::initializer_list<CGPSData> fixes)
{
    RecFileInfo entry;
    for (const CGPSData& fix : fixes)
        entry.m_TextData.m_GPSList.push_back(fix);
    return entry;
}

}  // namespace

TEST(MapScript, ConvertsBetweenNmeaAndDecimalDegreesTowardZero)
{
    struct {
        double nmea;
        double degrees;
    } cases[] = {
        {3723.4500, 37.390833}, {-3351.0000, -33.850000}, {15112.5000, 151.208333},
        {-3345.5000, -33.758333}, {-11830.0000, -118.500000}, {0.0, 0.0}, {-0.5, -0.008333},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(ToDecimalDegrees(c.nmea), c.degrees, 5e-7) << c.nmea;
    EXPECT_NEAR(ToNmeaDegrees(126.9), 12654.0, 1e-6);
    EXPECT_NEAR(ToNmeaDegrees(37.4), 3724.0, 1e-6);
    EXPECT_NEAR(ToNmeaDegrees(-118.5), -11830.0, 1e-6);
}

TEST(MapScript, CallTextsUseSixDecimalsLongitudeFirstAndAnsiBytes)
{
    EXPECT_EQ(MapMoveToScript(ToDecimalDegrees(-11830.0), ToDecimalDegrees(-3345.5)),
              L"MapMoveToAuto('-118.500000','-33.758333',-1)");
    EXPECT_EQ(MapScriptBytes(kMapMoveToOrigin), "MapMoveToAuto('0','0',-1)");
    EXPECT_EQ(MapScriptBytes(L"initialize()"), "initialize()");
    // The code page is UTF-8 here: a non-ASCII character goes out as its bytes.
    EXPECT_EQ(MapScriptBytes(L"x\u00e9"), "x\xc3\xa9");
    EXPECT_EQ(MapScriptBytes(L""), "");
}

TEST(MapScript, TrackTextSkipsRepeatsAndNoReception)
{
    const std::list<CGPSData> fixes = {
        Fix(3723.4500, 12209.0000), Fix(3723.4500, 12209.0000), Fix(0, 0),
        Fix(3723.4600, 12209.0100),
    };
    const std::wstring track = MapTrackText(fixes);
    EXPECT_EQ(AddPolyLineScript(track),
              L"addPolyLine('122.150000,37.390833|122.150167,37.391000',\"red\",4,0.5)");
    EXPECT_EQ(MapTrackText({Fix(-3351.0, 15112.5)}), L"151.208333,-33.850000");
    // Only the last drawn point counts as a repeat.
    EXPECT_EQ(MapTrackText({Fix(100, 200), Fix(100, 300), Fix(100, 200)}),
              L"2.000000,1.000000|3.000000,1.000000|2.000000,1.000000");
    EXPECT_EQ(MapTrackText({Fix(0, 0), Fix(0, 0, FALSE)}), L"");
}

TEST(MapScript, FixOnEquatorOrPrimeMeridianIsKeptWhenValid)
{
    // A valid fix with one coordinate exactly 0 is a real position.
    EXPECT_EQ(MapTrackText({Fix(0.0, 3230.0)}), L"32.500000,0.000000");
    EXPECT_EQ(MapTrackText({Fix(5130.0, 0.0)}), L"0.000000,51.500000");
    // Without the receiver's valid mark it is dropped as no reception.
    EXPECT_EQ(MapTrackText({Fix(0.0, 3230.0, FALSE), Fix(5130.0, 0.0, FALSE)}), L"");
    // Other invalid fixes are drawn as they always were.
    EXPECT_EQ(MapTrackText({Fix(3723.45, 12209.0, FALSE)}), L"122.150000,37.390833");
}

TEST(MapScript, ExtentAnswersAreReadOrRefused)
{
    struct {
        const wchar_t* answer;
        bool ok;
        MapExtent extent;
    } cases[] = {
        {L"126.9,37.6,127.1,37.4", true, {126.9, 37.6, 127.1, 37.4}},
        {L" 126.9 ,37.6,, 127.1,37.4 ,5,6", true, {126.9, 37.6, 127.1, 37.4}},
        {L"-1.5,2,3,-4", true, {-1.5, 2, 3, -4}},
        {L"", false, {}},
        {L"126.9,37.6,127.1", false, {}},
        {L"126.9,,37.6,,127.1,", false, {}},
        {L"126.9,37.6,abc,37.4", false, {}},
        {L"126.9,37.6,127.1x,37.4", false, {}},
        {L"126.9,37.6,nan,37.4", false, {}},
    };
    for (const auto& c : cases) {
        MapExtent extent{9, 9, 9, 9};
        EXPECT_EQ(ParseMapExtent(c.answer, extent), c.ok) << c.answer;
        const MapExtent expected = c.ok ? c.extent : MapExtent{9, 9, 9, 9};
        EXPECT_DOUBLE_EQ(extent.west, expected.west) << c.answer;
        EXPECT_DOUBLE_EQ(extent.north, expected.north) << c.answer;
        EXPECT_DOUBLE_EQ(extent.east, expected.east) << c.answer;
        EXPECT_DOUBLE_EQ(extent.south, expected.south) << c.answer;
    }
}

TEST(MapScript, AreaSearchTakesFixesStrictlyInsideTheExtent)
{
    RecFileMap from;
    from[L"INSIDE"] = Entry({Fix(0, 0), Fix(3730.0, 12700.0)});
    from[L"EDGE"] = Entry({Fix(3724.0, 12700.0)});  // on the south edge
    from[L"OUTSIDE"] = Entry({Fix(3730.0, 12710.0)});
    from[L"NOFIX"] = Entry({});
    MapExtent extent;
    ASSERT_TRUE(ParseMapExtent(L"126.9, 37.6 ,127.1,37.4", extent));
    RecFileMap to;
    FindRecordsInExtent(extent, from, to);
    ASSERT_EQ(to.size(), 1u);
    EXPECT_EQ(to.begin()->first, L"INSIDE");
}

TEST(MapScript, AreaSearchAcrossTheAntimeridian)
{
    RecFileMap from;
    from[L"EAST"] = Entry({Fix(-1700.0, 17930.0)});    // 179.5 E, Fiji
    from[L"WEST"] = Entry({Fix(-1700.0, -17930.0)});   // 179.5 W
    from[L"FAR"] = Entry({Fix(-1700.0, 17000.0)});     // 170 E, west of the area
    from[L"GREENWICH"] = Entry({Fix(-1700.0, 30.0)});  // nowhere near
    struct {
        MapExtent extent;
        std::vector<std::wstring> found;
    } cases[] = {
        // West edge east of the east edge, as a page in -180..180 answers.
        {{178.0, -16.0, -178.0, -18.0}, {L"EAST", L"WEST"}},
        // The same area with the east edge beyond 180.
        {{178.0, -16.0, 182.0, -18.0}, {L"EAST", L"WEST"}},
        // And with the west edge below -180.
        {{-182.0, -16.0, -178.0, -18.0}, {L"EAST", L"WEST"}},
        // An area wider than the globe takes every longitude.
        {{-300.0, -16.0, 300.0, -18.0}, {L"EAST", L"FAR", L"GREENWICH", L"WEST"}},
        // An ordinary area still works.
        {{169.0, -16.0, 171.0, -18.0}, {L"FAR"}},
    };
    for (const auto& c : cases) {
        RecFileMap to;
        FindRecordsInExtent(c.extent, from, to);
        std::vector<std::wstring> keys;
        for (const auto& [key, entry] : to)
            keys.push_back(key);
        EXPECT_EQ(keys, c.found) << c.extent.west << ".." << c.extent.east;
    }
}
