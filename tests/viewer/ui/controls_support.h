// Helpers for the skinned-control tests: the real skin module and language texts, a pinned
// font, the display scale of the test's parameter, a top-level "dialog" that records what the
// controls send it, injected input with the framework's message filter, and window pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdiplus.h"
#include "platform/mfc.h"
#include "platform/testing.h"
#include "ui/DPIScale.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace controltest {

namespace pt = platform::testing;

// One message a control sent or posted to its owner.
struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Received& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Received& r)
{
    return out << "{0x" << std::hex << r.message << std::dec << ", " << r.wParam << ", " << r.lParam
               << "}";
}

// The owner of the controls under test: a visible top-level window that records commands and
// the slider, scroll and list messages.
class CRecorder : public CWnd {
public:
    std::vector<Received> received;
    // Called for every recorded message, while the sender may still wait in SendMessage.
    std::function<void(const Received&)> onReceive;

    std::vector<WPARAM> Commands() const
    {
        std::vector<WPARAM> ids;
        for (const Received& r : received)
            if (r.message == WM_COMMAND)
                ids.push_back(r.wParam);
        return ids;
    }
    std::vector<Received> Of(UINT message) const
    {
        std::vector<Received> out;
        for (const Received& r : received)
            if (r.message == message)
                out.push_back(r);
        return out;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND || (message >= 0x400 && message < 0x7FFF)) {
            received.push_back({message, wParam, lParam});
            if (onReceive)
                onReceive(received.back());
            return message == WM_COMMAND ? 0 : 1;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// The percent a test runs at: 100 or 150.
class ControlTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
        pt::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        pt::UseManualClock();
        g_DPIScale.SetDPI(Percent() * 96 / 100);
        g_hSkinModule = LoadLibraryW(KV_SKIN_MODULE);
        ASSERT_NE(g_hSkinModule, nullptr);
        ASSERT_TRUE(LoadLanguage(L"english"));
        ASSERT_TRUE(dialog.CreateEx(0, AfxRegisterWndClass(0), L"Dialog", WS_POPUP | WS_VISIBLE, 0,
                                    0, 1200, 900, nullptr, nullptr));
        dialog.SetActiveWindow();
        Pump();
    }
    void TearDown() override
    {
        Pump();
        if (dialog.GetSafeHwnd())
            dialog.DestroyWindow();
        Pump();
        pt::PinFontFile("");
        g_DPIScale.SetDPI(96);
        Gdiplus::GdiplusShutdown(m_token);
    }

    virtual int Percent() const { return GetParam(); }
    int S(int design) const { return g_DPIScale.Scale(design); }

    // Runs the thread's messages through the framework's filter, as its loops do.
    static void Pump()
    {
        pt::PumpMessages([](MSG& msg) { return CWnd::WalkPreTranslateTree(nullptr, &msg) != 0; });
    }
    // Screen point of a client point (pixels) of a window.
    static POINT ScreenOf(const CWnd& window, int x, int y)
    {
        POINT point = {x, y};
        window.ClientToScreen(&point);
        return point;
    }
    static void MoveTo(const CWnd& window, int x, int y)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectMouseMove(p.x, p.y);
        Pump();
    }
    static void Click(const CWnd& window, int x, int y,
                      pt::MouseButton button = pt::MouseButton::Left)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectClick(p.x, p.y, button);
        Pump();
    }
    static void Press(const CWnd& window, int x, int y, bool down)
    {
        POINT p = ScreenOf(window, x, y);
        pt::InjectMouseButton(p.x, p.y, pt::MouseButton::Left, down);
        Pump();
    }

    // A window's pixels as the screen shows it (layered: its picture), 0xAARRGGBB.
    struct Pixels {
        std::vector<uint32_t> data;
        SIZE size = {0, 0};
        uint32_t At(int x, int y) const { return data[size_t(y) * size.cx + x]; }
        // Pixels in the rectangle whose colour differs from `ground` by more than `tolerance`
        // in some channel.
        int CountDiffering(RECT r, uint32_t ground, int tolerance = 24) const
        {
            int n = 0;
            for (int y = std::max(0, int(r.top)); y < std::min(int(size.cy), int(r.bottom)); ++y)
                for (int x = std::max(0, int(r.left)); x < std::min(int(size.cx), int(r.right));
                     ++x) {
                    uint32_t p = At(x, y);
                    for (int shift = 0; shift < 24; shift += 8)
                        if (std::abs(int(p >> shift & 0xFF) - int(ground >> shift & 0xFF)) >
                            tolerance) {
                            ++n;
                            break;
                        }
                }
            return n;
        }
    };
    static Pixels Read(const CWnd& window)
    {
        Pixels pixels;
        EXPECT_TRUE(pt::ReadWindowPixels(window.GetSafeHwnd(), &pixels.data, &pixels.size));
        return pixels;
    }
    static std::string ShotPath(const std::string& name)
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        return std::string(build ? build : "/tmp") + "/" + name;
    }

    CRecorder dialog;
    ULONG_PTR m_token = 0;
};

inline std::string PercentName(const ::testing::TestParamInfo<int>& info)
{
    return "At" + std::to_string(info.param);
}

}  // namespace controltest
