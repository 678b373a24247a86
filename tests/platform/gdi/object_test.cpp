// Device contexts, bitmaps and the object rules callers rely on: selection returns the previous
// object, a bitmap lives in one device context at a time, deletion of selected objects, stale
// handles, DIB orientation and zero-filled pixels.
#include <climits>

#include "canvas.h"

using gditest::Argb;
using gditest::Canvas;

namespace {

BITMAPINFO Info32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST(GdiObjects, NewBitmapsAreZeroFilled)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HBITMAP compatible = CreateCompatibleBitmap(dc, 40, 30);
    ASSERT_NE(compatible, nullptr);
    HGDIOBJ stock = SelectObject(dc, compatible);
    ASSERT_NE(stock, nullptr);

    // Read the compatible bitmap back through a blit into a DIB section filled with a pattern:
    // every byte, alpha included, must come back 0.
    Canvas canvas;
    ASSERT_TRUE(canvas.Valid());
    canvas.Fill(0xDEADBEEF);
    ASSERT_TRUE(BitBlt(canvas.Dc(), 0, 0, 40, 30, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(canvas.Changed(0u), (RECT{0, 0, 0, 0}));

    Canvas fresh(7, 5, true);
    for (int i = 0; i < 7 * 5; ++i)
        EXPECT_EQ(fresh.Memory()[i], 0u);

    SelectObject(dc, stock);
    EXPECT_TRUE(DeleteObject(compatible));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, DibSectionHeightSignGivesRowOrder)
{
    for (bool bottomUp : {true, false}) {
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        Canvas canvas(4, 3, bottomUp);
        ASSERT_TRUE(canvas.Valid());
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT top = {0, 0, 4, 1};
        ASSERT_TRUE(FillRect(canvas.Dc(), &top, red));
        DeleteObject(red);
        // The first row in memory is the bottom row of a bottom-up DIB.
        uint32_t* firstRow = canvas.Memory();
        uint32_t* lastRow = canvas.Memory() + 2 * 4;
        EXPECT_EQ((bottomUp ? lastRow : firstRow)[0], Argb(0, 255, 0, 0));
        EXPECT_EQ((bottomUp ? firstRow : lastRow)[0], 0u);
    }
}

TEST(GdiObjects, SelectObjectReturnsThePreviousObjectOfItsKind)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
    HFONT font = gditest::MakeFont(-12);
    ASSERT_TRUE(brush && pen && font);

    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, font), GetStockObject(SYSTEM_FONT));
    // Selecting one kind leaves the others in place.
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_BRUSH)), brush);
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), pen);
    EXPECT_EQ(SelectObject(dc, GetStockObject(SYSTEM_FONT)), font);

    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, BitmapLivesInOneDeviceContextAtATime)
{
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(first, 8, 8);
    ASSERT_TRUE(first && second && bitmap);

    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    // Selecting it again into the device context that holds it is fine.
    EXPECT_EQ(SelectObject(first, bitmap), bitmap);
    // A selected bitmap cannot be deleted; once deselected it can move and be deleted.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(first, stock), bitmap);
    EXPECT_NE(SelectObject(second, bitmap), nullptr);
    // Deleting the device context frees the bitmap it held.
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_NE(SelectObject(first, bitmap), nullptr);
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(GdiObjects, DeletedPenKeepsDrawingUntilDeselected)
{
    Canvas canvas(10, 3);
    ASSERT_TRUE(canvas.Valid());
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 200, 0));
    HGDIOBJ previous = SelectObject(canvas.Dc(), pen);
    EXPECT_TRUE(DeleteObject(pen));
    // The handle is gone at once...
    EXPECT_EQ(SelectObject(canvas.Dc(), pen), nullptr);
    EXPECT_FALSE(DeleteObject(pen));
    // ...but the device context still draws with the pen.
    MoveToEx(canvas.Dc(), 0, 1, nullptr);
    EXPECT_TRUE(LineTo(canvas.Dc(), 5, 1));
    EXPECT_EQ(canvas.At(2, 1), Argb(0, 0, 200, 0));
    SelectObject(canvas.Dc(), previous);
}

