// Device contexts, object creation and selection.
#include <algorithm>
#include <climits>
#include <cwchar>

#include "object.h"

namespace platform::gdi {

namespace {

std::shared_ptr<DcObject> NewDc(bool memory)
{
    auto dc = std::make_shared<DcObject>();
    dc->memory = memory;
    dc->bitmap = StockBitmap();
    dc->brush = StockBrush(WHITE_BRUSH);
    dc->pen = StockPen();
    dc->font = StockFont();
    return dc;
}

// Keeps only the parts of the clip rectangles that lie on the surface.
Target Normalised(Target target)
{
    std::vector<RECT> clip;
    if (target.surface) {
        RECT bounds = {0, 0, target.surface->Width(), target.surface->Height()};
        for (const RECT& rect : target.clip) {
            RECT visible;
            if (IntersectRect(&visible, &rect, &bounds))
                clip.push_back(visible);
        }
    }
    target.clip = std::move(clip);
    return target;
}

template <class T>
T* Handle(const std::shared_ptr<GdiObject>& object)
{
    return reinterpret_cast<T*>(object->handle);
}

}  // namespace

HDC CreateSurfaceDC(Target target)
{
    auto dc = NewDc(false);
    dc->surfaceTarget = Normalised(std::move(target));
    return reinterpret_cast<HDC>(Register(dc));
}

bool SetSurfaceDCTarget(HDC handle, Target target)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return false;
    DcLock lock(dc.get());
    if (dc->memory)
        return false;
    dc->surfaceTarget = Normalised(std::move(target));
    return true;
}

bool GetDCTarget(HDC handle, Target* target)
{
    auto dc = LookupDc(handle);
    if (!dc || !target)
        return false;
    DcLock lock(dc.get());
    *target = dc->CurrentTarget();
    return true;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HDC CreateCompatibleDC(HDC compatible)
{
    if (compatible && !LookupDc(compatible))
        return nullptr;
    return reinterpret_cast<HDC>(Register(NewDc(true)));
}

BOOL DeleteDC(HDC handle)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    DcLock lock(dc.get());
    {
        std::lock_guard<std::mutex> table(TableLock());
        if (!UnregisterLocked(reinterpret_cast<HGDIOBJ>(handle))) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (dc->bitmap->selectedIn == dc.get())
            dc->bitmap->selectedIn = nullptr;
    }
    // A thread that looked the device context up before it was deleted may still draw with it;
    // it finds only stock objects.
    dc->bitmap = StockBitmap();
    dc->brush = StockBrush(WHITE_BRUSH);
    dc->pen = StockPen();
    dc->font = StockFont();
    dc->surfaceTarget = Target();
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return nullptr;
    auto object = Lookup(objectHandle);
    if (!object)
        return nullptr;
    DcLock lock(dc.get());
    switch (object->kind) {
        case Kind::Bitmap: {
            if (!dc->memory) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            auto bitmap = std::static_pointer_cast<BitmapObject>(object);
            std::lock_guard<std::mutex> table(TableLock());
            if (LookupLocked(objectHandle) != object)
                return nullptr;  // deleted meanwhile
            if (!bitmap->stock && bitmap->selectedIn && bitmap->selectedIn != dc.get()) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            std::shared_ptr<BitmapObject> previous = dc->bitmap;
            if (previous->selectedIn == dc.get())
                previous->selectedIn = nullptr;
            if (!bitmap->stock)
                bitmap->selectedIn = dc.get();
            dc->bitmap = bitmap;
            return Handle<HBITMAP__>(previous);
        }
        case Kind::Brush: {
            auto previous = dc->brush;
            dc->brush = std::static_pointer_cast<BrushObject>(object);
            return Handle<HBRUSH__>(previous);
        }
        case Kind::Pen: {
            auto previous = dc->pen;
            dc->pen = std::static_pointer_cast<PenObject>(object);
            return Handle<HPEN__>(previous);
        }
        case Kind::Font: {
            auto previous = dc->font;
            dc->font = std::static_pointer_cast<FontObject>(object);
            return Handle<HFONT__>(previous);
        }
        case Kind::Dc:
            break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

namespace {

// Replaces one drawing attribute of a device context under its lock and returns the one it had.
// Returns `failed` for an unknown handle, and for a value the layer does not draw with (`valid`
// false) with ERROR_INVALID_PARAMETER.
template <class T>
T ReplaceAttribute(HDC handle, T DcObject::*field, T value, bool valid, T failed)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return failed;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return failed;
    }
    DcLock lock(dc.get());
    T previous = dc.get()->*field;
    dc.get()->*field = value;
    return previous;
}

}  // namespace

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    return ReplaceAttribute(handle, &DcObject::textColor, COLORREF(color & 0x00FFFFFF), true,
                            COLORREF(CLR_INVALID));
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    return ReplaceAttribute(handle, &DcObject::bkColor, COLORREF(color & 0x00FFFFFF), true,
                            COLORREF(CLR_INVALID));
}

int SetBkMode(HDC handle, int mode)
{
    return ReplaceAttribute(handle, &DcObject::bkMode, mode,
                            mode == TRANSPARENT || mode == OPAQUE, 0);
}

UINT SetTextAlign(HDC handle, UINT align)
{
    return ReplaceAttribute(handle, &DcObject::textAlign, align, align == (TA_LEFT | TA_TOP),
                            UINT(GDI_ERROR));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    return reinterpret_cast<HBRUSH>(
        Register(std::make_shared<BrushObject>(false, color & 0x00FFFFFF)));
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style != PS_SOLID || width < 0 || width > 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return reinterpret_cast<HPEN>(Register(std::make_shared<PenObject>(color & 0x00FFFFFF)));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height)
{
    if (!LookupDc(dc))
        return nullptr;
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width == 0 || height == 0)
        return reinterpret_cast<HBITMAP>(StockBitmap()->handle);
    auto surface = Surface::Create(width, height);
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(Register(std::make_shared<BitmapObject>(surface)));
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset)
{
    if (bits)
        *bits = nullptr;
    if (dc && !LookupDc(dc))
        return nullptr;
    if (!info || usage != DIB_RGB_COLORS || section) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
        header.biBitCount != 32 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        header.biHeight == 0 || header.biHeight == INT_MIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool bottomUp = header.biHeight > 0;
    int height = bottomUp ? header.biHeight : -header.biHeight;
    auto surface = Surface::Create(header.biWidth, height, bottomUp);
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits)
        *bits = surface->Bits();
    return reinterpret_cast<HBITMAP>(Register(std::make_shared<BitmapObject>(surface)));
}

HFONT CreateFontIndirectW(const LOGFONTW* font)
{
    if (!font || font->lfWidth != 0 || font->lfEscapement != 0 || font->lfOrientation != 0 ||
        font->lfUnderline || font->lfStrikeOut || !ValidFontHeight(font->lfHeight)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW copy = *font;
    size_t length = wcsnlen(copy.lfFaceName, LF_FACESIZE - 1);
    std::fill(copy.lfFaceName + length, copy.lfFaceName + LF_FACESIZE, L'\0');
    return reinterpret_cast<HFONT>(Register(std::make_shared<FontObject>(copy)));
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName)
{
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = BYTE(italic);
    font.lfUnderline = BYTE(underline);
    font.lfStrikeOut = BYTE(strikeOut);
    font.lfCharSet = BYTE(charSet);
    font.lfOutPrecision = BYTE(outPrecision);
    font.lfClipPrecision = BYTE(clipPrecision);
    font.lfQuality = BYTE(quality);
    font.lfPitchAndFamily = BYTE(pitchAndFamily);
    if (faceName)
        wcsncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}
