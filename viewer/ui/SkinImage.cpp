#include "ui/SkinImage.h"

#include <mutex>
#include <set>

#include "platform/gdiplus.h"
#include "ui/DebugLog.h"
#include "ui/GdiPlusBitmap.h"

HMODULE g_hSkinModule = nullptr;

namespace {

// Loads a skin picture by its upper-cased name, reporting it when it cannot be had.
bool LoadSkinPicture(const std::wstring& upperName, CGdiPlusBitmapResource* picture)
{
    if (picture->Load(upperName.c_str(), L"PNG", g_hSkinModule))
        return true;
    ReportMissingSkinImage(L"normal", upperName);
    return false;
}

// Draws the picture's rectangle at (sourceX, sourceY) of width x height pixels at 1:1 into the
// surface at (0, 0), composed over what it holds.
void DrawOneToOne(const COffscreenDC& surface, Gdiplus::Bitmap* picture, int sourceX, int sourceY,
                  int width, int height)
{
    Gdiplus::Graphics graphics(surface.GetDC()->GetSafeHdc());
    graphics.DrawImage(picture, Gdiplus::Rect(0, 0, width, height), sourceX, sourceY, width, height,
                       Gdiplus::UnitPixel);
}

// Re-creates the target at the picture's size and draws the picture into it.
void MakeSurfaceOf(CDC* pDC, COffscreenDC& target, Gdiplus::Bitmap* picture)
{
    int width = int(picture->GetWidth());
    int height = int(picture->GetHeight());
    if (target.Create(pDC, width, height))
        DrawOneToOne(target, picture, 0, 0, width, height);
}

// A marker of a three-slice picture: black with some alpha. Fully transparent black is what a
// transparent border is often stored as, so it marks nothing.
bool IsSliceMarker(const Gdiplus::Color& color)
{
    return color.GetR() == 0 && color.GetG() == 0 && color.GetB() == 0 && color.GetA() != 0;
}

// The split of a three-slice picture: the inner index (0-based, border excluded) of the stretch
// column or row, found from the marker along the border; 0 without a marker. Only pixels
// above or beside inner columns or rows are looked at, so the split always names one of them.
int FindSplit(Gdiplus::Bitmap* picture, bool alongTop)
{
    int length = int(alongTop ? picture->GetWidth() : picture->GetHeight());
    for (int i = 1; i <= length - 2; ++i) {
        Gdiplus::Color color;
        if (picture->GetPixel(alongTop ? i : 0, alongTop ? 0 : i, &color) == Gdiplus::Ok &&
            IsSliceMarker(color))
            return i - 1;
    }
    return 0;
}

void CopyPart(CDC* pDC, COffscreenDC& slice, int width, int height, const COffscreenDC& inner,
              int sourceX, int sourceY)
{
    if (slice.Create(pDC, width, height))
        slice.GetDC()->BitBlt(0, 0, width, height, inner.GetDC(), sourceX, sourceY, SRCCOPY);
}

// The shared body of the two slicers; horizontal cuts columns, vertical cuts rows.
void LoadSlices(CDC* pDC, std::wstring name, COffscreenDC& first, COffscreenDC& middle,
                COffscreenDC& last, bool horizontal)
{
    name = SkinResourceName(name);
    CGdiPlusBitmapResource picture;
    bool loaded = LoadSkinPicture(name, &picture);
    int w = loaded ? int(picture.m_pBitmap->GetWidth()) : 0;
    int h = loaded ? int(picture.m_pBitmap->GetHeight()) : 0;
    // A border on every side and one inner pixel at least.
    if (loaded && (w < 3 || h < 3)) {
        ReportMissingSkinImage(L"normal", name);
        loaded = false;
    }
    if (!loaded) {
        first.Release();
        middle.Release();
        last.Release();
        return;
    }
    int s = FindSplit(picture.m_pBitmap, horizontal);
    COffscreenDC inner(pDC, w - 2, h - 2);
    if (!inner.IsCreated()) {
        first.Release();
        middle.Release();
        last.Release();
        return;
    }
    DrawOneToOne(inner, picture.m_pBitmap, 1, 1, w - 2, h - 2);
    if (horizontal) {
        if (s != 0)
            CopyPart(pDC, first, s, h, inner, 0, 0);
        else
            first.Release();
        CopyPart(pDC, middle, 1, h, inner, s, 0);
        if (w - 2 != s + 1)
            CopyPart(pDC, last, w - s - 1, h, inner, s + 1, 0);
        else
            last.Release();
    } else {
        if (s != 0)
            CopyPart(pDC, first, w, s, inner, 0, 0);
        else
            first.Release();
        CopyPart(pDC, middle, w, 1, inner, 0, s);
        if (h - 2 != s + 1)
            CopyPart(pDC, last, w, h - s - 1, inner, 0, s + 1);
        else
            last.Release();
    }
}

}  // namespace

