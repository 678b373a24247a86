// GDI objects and their handle table.
//
// Every HDC, HBITMAP, HBRUSH, HPEN and HFONT names an object in one process-wide table. The
// table holds one reference; device contexts hold their own references to what is selected
// into them, so a pen, brush or font deleted while selected lives on until it is deselected.
//
// Locks, always taken in this order: a device context's lock (two of them together through
// DcLock), then the table lock, and separately the surfaces' locks (see surface.h), which are
// only taken while device-context locks, never the table lock, are held.
#pragma once

#include <memory>
#include <mutex>

#include "font.h"
#include "platform/kernel.h"
#include "surface.h"

namespace platform::gdi {

enum class Kind { Dc, Bitmap, Brush, Pen, Font };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    const Kind kind;
    bool stock = false;
    HGDIOBJ handle = nullptr;  // set once when registered
};

struct DcObject;

struct BitmapObject : GdiObject {
    explicit BitmapObject(std::shared_ptr<Surface> s)
        : GdiObject(Kind::Bitmap), surface(std::move(s))
    {
    }
    const std::shared_ptr<Surface> surface;
    // The device context the bitmap is selected into, or null; guarded by the table lock. The
    // stock bitmap is never recorded: it may sit in any number of device contexts.
    DcObject* selectedIn = nullptr;
};

struct BrushObject : GdiObject {
    BrushObject(bool isNull, COLORREF c) : GdiObject(Kind::Brush), null(isNull), color(c) {}
    const bool null;  // the null brush paints nothing
    const COLORREF color;
};

struct PenObject : GdiObject {
    explicit PenObject(COLORREF c) : GdiObject(Kind::Pen), color(c) {}
    const COLORREF color;
};

struct FontObject : GdiObject {
    explicit FontObject(const LOGFONTW& lf) : GdiObject(Kind::Font), logFont(lf) {}
    const LOGFONTW logFont;
    // The resolved font, found on first use and again after the pinned font file changes.
    std::shared_ptr<FontFace> Face();

private:
    std::mutex m_lock;
    std::shared_ptr<FontFace> m_face;  // guarded by m_lock
    unsigned m_generation = 0;         // guarded by m_lock: the font generation of m_face
};

struct DcObject : GdiObject {
    DcObject() : GdiObject(Kind::Dc) {}
    std::mutex lock;  // guards every field below
    bool memory = true;
    // Memory device contexts: the selected bitmap. Surface device contexts: null.
    std::shared_ptr<BitmapObject> bitmap;
    // Surface device contexts: where they draw. Memory device contexts: unused.
    Target surfaceTarget;
    std::shared_ptr<BrushObject> brush;
    std::shared_ptr<PenObject> pen;
    std::shared_ptr<FontObject> font;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = 2;  // OPAQUE
    UINT textAlign = 0;
    POINT position = {0, 0};

    // The target as drawing sees it (requires `lock`).
    Target CurrentTarget() const;
};

// Adds an object to the table and returns its new handle.
HGDIOBJ Register(std::shared_ptr<GdiObject> object);
// The object behind a handle, or null (with ERROR_INVALID_HANDLE).
std::shared_ptr<GdiObject> Lookup(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> LookupAs(HGDIOBJ handle, Kind kind)
{
    auto object = Lookup(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
std::shared_ptr<DcObject> LookupDc(HDC dc);

// The table lock, and lookup and removal while it is held.
std::mutex& TableLock();
std::shared_ptr<GdiObject> LookupLocked(HGDIOBJ handle);
bool UnregisterLocked(HGDIOBJ handle);

// The stock objects, created on first use.
std::shared_ptr<BitmapObject> StockBitmap();
std::shared_ptr<BrushObject> StockBrush(int which);
std::shared_ptr<PenObject> StockPen();
std::shared_ptr<FontObject> StockFont();

// Locks one or two device contexts (the same one once) without deadlocking against another
// thread that locks the same two in the other order.
class DcLock {
public:
    explicit DcLock(DcObject* a, DcObject* b = nullptr);
    ~DcLock();
    DcLock(const DcLock&) = delete;
    DcLock& operator=(const DcLock&) = delete;

private:
    DcObject* m_a;
    DcObject* m_b;
};

// Locks the pixels of one or two surfaces (the same one once), in the same deadlock-free way.
class SurfaceLock {
public:
    SurfaceLock(Surface* a, Surface* b = nullptr);
    ~SurfaceLock();
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

private:
    Surface* m_a;
    Surface* m_b;
};

}  // namespace platform::gdi
