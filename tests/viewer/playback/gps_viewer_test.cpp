// The G-sensor graph in a real window: the grid over the parent's background, the three curves
// at their scaled rows and sample columns (hand-made telemetry and a real recording's), the
// position line and what removes it, resizing, a recording entry that goes away while shown,
// and the mouse messages the parent sees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "playback/FileAnalysis.h"
#include "playback/GPSViewer.h"
#include "playback/RecFileInfo.h"
#include "ui/DPIScale.h"

namespace fs = std::filesystem;

namespace {

// 0xRRGGBB, as the window's pixels are compared (GDI leaves the alpha byte at 0).
constexpr uint32_t kGreen = 0x00FF00;  // x
constexpr uint32_t kRed = 0xFF0000;    // y
constexpr uint32_t kBlue = 0x0000FF;   // z
constexpr uint32_t kGrid = 0x3A3C43;
constexpr uint32_t kOrange = 0xFF8A48;
constexpr uint32_t kUnder = 0x141E28;   // the parent's background under the panel
constexpr uint32_t kAround = 0xC800C8;  // the parent's background elsewhere

COLORREF ColorrefOf(uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
    bool operator==(const Picture& other) const
    {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
    // Where the colour is, as (x, y).
    std::set<std::pair<int, int>> Find(uint32_t colour) const
    {
        std::set<std::pair<int, int>> found;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) == colour)
                    found.insert({x, y});
        return found;
    }
};

Picture PictureOf(HWND window)
{
    Picture picture;
    SIZE size{};
    EXPECT_TRUE(platform::testing::ReadWindowPixels(window, &picture.pixels, &size));
    picture.width = size.cx;
    picture.height = size.cy;
    return picture;
}

CTextData Constant(size_t count, int x, int y, int z)
{
    CTextData text;
    for (size_t i = 0; i < count; ++i)
        text.m_GSensorList.emplace_back(x, y, z);
    return text;
}

// The parent records the mouse messages it is sent.
class Parent : public CWnd {
public:
    struct Mouse {
        UINT message;
        UINT flags;
        int x;
        int y;
    };
    std::vector<Mouse> m_mouse;

protected:
    void OnMouseMove(UINT flags, CPoint point) override
    {
        m_mouse.push_back({WM_MOUSEMOVE, flags, point.x, point.y});
    }
    void OnLButtonDown(UINT flags, CPoint point) override
    {
        m_mouse.push_back({WM_LBUTTONDOWN, flags, point.x, point.y});
    }
    void OnLButtonUp(UINT flags, CPoint point) override
    {
        m_mouse.push_back({WM_LBUTTONUP, flags, point.x, point.y});
    }
};

// The parent at (100, 100) on the screen; the panel at (10, 20) in it, 78 design units high as
// in the main dialog and `designWidth` wide, over the parent's background surface.
class GPSViewerTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedScale = g_DPIScale; }
    void TearDown() override
    {
        m_graph.reset();
        m_parent.reset();
        g_DPIScale = m_savedScale;
    }

    void Make(int dpi = 96, int designWidth = 1000)
    {
        m_graph.reset();
        m_parent.reset();
        g_DPIScale.SetDPI(dpi);
        m_parent = std::make_unique<Parent>();
        const int parentWidth = g_DPIScale.Scale(designWidth + 100);
        const int parentHeight = g_DPIScale.Scale(200);
        ASSERT_TRUE(m_parent->CreateEx(0, nullptr, L"", WS_POPUP | WS_VISIBLE, 100, 100,
                                       parentWidth, parentHeight, nullptr, nullptr));
        m_graph = std::make_unique<CGPSViewer>();
        const RECT design = {10, 20, 10 + designWidth, 98};
        ASSERT_TRUE(m_graph->DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, design,
                                       m_parent.get(), 1163));
        // The parent's background: one colour under the panel, another around it, so that a
        // copy from the wrong place shows.
        CClientDC parentDC(m_parent.get());
        COffscreenDC background(&parentDC, parentWidth, parentHeight);
        background.GetDC()->FillSolidRect(0, 0, parentWidth, parentHeight, ColorrefOf(kAround));
        RECT under = design;
        g_DPIScale.ScaleRect(&under);
        background.GetDC()->FillSolidRect(&under, ColorrefOf(kUnder));
        m_graph->SetBackground(background.GetDC());
    }

    Picture Shown() const { return PictureOf(m_graph->m_hWnd); }

    // The rows the grid is drawn on at the current scale.
    static std::set<int> GridRows()
    {
        const int step = g_DPIScale.Scale(6);
        std::set<int> rows;
        for (int i = 0; i <= 13; ++i)
            rows.insert(i * step);
        rows.insert(13 * step - 1);
        return rows;
    }

    // Every pixel is the grid's or the background's, as the empty state shows them.
    static void ExpectEmptyGrid(const Picture& picture)
    {
        const std::set<int> rows = GridRows();
        int wrong = 0;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (picture.At(x, y) != (rows.count(y) ? kGrid : kUnder) && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                                  << picture.At(x, y);
        EXPECT_EQ(wrong, 0);
    }

    CDPIScale m_savedScale;
    std::unique_ptr<Parent> m_parent;
    std::unique_ptr<CGPSViewer> m_graph;
};

