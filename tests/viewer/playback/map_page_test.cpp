// The two map pages in the real host, driven with the viewer's script calls: the track and the
// position marker in the pixels, the shown area after a drag and a wheel zoom, and how the page
// for China differs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "WebFormFixture.h"
#include "playback/FileAnalysis.h"
#include "playback/TextData.h"

namespace {

struct Extent {
    double west = 0, north = 0, east = 0, south = 0;
};

class MapPage : public WebFormFixture {
protected:
    void Open(const char* page)
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        ASSERT_NE(build, nullptr);
        std::string path = std::string(build) + "/bin/" + page;
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        m_form->Navigate(platform::ToWindowsPath(path).c_str());
        // The viewer's reset before a track.
        for (const char* call :
             {"initialize()", "removePolyLine()", "removePoint()", "MapMoveToAuto('0','0',-1)"})
            m_form->ExecScript(call);
    }

    Extent Area()
    {
        std::wstring answer = m_form->RunScriptAndReadValue("fnGetExtentWGS84()");
        Extent e;
        EXPECT_EQ(
            std::swscanf(answer.c_str(), L"%lf,%lf,%lf,%lf", &e.west, &e.north, &e.east, &e.south),
            4)
            << std::string(answer.begin(), answer.end());
        return e;
    }

    // Where a position lies in the host window, from the shown area (Web Mercator).
    static POINT Where(const Extent& e, double lon, double lat)
    {
        auto y = [](double degrees) { return std::log(std::tan(M_PI / 4 + degrees * M_PI / 360)); };
        return {LONG(std::lround((lon - e.west) / (e.east - e.west) * kWidth)),
                LONG(std::lround((y(e.north) - y(lat)) / (y(e.north) - y(e.south)) * kHeight))};
    }

    static int Channel(uint32_t rgb, int shift) { return int((rgb >> shift) & 0xFF); }
};

const char kTrack[] =
    "addPolyLine('126.950000,37.500000|126.970000,37.510000|126.990000,37.505000|"
    "127.010000,37.520000',\"%s\",4,%s)";

std::string TrackCall(const char* color, const char* alpha)
{
    char text[512];
    std::snprintf(text, sizeof text, kTrack, color, alpha);
    return text;
}

TEST_F(MapPage, TheTrackIsDrawnInItsColourAndTheWholeTrackIsShown)
{
    struct Case {
        const char* color;
        const char* alpha;
        uint32_t expected;  // over the map's background #e9eef0
    } cases[] = {
        {"red", "1", 0xFF0000},
        {"blue", "1", 0x0000FF},
        {"red", "0.5", 0xF47778},
    };
    for (const char* page : {"mapView.htm", "mapView_baidu.htm"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(page) + " " + c.color + " " + c.alpha);
            Open(page);
            m_form->ExecScript(TrackCall(c.color, c.alpha));
            Extent area = Area();
            EXPECT_LT(area.west, 126.95);
            EXPECT_GT(area.east, 127.01);
            EXPECT_GT(area.north, 37.52);
            EXPECT_LT(area.south, 37.50);
            if (std::string(page) != "mapView.htm")
                continue;  // the China page draws the track moved by its datum
            auto pixels = Pixels();
            // The middle of the first segment, and a point well away from the track.
            POINT a = Where(area, 126.95, 37.50), b = Where(area, 126.97, 37.51);
            uint32_t on = At(pixels, (a.x + b.x) / 2, (a.y + b.y) / 2);
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(Channel(on, shift), Channel(c.expected, shift), 3) << std::hex << on;
            POINT away = Where(area, 126.96, 37.518);
            EXPECT_NE(At(pixels, away.x, away.y), c.expected);
        }
    }
    // Removing the track takes it off the map.
    m_form->ExecScript("removePolyLine()");
    Extent area = Area();
    POINT a = Where(area, 126.95, 37.50), b = Where(area, 126.97, 37.51);
    const POINT was = {(a.x + b.x) / 2, (a.y + b.y) / 2};
    EXPECT_NE(At(Pixels(), was.x, was.y), 0xF47778u);

    // The next recording's track, elsewhere, is drawn alone: nothing of the last one is left
    // where it lay on the screen.
    m_form->ExecScript("addPolyLine('127.300000,37.700000|127.310000,37.690000',\"blue\",4,1)");
    area = Area();
    EXPECT_GT(area.east, 127.31);
    const uint32_t there = At(Pixels(), was.x, was.y);
    EXPECT_FALSE(Channel(there, 16) > 0xD0 && Channel(there, 8) < 0x90) << std::hex << there;
    POINT c = Where(area, 127.30, 37.70), d = Where(area, 127.31, 37.69);
    EXPECT_EQ(At(Pixels(), (c.x + d.x) / 2, (c.y + d.y) / 2), 0x0000FFu);
}

