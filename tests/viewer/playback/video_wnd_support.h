// Helpers for the video-window tests: the real skin module and language texts, a pinned font,
// the manual clock, and a stand-in for the main dialog that answers what the windows ask of
// it and records what they send it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdiplus.h"
#include "platform/mfc.h"
#include "platform/testing.h"
#include "playback/VideoWndHost.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace videotest {

namespace pt = platform::testing;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int panX = 0;  // WM_VIDEO_PANZOOM: the pair it carried
    int panY = 0;
};

// The main dialog as the video windows see it: a visible top-level window that answers the
// host's questions from its fields and records commands, mouse messages and the windows'
// private messages. WM_VIDEO_PANZOOM pairs are read and freed, as the dialog does.
class CDialogStandIn : public CWnd, public CVideoWndHost {
public:
    int trackCount = 0;
    BOOL movieOpen = FALSE;
    BOOL playingMP4 = FALSE;
    BOOL singleView = FALSE;
    BOOL deviceRecord = FALSE;
    std::vector<Received> received;
    std::function<void(const Received&)> onReceive;

    int GetVideoTrackCount() override { return trackCount; }
    BOOL IsMovieOpen() override { return movieOpen; }
    BOOL IsPlayingMP4() override { return playingMP4; }
    BOOL IsSingleView() override { return singleView; }
    BOOL HasDeviceRecord() override { return deviceRecord; }

    std::vector<Received> Of(UINT message) const
    {
        std::vector<Received> out;
        std::copy_if(received.begin(), received.end(), std::back_inserter(out),
                     [message](const Received& r) { return r.message == message; });
        return out;
    }
    std::vector<WPARAM> Commands() const
    {
        std::vector<WPARAM> ids;
        for (const Received& r : Of(WM_COMMAND))
            ids.push_back(r.wParam);
        return ids;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        const bool mouse = message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN ||
                           message == WM_LBUTTONUP;
        if (message == WM_COMMAND || message == WM_CLOSE || mouse ||
            (message >= 0x400 && message < 0x7FFF)) {
            Received r{message, wParam, lParam};
            if (message == WM_VIDEO_PANZOOM) {
                const int* pair = reinterpret_cast<const int*>(lParam);
                r.panX = pair[0];
                r.panY = pair[1];
                delete[] pair;
                r.lParam = 0;
            }
            received.push_back(r);
            if (onReceive)
                onReceive(r);
            // A dialog that is asked to close decides itself; this one stays.
            if (message == WM_CLOSE)
                return 0;
            if (!mouse)
                return message == WM_COMMAND ? 0 : 1;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// One pixel 0xRRGGBB of a picture read from the screen or a window.
struct Pixels {
    std::vector<uint32_t> data;
    SIZE size = {0, 0};
    uint32_t At(int x, int y) const { return data[size_t(y) * size.cx + x] & 0xFFFFFF; }
    // Pixels of the rectangle that differ from `ground` by more than `tolerance` in a channel.
    int CountDiffering(RECT r, uint32_t ground, int tolerance = 24) const
    {
        int n = 0;
        for (int y = std::max(0, int(r.top)); y < std::min(int(size.cy), int(r.bottom)); ++y)
            for (int x = std::max(0, int(r.left)); x < std::min(int(size.cx), int(r.right)); ++x)
                if (Differs(At(x, y), ground, tolerance))
                    ++n;
        return n;
    }
    // Rows of the rectangle holding at least one pixel that differs from `ground`: first and
    // last, or {-1, -1}.
    std::pair<int, int> RowsDiffering(RECT r, uint32_t ground, int tolerance = 40) const
    {
        int first = -1, last = -1;
        for (int y = std::max(0, int(r.top)); y < std::min(int(size.cy), int(r.bottom)); ++y)
            for (int x = std::max(0, int(r.left)); x < std::min(int(size.cx), int(r.right)); ++x)
                if (Differs(At(x, y), ground, tolerance)) {
                    if (first < 0)
                        first = y;
                    last = y;
                    break;
                }
        return {first, last};
    }
    static bool Differs(uint32_t a, uint32_t b, int tolerance)
    {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance)
                return true;
        return false;
    }
};

inline Pixels ReadWindow(HWND window)
{
    Pixels pixels;
    EXPECT_TRUE(pt::ReadWindowPixels(window, &pixels.data, &pixels.size));
    return pixels;
}

// The screen (every visible top-level window composed), or a part of it.
inline Pixels ReadScreen(const RECT* area = nullptr)
{
    Pixels pixels;
    EXPECT_TRUE(pt::ReadScreenPixels(&pixels.data, &pixels.size, area));
    return pixels;
}

inline std::string ShotPath(const std::string& name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return std::string(build ? build : "/tmp") + "/" + name;
}

// What every video-window test runs in: GDI+, the real skin module and English texts at 100
// percent, a pinned font and the manual clock. Undone by LeaveVideoWorld.
inline void EnterVideoWorld(ULONG_PTR* gdiplusToken)
{
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(gdiplusToken, &input, nullptr), Gdiplus::Ok);
    pt::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    pt::UseManualClock();
    g_DPIScale.SetDPI(96);
    g_hSkinModule = LoadLibraryW(KV_SKIN_MODULE);
    ASSERT_NE(g_hSkinModule, nullptr);
    ASSERT_TRUE(LoadLanguage(L"english"));
}

inline void LeaveVideoWorld(ULONG_PTR gdiplusToken)
{
    delete g_pNinePatch;
    g_pNinePatch = nullptr;
    pt::PinFontFile("");
    Gdiplus::GdiplusShutdown(gdiplusToken);
}

// Runs the thread's messages through the framework's filter, as its loops do.
inline void VideoWndTestPump()
{
    pt::PumpMessages([](MSG& msg) { return CWnd::WalkPreTranslateTree(nullptr, &msg) != 0; });
}

// The dialog stand-in at (0, 0), shown and active.
inline void CreateStandIn(CDialogStandIn& dialog, int width, int height)
{
    ASSERT_TRUE(dialog.CreateEx(0, AfxRegisterWndClass(0), L"Dialog", WS_POPUP | WS_VISIBLE, 0, 0,
                                width, height, nullptr, nullptr));
    dialog.SetActiveWindow();
}

// The world above and the dialog stand-in, 1000 x 700.
class VideoWndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnterVideoWorld(&m_token);
        CreateStandIn(dialog, 1000, 700);
        Pump();
    }
    void TearDown() override
    {
        Pump();
        if (dialog.GetSafeHwnd())
            dialog.DestroyWindow();
        Pump();
        LeaveVideoWorld(m_token);
    }

    static void Pump() { VideoWndTestPump(); }
    static POINT ScreenOf(HWND window, int x, int y)
    {
        POINT point = {x, y};
        ::ClientToScreen(window, &point);
        return point;
    }
    static void MoveTo(HWND window, int x, int y)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectMouseMove(p.x, p.y);
        Pump();
    }
    static void Button(HWND window, int x, int y, bool down,
                       pt::MouseButton button = pt::MouseButton::Left)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectMouseButton(p.x, p.y, button, down);
        Pump();
    }
    static void Click(HWND window, int x, int y, pt::MouseButton button = pt::MouseButton::Left)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectClick(p.x, p.y, button);
        Pump();
    }

    CDialogStandIn dialog;
    ULONG_PTR m_token = 0;
};

}  // namespace videotest