TEST_F(GPSViewerTest, EmptyStatesShowTheGridOverTheBackgroundUnderThePanel)
{
    const CTextData none;
    const CTextData some = Constant(10, 300, -300, 100);
    struct Case {
        const char* what;
        int dpi;
        const CTextData* data;  // drawn after `some` was shown
    } cases[] = {
        {"after the background is set", 96, nullptr},  {"a recording without samples", 96, &none},
        {"no recording at all", 96, nullptr},          {"reset after a recording", 96, nullptr},
        {"at 150 percent, grid step 9", 144, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make(c.dpi);
        const std::string what = c.what;
        if (what != "after the background is set" && what != "at 150 percent, grid step 9") {
            m_graph->DrawGPSData(&some);
            if (what == "reset after a recording")
                m_graph->ResetData();
            else
                EXPECT_TRUE(m_graph->DrawGPSData(c.data));
        }
        const Picture picture = Shown();
        EXPECT_EQ(picture.width, g_DPIScale.Scale(1010) - g_DPIScale.Scale(10));
        EXPECT_EQ(picture.height, g_DPIScale.Scale(98) - g_DPIScale.Scale(20));
        ExpectEmptyGrid(picture);
        EXPECT_EQ(m_graph->GetSampleCount(), 0u);
    }
}

// Constant curves: after the stroke up or down column 0 from the middle, each runs along one
// row across the whole width (when that row is on the panel), and nothing else is coloured.
TEST_F(GPSViewerTest, CurvesLieAtTheirScaledRowsAcrossTheWidth)
{
    struct Case {
        const char* what;
        int dpi;
        size_t count;
        int x, y, z;     // 1/128 g
        int rx, ry, rz;  // the rows they are drawn on
    } cases[] = {
        // ±512 lie 23.5 pixels from the middle row 39, truncated: 15.5 and 62.5.
        {"two samples at full scale", 96, 2, 512, -512, 256, 15, 62, 27},
        // A single sample is drawn across the whole width (its spacing would divide by zero).
        {"one sample", 96, 1, 512, -512, 256, 15, 62, 27},
        {"sixty minutes at ten samples a second", 96, 36000, 128, -128, 0, 33, 44, 39},
        // Values from sources that are not clamped leave the panel; z stays on it.
        {"beyond full scale", 96, 2, 2000, -2000, 600, -52, 130, 11},
        // 47 design units become 71 pixels; the middle row is 117 / 2.
        {"at 150 percent", 144, 2, 512, -512, 256, 22, 93, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make(c.dpi);
        const CTextData text = Constant(c.count, c.x, c.y, c.z);
        EXPECT_TRUE(m_graph->DrawGPSData(&text));
        EXPECT_EQ(m_graph->GetSampleCount(), c.count);
        const Picture picture = Shown();
        const int middle = picture.height / 2;
        for (auto [colour, row] : {std::pair{kGreen, c.rx}, {kRed, c.ry}, {kBlue, c.rz}}) {
            if (row < 0 || row >= picture.height) {
                for (auto [x, y] : picture.Find(colour))
                    EXPECT_EQ(x, 0) << "only the stroke from the middle shows, at " << y;
                continue;
            }
            for (int x = 0; x < picture.width; ++x)
                ASSERT_EQ(picture.At(x, row), colour) << "column " << x << " of row " << row;
        }
        // z is drawn last: its whole stroke from the middle is blue.
        for (int y = std::min(middle, c.rz); y <= std::max(middle, c.rz); ++y)
            EXPECT_EQ(picture.At(0, y), kBlue) << "row " << y;
        // Right of column 0, only the three rows carry a curve's colour.
        for (int y = 0; y < picture.height; ++y)
            for (int x = 1; x < picture.width; ++x)
                if (y != c.rx && y != c.ry && y != c.rz) {
                    const uint32_t p = picture.At(x, y);
                    ASSERT_TRUE(p == kGrid || p == kUnder) << x << "," << y << " " << std::hex << p;
                }
    }
}

TEST_F(GPSViewerTest, VaryingCurveRunsThroughItsSamples)
{
    Make();
    // x rises to one g at the middle column and falls to minus one g at the right edge; y and z
    // stay far from it.
    CTextData text;
    text.m_GSensorList.emplace_back(0, -400, 400);
    text.m_GSensorList.emplace_back(128, -400, 400);
    text.m_GSensorList.emplace_back(-128, -400, 400);
    m_graph->DrawGPSData(&text);
    const Picture picture = Shown();
    // Samples at columns 0, 500 and 1000 (past the edge) on rows 39, 33.1 and 44.9; the first
    // lies under the strokes of y and z from the middle.
    const std::pair<int, int> onCurve[] = {{1, 39}, {250, 36}, {500, 33}, {750, 39}, {999, 44}};
    for (auto [x, y] : onCurve)
        EXPECT_EQ(picture.At(x, y), kGreen) << x << "," << y;
    EXPECT_EQ(picture.At(0, 39), kBlue);
    // One pixel of the x curve per column but the first.
    EXPECT_EQ(picture.Find(kGreen).size(), size_t(picture.width - 1));
    EXPECT_EQ(picture.At(700, 57), kRed);  // 39 + 18.4
    EXPECT_EQ(picture.At(700, 20), kBlue);
}

std::wstring Fixture(const char* relative)
{
    const char* dir = std::getenv("KV_FIXTURES");
    if (!dir || !*dir) {
        ADD_FAILURE() << "KV_FIXTURES is not set; run the test through ctest";
        return {};
    }
    return platform::ToWindowsPath((fs::path(dir) / relative).string());
}

// A front recording's telemetry as the extraction reads it: at every sample's column after the
// first, each curve has its own pixel at the sample's row, unless a curve drawn later covers it.
TEST_F(GPSViewerTest, RealRecordingDrawsEverySampleAtItsColumnAndRow)
{
    CTextData text;
    {
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        EnterCriticalSection(&g_csExtractText);
        analysis->ExtractText(Fixture("card/cont_rec/REC_2026_05_14_08_30_00_F.mp4"), text);
        LeaveCriticalSection(&g_csExtractText);
        CFileAnalysis::ReleaseInstance();
    }
    const std::vector<CGSensorData> samples(text.m_GSensorList.begin(), text.m_GSensorList.end());
    ASSERT_EQ(samples.size(), 30u);
    Make();
    m_graph->DrawGPSData(&text);
    const Picture picture = Shown();
    const std::string png =
        std::string(std::getenv("KV_BUILD_DIR") ? std::getenv("KV_BUILD_DIR") : "/tmp") +
        "/gsensor_graph.png";
    EXPECT_TRUE(platform::testing::SaveWindowPng(m_graph->m_hWnd, png));

    const int w = picture.width;
    const float xstep = float(w) / float(samples.size() - 1);
    auto row = [](int value) { return int(39.0 - value * 47.0 / 1024.0); };
    int jump = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        for (auto [a, b] : {std::pair{samples[i - 1].m_nX, samples[i].m_nX},
                            {samples[i - 1].m_nY, samples[i].m_nY},
                            {samples[i - 1].m_nZ, samples[i].m_nZ}})
            jump = std::max(jump, std::abs(row(a) - row(b)));
    // With lines flatter than 45 degrees, a sample's column holds only its own point of each
    // curve, so the check below is exact.
    ASSERT_LT(jump, int(xstep));
    std::set<uint32_t> seen;
    // Sample 0 shares column 0 with the strokes from the middle.
    for (size_t i = 1; i + 1 < samples.size(); ++i) {
        const int x = int(float(i) * xstep);
        const int rx = row(samples[i].m_nX), ry = row(samples[i].m_nY), rz = row(samples[i].m_nZ);
        EXPECT_EQ(picture.At(x, rz), kBlue) << "sample " << i;
        if (ry != rz)
            EXPECT_EQ(picture.At(x, ry), kRed) << "sample " << i;
        if (rx != ry && rx != rz)
            EXPECT_EQ(picture.At(x, rx), kGreen) << "sample " << i;
        seen.insert(rx * 1000 + ry);
    }
    EXPECT_GT(seen.size(), 1u) << "the recording's curves should not be flat";
}

TEST_F(GPSViewerTest, PositionLineFollowsTheCallAndIsNotPartOfThePicture)
{
    Make();
    const CTextData text = Constant(2, 512, -512, 256);
    m_graph->DrawGPSData(&text);
    const Picture curves = Shown();
    struct Case {
        int percent;
        int column;  // -1: not visible
    } cases[] = {{0, 0}, {50, 500}, {99, 990}, {100, -1}, {37, 370}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        EXPECT_TRUE(m_graph->SetCLine(c.percent, 1));
        const Picture picture = Shown();
        std::set<std::pair<int, int>> expected;
        if (c.column >= 0)
            for (int y = 0; y < picture.height; ++y)
                expected.insert({c.column, y});
        // The previous line is gone; the new one covers the curves in its column.
        EXPECT_EQ(picture.Find(kOrange), expected);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (x != c.column)
                    ASSERT_EQ(picture.At(x, y), curves.At(x, y)) << x << "," << y;
    }
    // A repaint shows the composed picture, without the line.
    m_graph->SetCLine(60, 1);
    m_graph->InvalidateRect(nullptr, FALSE);
    platform::testing::PumpMessages();
    EXPECT_EQ(Shown(), curves);
    // On the empty grid the line is drawn the same way.
    m_graph->ResetData();
    m_graph->SetCLine(25, 1);
    EXPECT_EQ(Shown().Find(kOrange).size(), 78u);
    EXPECT_TRUE(Shown().Find(kGreen).empty());

    // A line before the panel was ever drawn or given a background: the grid, on black.
    CGPSViewer early;
    const RECT design = {10, 100, 110, 178};
    ASSERT_TRUE(
        early.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, design, m_parent.get(), 1164));
    EXPECT_TRUE(early.SetCLine(50, 1));
    const Picture picture = PictureOf(early.m_hWnd);
    EXPECT_EQ(picture.Find(kOrange).size(), 78u);
    EXPECT_EQ(picture.At(50, 40), kOrange);
    EXPECT_EQ(picture.At(10, 6), kGrid);
    EXPECT_EQ(picture.At(10, 7), 0u);
    // No parent picture to copy: the same.
    early.SetBackground(nullptr);
    EXPECT_EQ(PictureOf(early.m_hWnd).At(10, 77), kGrid);
    EXPECT_EQ(PictureOf(early.m_hWnd).At(10, 76), 0u);
}

TEST_F(GPSViewerTest, ResizeRedrawsTheCurvesAtTheNewWidth)
{
    Make();
    const CTextData text = Constant(2, 512, -512, 256);
    m_graph->DrawGPSData(&text);
    m_graph->SetCLine(50, 1);
    m_graph->MoveWindow(10, 20, 600, 78);
    platform::testing::PumpMessages();
    const Picture picture = Shown();
    ASSERT_EQ(picture.width, 600);
    for (int x = 0; x < 600; ++x) {
        ASSERT_EQ(picture.At(x, 15), kGreen) << x;
        ASSERT_EQ(picture.At(x, 62), kRed) << x;
        ASSERT_EQ(picture.At(x, 27), kBlue) << x;
    }
    EXPECT_TRUE(picture.Find(kOrange).empty());
    EXPECT_EQ(picture.At(300, 0), kGrid);
    EXPECT_EQ(picture.At(300, 1), kUnder);
}

// The main dialog hands the graph a recording entry of its maps, which it may rebuild or clear
// while the graph shows it: the graph keeps drawing what it was given.
TEST_F(GPSViewerTest, CurvesOutliveTheRecordingEntryTheyCameFrom)
{
    Make();
    auto map = std::make_unique<RecFileMap>();
    (*map)[L"REC_2026_05_14_08_30_00_F"].m_TextData = Constant(2, 512, -512, 256);
    m_graph->DrawGPSData(&(*map)[L"REC_2026_05_14_08_30_00_F"].m_TextData);
    const Picture before = Shown();
    (*map)[L"REC_2026_05_14_08_30_00_F"].m_TextData = Constant(5, -100, 100, 0);
    map.reset();
    // A resize redraws from the samples: the ones that were shown, at the new width.
    m_graph->MoveWindow(10, 20, 900, 78);
    platform::testing::PumpMessages();
    const Picture after = Shown();
    ASSERT_EQ(after.width, 900);
    for (int x = 0; x < 900; ++x)
        ASSERT_EQ(after.At(x, 15), kGreen) << x;
    m_graph->MoveWindow(10, 20, 1000, 78);
    platform::testing::PumpMessages();
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(m_graph->GetSampleCount(), 2u);
}

TEST_F(GPSViewerTest, MouseMessagesReachTheParentInThePanelsCoordinates)
{
    Make();
    platform::testing::PumpMessages();
    m_parent->m_mouse.clear();
    // The panel's client point (5, 10) is (115, 130) on the screen.
    platform::testing::InjectMouseMove(115, 130);
    platform::testing::InjectMouseButton(115, 130, platform::testing::MouseButton::Left, true);
    platform::testing::InjectMouseButton(115, 130, platform::testing::MouseButton::Left, false);
    platform::testing::PumpMessages();
    std::vector<UINT> messages;
    for (const Parent::Mouse& m : m_parent->m_mouse) {
        messages.push_back(m.message);
        EXPECT_EQ(m.x, 5);
        EXPECT_EQ(m.y, 10);
        if (m.message == WM_LBUTTONDOWN)
            EXPECT_TRUE(m.flags & MK_LBUTTON);
    }
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), UINT(WM_MOUSEMOVE));
    EXPECT_NE(std::find(messages.begin(), messages.end(), UINT(WM_LBUTTONDOWN)), messages.end());
    EXPECT_EQ(messages.back(), UINT(WM_LBUTTONUP));
}

}  // namespace