TEST_F(MapPage, ATrackDrawnWhileTheMapIsCollapsedIsFittedWhenItGetsItsSize)
{
    // The viewer draws a recording's track while the page's window is still collapsed, and
    // shows the window once a position is known. The page then shows the whole track as if it
    // had been drawn at that size; a zoom chosen in between is kept.
    for (const char* page : {"mapView.htm", "mapView_baidu.htm"}) {
        SCOPED_TRACE(page);
        Open(page);
        m_form->ExecScript(TrackCall("red", "0.5"));
        const Extent fitted = Area();
        const double width = fitted.east - fitted.west;

        Open(page);
        m_form->MoveWindow(0, 0, 0, 0);
        m_form->ExecScript(TrackCall("red", "0.5"));
        m_form->ExecScript("MapMoveToAuto('126.970000','37.510000',-1)");
        m_form->MoveWindow(0, 0, kWidth, kHeight);
        const Extent shown = Area();
        EXPECT_NEAR(shown.west, fitted.west, width * 1e-6);
        EXPECT_NEAR(shown.east, fitted.east, width * 1e-6);
        EXPECT_NEAR(shown.north, fitted.north, width * 1e-6);
        EXPECT_NEAR(shown.south, fitted.south, width * 1e-6);

        Open(page);
        m_form->MoveWindow(0, 0, 0, 0);
        m_form->ExecScript(TrackCall("red", "0.5"));
        m_form->ExecScript("MapMoveToAuto('126.970000','37.510000',8)");
        m_form->MoveWindow(0, 0, kWidth, kHeight);
        const Extent chosen = Area();
        // Zoom 8 shows 400 pixels of 256 * 2^8 around the world.
        EXPECT_NEAR(chosen.east - chosen.west, 360.0 * kWidth / (256 << 8), 1e-3);
    }
}

TEST_F(MapPage, TheMarkerShowsThePositionAndTheViewFollowsIt)
{
    Open("mapView.htm");
    m_form->ExecScript(TrackCall("red", "0.5"));
    m_form->ExecScript("MapMoveToAuto('126.970000','37.510000',-1)");
    Extent area = Area();
    POINT at = Where(area, 126.97, 37.51);
    EXPECT_EQ(At(Pixels(), at.x, at.y), 0x1565C0u);

    // A position far outside the shown area brings the view along, at the same zoom.
    double width = area.east - area.west;
    m_form->ExecScript("MapMoveToAuto('129.000000','35.100000',-1)");
    Extent moved = Area();
    EXPECT_LT(moved.west, 129.0);
    EXPECT_GT(moved.east, 129.0);
    EXPECT_NEAR(moved.east - moved.west, width, width * 1e-6);
    at = Where(moved, 129.0, 35.1);
    EXPECT_EQ(At(Pixels(), at.x, at.y), 0x1565C0u);

    // The reset position takes the marker away.
    m_form->ExecScript("removePoint()");
    EXPECT_NE(At(Pixels(), at.x, at.y), 0x1565C0u);
    m_form->ExecScript("MapMoveToAuto('129.000000','35.100000',-1)");
    m_form->ExecScript("MapMoveToAuto('0','0',-1)");
    EXPECT_NE(At(Pixels(), at.x, at.y), 0x1565C0u);
}