std::wstring SkinResourceName(std::wstring name)
{
    for (wchar_t& c : name)
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - L'a' + L'A');
    return name;
}

BOOL ReportMissingSkinImage(LPCWSTR kind, const std::wstring& upperName)
{
    static std::mutex lock;
    static std::set<std::wstring> reported;  // guarded by lock
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!reported.insert(upperName).second)
            return FALSE;
    }
    LogWrite(L"Error : Fail to load " + std::wstring(kind) + L" image [" + upperName + L"]");
    return TRUE;
}

void DrawSkinImage(COffscreenDC& target, std::wstring name)
{
    if (!target.IsCreated())
        return;
    CGdiPlusBitmapResource picture;
    if (!LoadSkinPicture(SkinResourceName(name), &picture))
        return;
    Gdiplus::Graphics graphics(target.GetDC()->GetSafeHdc());
    graphics.DrawImage(picture.m_pBitmap,
                       Gdiplus::Rect(0, 0, target.GetWidth(), target.GetHeight()), 0, 0,
                       int(picture.m_pBitmap->GetWidth()), int(picture.m_pBitmap->GetHeight()),
                       Gdiplus::UnitPixel);
}

void LoadSkinImage(CDC* pDC, COffscreenDC& target, std::wstring name)
{
    CGdiPlusBitmapResource picture;
    if (!LoadSkinPicture(SkinResourceName(name), &picture)) {
        target.Release();
        return;
    }
    MakeSurfaceOf(pDC, target, picture.m_pBitmap);
}

void GetSkinImageSize(std::wstring name, RECT* rect)
{
    if (!rect)
        return;
    CGdiPlusBitmapResource picture;
    if (!LoadSkinPicture(SkinResourceName(name), &picture)) {
        SetRectEmpty(rect);
        return;
    }
    SetRect(rect, 0, 0, int(picture.m_pBitmap->GetWidth()), int(picture.m_pBitmap->GetHeight()));
}

void LoadSkinSlicesHorz(CDC* pDC, std::wstring name, COffscreenDC& left, COffscreenDC& middle,
                        COffscreenDC& right)
{
    LoadSlices(pDC, std::move(name), left, middle, right, true);
}

void LoadSkinSlicesVert(CDC* pDC, std::wstring name, COffscreenDC& top, COffscreenDC& middle,
                        COffscreenDC& bottom)
{
    LoadSlices(pDC, std::move(name), top, middle, bottom, false);
}

void LoadBrandImage(CDC* pDC, COffscreenDC& target, std::wstring modulePath)
{
    HMODULE module = LoadLibraryW(modulePath.c_str());
    if (!module)
        return;
    {
        CGdiPlusBitmapResource picture;
        if (picture.Load(L"IDB_BI", L"PNG", module))
            MakeSurfaceOf(pDC, target, picture.m_pBitmap);
    }
    FreeLibrary(module);
}