TEST(GdiObjects, StaleAndForeignHandlesFail)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
    ASSERT_TRUE(DeleteObject(brush));
    ASSERT_TRUE(DeleteDC(dc));

    RECT rect = {0, 0, 1, 1};
    SetLastError(0);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), 0);
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), nullptr);
    EXPECT_EQ(CreateCompatibleDC(dc), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(dc, 4, 4), nullptr);
    EXPECT_FALSE(MoveToEx(dc, 0, 0, nullptr));

    Canvas canvas;
    EXPECT_FALSE(FillRect(canvas.Dc(), &rect, brush));
    // Small numbers (system colours on Windows) and made-up values are not objects.
    EXPECT_FALSE(FillRect(canvas.Dc(), &rect, reinterpret_cast<HBRUSH>(6)));
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(0x12345678)));
    // A device context is not an object that DeleteObject removes.
    EXPECT_FALSE(DeleteObject(canvas.Dc()));
    EXPECT_TRUE(FillRect(canvas.Dc(), &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
}

TEST(GdiObjects, StockObjectsSurviveDeletion)
{
    for (int which : {WHITE_BRUSH, NULL_BRUSH, BLACK_PEN, SYSTEM_FONT}) {
        HGDIOBJ object = GetStockObject(which);
        ASSERT_NE(object, nullptr) << which;
        EXPECT_TRUE(DeleteObject(object));
        EXPECT_EQ(GetStockObject(which), object);
    }
    EXPECT_EQ(GetStockObject(HOLLOW_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetStockObject(99), nullptr);
}

TEST(GdiObjects, BitmapCreationRejectsWhatItCannotMake)
{
    HDC dc = CreateCompatibleDC(nullptr);
    // A zero size gives the 1 x 1 stock bitmap, which any number of device contexts may hold.
    HBITMAP empty = CreateCompatibleBitmap(dc, 0, 10);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(dc, 10, 0), empty);
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_NE(SelectObject(dc, empty), nullptr);
    EXPECT_NE(SelectObject(other, empty), nullptr);
    DeleteDC(other);

    EXPECT_EQ(CreateCompatibleBitmap(dc, -1, 10), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(dc, INT_MAX, INT_MAX), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));

    struct Case {
        const char* what;
        void (*change)(BITMAPINFO&);
    } cases[] = {
        {"24 bits", [](BITMAPINFO& i) { i.bmiHeader.biBitCount = 24; }},
        {"two planes", [](BITMAPINFO& i) { i.bmiHeader.biPlanes = 2; }},
        {"compressed", [](BITMAPINFO& i) { i.bmiHeader.biCompression = 3; }},
        {"short header", [](BITMAPINFO& i) { i.bmiHeader.biSize = 12; }},
        {"zero width", [](BITMAPINFO& i) { i.bmiHeader.biWidth = 0; }},
        {"zero height", [](BITMAPINFO& i) { i.bmiHeader.biHeight = 0; }},
        {"lowest height", [](BITMAPINFO& i) { i.bmiHeader.biHeight = INT_MIN; }},
        {"huge", [](BITMAPINFO& i) { i.bmiHeader.biWidth = i.bmiHeader.biHeight = 1 << 20; }},
    };
    for (const Case& c : cases) {
        BITMAPINFO info = Info32(4, 4);
        c.change(info);
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr)
            << c.what;
        EXPECT_EQ(bits, nullptr) << c.what;
    }
    BITMAPINFO info = Info32(4, 4);
    EXPECT_EQ(CreateDIBSection(dc, &info, 1 /* palette colours */, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(CreateDIBSection(dc, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
    DeleteDC(dc);
}

TEST(GdiObjects, DeviceContextStateSettersReturnThePreviousValue)
{
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(1, 2, 3));
    EXPECT_EQ(SetBkColor(dc, RGB(7, 8, 9)), RGB(255, 255, 255));
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextAlign(dc, TA_LEFT | TA_TOP), 0u);
    EXPECT_EQ(SetTextAlign(dc, 6 /* centred */), GDI_ERROR);
    POINT previous = {-1, -1};
    EXPECT_TRUE(MoveToEx(dc, 3, 4, &previous));
    EXPECT_EQ(previous.x, 0);
    EXPECT_TRUE(MoveToEx(dc, 0, 0, &previous));
    EXPECT_EQ(previous.y, 4);
    DeleteDC(dc);
}

TEST(GdiObjects, PensOtherThanThinSolidOnesAreRefused)
{
    EXPECT_EQ(CreatePen(PS_SOLID, 2, 0), nullptr);
    EXPECT_EQ(CreatePen(1 /* dashed */, 1, 0), nullptr);
    HPEN hairline = CreatePen(PS_SOLID, 0, 0);
    EXPECT_NE(hairline, nullptr);
    DeleteObject(hairline);
}

}  // namespace