TEST_F(MapPage, DraggingAndTheWheelChangeTheShownArea)
{
    // The pages are dragged from different places, so that the second press is no double click.
    int y = 100;
    for (const char* page : {"mapView.htm", "mapView_baidu.htm"}) {
        SCOPED_TRACE(page);
        Open(page);
        m_form->ExecScript(TrackCall("red", "0.5"));
        Extent before = Area();
        double perPixel = (before.east - before.west) / kWidth;
        using platform::testing::MouseButton;
        y += 60;
        platform::testing::InjectMouseButton(200, y, MouseButton::Left, true);
        platform::testing::InjectMouseMove(230, y);
        platform::testing::InjectMouseMove(260, y);
        platform::testing::InjectMouseButton(260, y, MouseButton::Left, false);
        platform::testing::PumpMessages();
        Extent dragged = Area();
        // Dragging the map 60 pixels to the right shows what lay to the west. The China page's
        // answers, moved back from its datum, may differ by up to two pixels (the offsets vary
        // from place to place).
        double slack = std::string(page) == "mapView.htm" ? 1e-5 : 2 * perPixel;
        EXPECT_NEAR(dragged.west, before.west - 60 * perPixel, slack);
        EXPECT_NEAR(dragged.east, before.east - 60 * perPixel, slack);
        EXPECT_NEAR(dragged.north, before.north, slack);

        // One wheel step forward halves the shown width around the cursor.
        platform::testing::InjectWheel(100, 150, 120);
        platform::testing::PumpMessages();
        Extent zoomed = Area();
        EXPECT_NEAR(zoomed.east - zoomed.west, (dragged.east - dragged.west) / 2, slack + 1e-5);
        double cursorLon = dragged.west + 100 * perPixel;
        EXPECT_NEAR(zoomed.west + 100 * perPixel / 2, cursorLon, slack + 1e-5);
        // And a step back restores it.
        platform::testing::InjectWheel(100, 150, -120);
        platform::testing::PumpMessages();
        Extent back = Area();
        EXPECT_NEAR(back.east - back.west, dragged.east - dragged.west, slack + 1e-5);
    }
}

TEST_F(MapPage, ThePageForChinaDrawsInItsDatumAndAnswersInWgs84)
{
    // Beijing, shown at zoom 12, so that the view is centred on the position.
    auto centre = [&](const char* page) {
        Open(page);
        m_form->ExecScript("MapMoveToAuto('116.397000','39.908000',12)");
        Extent area = Area();
        std::wstring x = m_form->RunScriptAndReadValue(
            "document.forms[0].extent.value = String(MapView.view().x * 360 - 180)");
        return std::make_pair(area, std::wcstod(x.c_str(), nullptr));
    };
    auto [plain, plainX] = centre("mapView.htm");
    auto [china, chinaX] = centre("mapView_baidu.htm");
    EXPECT_NEAR(plainX, 116.397, 1e-6);
    // The China map's own coordinates lie some hundred metres east of WGS84 here...
    EXPECT_GT(chinaX - 116.397, 0.005);
    EXPECT_LT(chinaX - 116.397, 0.02);
    // ...while both pages answer the area around the position in WGS84: within a few pixels,
    // since the China offsets vary from place to place (the China map's own coordinates would
    // put the centre some 36 pixels east).
    double perPixel = (plain.east - plain.west) / kWidth;
    EXPECT_NEAR((china.west + china.east) / 2, 116.397, 4 * perPixel);
    EXPECT_NEAR((china.north + china.south) / 2, 39.908, 4 * perPixel);
    EXPECT_NEAR(china.east - china.west, plain.east - plain.west, 4 * perPixel);
}

// A long track is moved through the China page's datum in one go, which interpolates the
// offset between exactly moved cell corners: every point must land where moving it on its own
// puts it (as the marker is moved), within two centimetres in China, and exactly near the
// border and outside it, where an offset may start or stop.
TEST_F(MapPage, TheChinaPageMovesALongTrackAsItMovesEachPoint)
{
    Open("mapView_baidu.htm");
    std::wstring answer = m_form->RunScriptAndReadValue(R"(
        var points = [], seed = 99;
        function next() { seed = (seed * 1103515245 + 12345) % 2147483648; return seed / 2147483648; }
        // Spread over China, its border area and beyond.
        for (var i = 0; i < 3000; i++)
            points.push(65 + next() * 80, -5 + next() * 66);
        // Drives of fixes a few metres apart, so that many share a cell: near Beijing, across
        // the western border line and along the northern one.
        var starts = [[116.3, 39.9], [71.95, 40.0], [120.0, 55.78]];
        for (var d = 0; d < starts.length; d++) {
            var lon = starts[d][0], lat = starts[d][1];
            for (var k = 0; k < 2000; k++) {
                lon += 0.00012 + 0.0001 * next();
                lat += 0.0001 * (next() - 0.5);
                points.push(lon, lat);
            }
        }
        var moved = new Float64Array(points);
        ChinaDatum.toMapAll(moved, moved.length);
        var worst = 0, borderMisses = 0;
        for (var j = 0; j < points.length; j += 2) {
            var one = ChinaDatum.toMap(points[j], points[j + 1]);
            var off = Math.max(Math.abs(one[0] - moved[j]), Math.abs(one[1] - moved[j + 1]));
            var x = points[j], y = points[j + 1];
            var inner = x > 72.054 && x < 137.7847 && y > 0.8793 && y < 55.7771;
            if (inner)
                worst = Math.max(worst, off);
            else if (off !== 0)
                borderMisses++;
        }
        document.forms[0].extent.value = worst + ' ' + borderMisses;
    )");
    double worst = -1;
    int borderMisses = -1;
    ASSERT_EQ(std::swscanf(answer.c_str(), L"%lf %d", &worst, &borderMisses), 2)
        << std::string(answer.begin(), answer.end());
    EXPECT_GE(worst, 0.0);
    EXPECT_LT(worst, 2e-7);  // degrees: about two centimetres
    EXPECT_EQ(borderMisses, 0);
}

}  // namespace

