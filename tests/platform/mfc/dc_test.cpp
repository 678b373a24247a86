// CDC, CBitmap, CPaintDC and CClientDC: ownership of the handles, restoring selections, and
// drawing through them into a small bitmap and into windows.
#include "framework.h"

using namespace mfctest;

namespace {

uint32_t PixelOf(CDC& dc, int x, int y)
{
    // Read through a DIB copy: BitBlt into a top-down section.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP one = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC reader = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(reader, one);
    BitBlt(reader, 0, 0, 1, 1, dc.m_hDC, x, y, SRCCOPY);
    uint32_t value = *static_cast<uint32_t*>(bits) & 0xFFFFFF;
    SelectObject(reader, old);
    DeleteDC(reader);
    DeleteObject(one);
    return value;
}

TEST(MfcDC, SelectionsComeBackAndHandlesGoWithTheirObjects)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    EXPECT_FALSE(dc.CreateCompatibleDC(nullptr));  // holds one already

    CBitmap a, b;
    ASSERT_TRUE(a.CreateCompatibleBitmap(&dc, 40, 30));
    ASSERT_TRUE(b.CreateCompatibleBitmap(&dc, 40, 30));
    CBitmap* original = dc.SelectObject(&a);
    ASSERT_NE(original, nullptr);
    EXPECT_NE(original->GetSafeHandle(), a.GetSafeHandle());
    // A selected bitmap cannot be deleted, nor selected into a second device context.
    EXPECT_FALSE(a.DeleteObject());
    CDC other;
    ASSERT_TRUE(other.CreateCompatibleDC(&dc));
    EXPECT_EQ(other.SelectObject(&a), nullptr);

    dc.FillSolidRect(CRect(0, 0, 40, 30), RGB(10, 20, 30));
    dc.FillSolidRect(5, 5, 10, 10, RGB(200, 100, 50));
    // FillSolidRect leaves its colour as the background colour.
    EXPECT_EQ(dc.SetBkColor(RGB(0, 0, 0)), RGB(200, 100, 50));
    EXPECT_EQ(PixelOf(dc, 0, 0), 0x0A141Eu);
    EXPECT_EQ(PixelOf(dc, 5, 5), 0xC86432u);
    EXPECT_EQ(PixelOf(dc, 15, 15), 0x0A141Eu);
    dc.MoveTo(0, 20);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HGDIOBJ oldPen = dc.SelectObject(pen);
    EXPECT_EQ(dc.MoveTo(0, 25), CPoint(0, 20));
    dc.LineTo(40, 25);
    EXPECT_EQ(PixelOf(dc, 39, 25), 0xFFFFFFu);
    dc.SelectObject(oldPen);
    DeleteObject(pen);

    // The previous bitmap comes back as an object of the device context's own, one per
    // handle however often the bitmaps are swapped, that never deletes the bitmap.
    CBitmap* previousA = dc.SelectObject(&b);
    ASSERT_NE(previousA, nullptr);
    EXPECT_EQ(previousA->GetSafeHandle(), a.GetSafeHandle());
    EXPECT_EQ(dc.SelectObject(&a)->GetSafeHandle(), b.GetSafeHandle());
    EXPECT_EQ(dc.SelectObject(&b), previousA);
    EXPECT_EQ(dc.SelectObject(original)->GetSafeHandle(), b.GetSafeHandle());
    EXPECT_TRUE(a.DeleteObject());  // free again
    EXPECT_EQ(a.GetSafeHandle(), nullptr);

    // A detached handle is the caller's.
    HDC kept = dc.Detach();
    EXPECT_EQ(dc.m_hDC, nullptr);
    EXPECT_TRUE(DeleteDC(kept));
}

class Painter : public CWnd {
public:
    int paints = 0;

protected:
    void OnPaint() override
    {
        ++paints;
        CPaintDC dc(this);
        dc.FillSolidRect(&dc.m_ps.rcPaint, RGB(255, 0, 0));
    }
};

TEST(MfcDC, PaintAndClientContextsDrawIntoTheWindow)
{
    Painter window;
    ASSERT_TRUE(window.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30,
                                nullptr, nullptr));
    Pump();
    // One paint validates the window: no second WM_PAINT follows.
    Pump();
    EXPECT_EQ(window.paints, 1);
    EXPECT_EQ(Read(window.m_hWnd).At(39, 29), 0xFF0000u);

    {
        CClientDC dc(&window);
        ASSERT_NE(dc.m_hDC, nullptr);
        dc.FillSolidRect(0, 0, 10, 10, RGB(0, 255, 0));
    }
    EXPECT_EQ(Read(window.m_hWnd).At(0, 0), 0x00FF00u);
    CDC* borrowed = window.GetDC();
    ASSERT_NE(borrowed, nullptr);
    borrowed->FillSolidRect(10, 10, 5, 5, RGB(0, 0, 255));
    EXPECT_EQ(window.ReleaseDC(borrowed), 1);
    EXPECT_EQ(Read(window.m_hWnd).At(12, 12), 0x0000FFu);

    // An object whose window is not made yet gets no device context at all.
    CWnd none;
    CClientDC nothing(&none);
    EXPECT_EQ(nothing.m_hDC, nullptr);
    EXPECT_EQ(none.GetDC(), nullptr);
    window.DestroyWindow();
}

}  // namespace