namespace {

// The viewer's form of a coordinate for the page: ddmm.mmmm to decimal degrees.
double ToDecimalDegrees(double v)
{
    long d = long(std::trunc(v)) / 100;
    return double(d) + (v - double(d) * 100) / 60;
}

TEST_F(MapPage, ARecordedTrackIsDrawnWhereItsFixesLie)
{
    const char* fixtures = std::getenv("KV_FIXTURES");
    ASSERT_NE(fixtures, nullptr) << "run the test through ctest";
    // KV_MAP_RECORDING names a longer recording to look at; the card's is a short one.
    const char* chosen = std::getenv("KV_MAP_RECORDING");
    std::string recording =
        chosen ? chosen : std::string(fixtures) + "/card/cont_rec/REC_2026_05_14_08_30_00_F.mp4";
    CTextData text;
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    EnterCriticalSection(&g_csExtractText);
    analysis->ExtractText(platform::ToWindowsPath(recording), text);
    LeaveCriticalSection(&g_csExtractText);
    CFileAnalysis::ReleaseInstance();
    ASSERT_GE(text.m_GPSList.size(), 3u);

    // The track as the main dialog sends it: fixes off the axes, repeats of the previous left
    // out, longitude first.
    std::string track;
    std::vector<std::pair<double, double>> points;
    double lastLat = 0, lastLon = 0;
    for (const CGPSData& fix : text.m_GPSList) {
        if (fix.m_dLatitude == 0.0 || fix.m_dLongitude == 0.0 ||
            (fix.m_dLatitude == lastLat && fix.m_dLongitude == lastLon))
            continue;
        lastLat = fix.m_dLatitude;
        lastLon = fix.m_dLongitude;
        char point[64];
        points.push_back({ToDecimalDegrees(fix.m_dLongitude), ToDecimalDegrees(fix.m_dLatitude)});
        std::snprintf(point, sizeof point, "%s%f,%f", track.empty() ? "" : "|", points.back().first,
                      points.back().second);
        track += point;
    }
    ASSERT_GT(points.size(), 2u);
    Open("mapView.htm");
    m_form->ExecScript("addPolyLine('" + track + "',\"red\",4,0.5)");
    Extent area = Area();
    auto pixels = Pixels();
    // Every fix of the track lies under the track's colour (red at half opacity, over the map's
    // background or a grid line).
    int onTrack = 0;
    for (auto [x, y] : points) {
        POINT at = Where(area, x, y);
        uint32_t pixel =
            At(pixels, std::clamp<int>(at.x, 0, kWidth - 1), std::clamp<int>(at.y, 0, kHeight - 1));
        onTrack += Channel(pixel, 16) > 0xD0 && Channel(pixel, 8) < 0x90;
    }
    EXPECT_EQ(onTrack, int(points.size()));

    // The position of the middle fix gets the marker, and the view stays.
    auto [lon, lat] = points[points.size() / 2];
    char move[128];
    std::snprintf(move, sizeof move, "MapMoveToAuto('%f','%f',-1)", lon, lat);
    m_form->ExecScript(move);
    Extent same = Area();
    EXPECT_DOUBLE_EQ(same.west, area.west);
    POINT at = Where(area, lon, lat);
    EXPECT_EQ(At(Pixels(), at.x, at.y), 0x1565C0u);
    // For looking at: the map as the viewer shows it.
    platform::testing::SaveWindowPng(m_host,
                                     std::string(std::getenv("KV_BUILD_DIR")) + "/map-track.png");
}

}  // namespace
