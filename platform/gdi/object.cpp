#include "object.h"

#include <cwchar>
#include <unordered_map>

namespace platform::gdi {

namespace {

struct ObjectTable {
    std::mutex lock;
    // Guarded by `lock`. Handle values are multiples of 4 from 2^30 up, apart from the kernel's
    // handles and from the small numbers that stand for system colours, and are not reused.
    std::unordered_map<uintptr_t, std::shared_ptr<GdiObject>> objects;
    uintptr_t next = uintptr_t(1) << 30;
};

ObjectTable& Table()
{
    static ObjectTable* table = new ObjectTable;  // lives until the process ends
    return *table;
}

template <class T>
std::shared_ptr<T> MakeStock(std::shared_ptr<T> object)
{
    object->stock = true;
    Register(object);
    return object;
}

}  // namespace

HGDIOBJ Register(std::shared_ptr<GdiObject> object)
{
    ObjectTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    object->handle = reinterpret_cast<HGDIOBJ>(value);
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HGDIOBJ>(value);
}

std::shared_ptr<GdiObject> Lookup(HGDIOBJ handle)
{
    std::lock_guard<std::mutex> guard(Table().lock);
    return LookupLocked(handle);
}

std::shared_ptr<GdiObject> LookupLocked(HGDIOBJ handle)
{
    ObjectTable& table = Table();
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<DcObject> LookupDc(HDC dc)
{
    return LookupAs<DcObject>(reinterpret_cast<HGDIOBJ>(dc), Kind::Dc);
}

std::mutex& TableLock()
{
    return Table().lock;
}

bool UnregisterLocked(HGDIOBJ handle)
{
    return Table().objects.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

std::shared_ptr<BitmapObject> StockBitmap()
{
    static auto bitmap = MakeStock(std::make_shared<BitmapObject>(Surface::Create(1, 1)));
    return bitmap;
}

std::shared_ptr<BrushObject> StockBrush(int which)
{
    static auto white = MakeStock(std::make_shared<BrushObject>(false, RGB(255, 255, 255)));
    static auto null = MakeStock(std::make_shared<BrushObject>(true, 0));
    return which == NULL_BRUSH ? null : white;
}

std::shared_ptr<PenObject> StockPen()
{
    static auto black = MakeStock(std::make_shared<PenObject>(RGB(0, 0, 0)));
    return black;
}

std::shared_ptr<FontObject> StockFont()
{
    static auto font = [] {
        LOGFONTW lf = {};
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        wcscpy(lf.lfFaceName, L"System");
        return MakeStock(std::make_shared<FontObject>(lf));
    }();
    return font;
}

std::shared_ptr<FontFace> FontObject::Face()
{
    std::lock_guard<std::mutex> guard(m_lock);
    unsigned generation = FontGeneration();
    if (!m_face || m_generation != generation) {
        m_face = ResolveFont(logFont);
        m_generation = generation;
    }
    return m_face;
}

Target DcObject::CurrentTarget() const
{
    if (!memory)
        return surfaceTarget;
    Target target;
    target.surface = bitmap->surface;
    target.clip.push_back(RECT{0, 0, target.surface->Width(), target.surface->Height()});
    return target;
}

DcLock::DcLock(DcObject* a, DcObject* b) : m_a(a), m_b(b == a ? nullptr : b)
{
    if (m_b)
        std::lock(m_a->lock, m_b->lock);
    else
        m_a->lock.lock();
}

DcLock::~DcLock()
{
    m_a->lock.unlock();
    if (m_b)
        m_b->lock.unlock();
}

SurfaceLock::SurfaceLock(Surface* a, Surface* b) : m_a(a), m_b(b == a ? nullptr : b)
{
    if (m_b)
        std::lock(m_a->Lock(), m_b->Lock());
    else
        m_a->Lock().lock();
}

SurfaceLock::~SurfaceLock()
{
    m_a->Lock().unlock();
    if (m_b)
        m_b->Lock().unlock();
}

std::shared_ptr<Surface> BitmapSurface(HBITMAP bitmap)
{
    auto object = LookupAs<BitmapObject>(reinterpret_cast<HGDIOBJ>(bitmap), Kind::Bitmap);
    return object ? object->surface : nullptr;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HGDIOBJ GetStockObject(int object)
{
    switch (object) {
        case WHITE_BRUSH:
        case NULL_BRUSH:
            return StockBrush(object)->handle;
        case BLACK_PEN:
            return StockPen()->handle;
        case SYSTEM_FONT:
            return StockFont()->handle;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ handle)
{
    std::shared_ptr<GdiObject> doomed;  // destroyed outside the table's lock
    {
        std::lock_guard<std::mutex> guard(TableLock());
        auto object = LookupLocked(handle);
        if (!object || object->kind == Kind::Dc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (object->stock)
            return TRUE;
        if (object->kind == Kind::Bitmap &&
            static_cast<BitmapObject*>(object.get())->selectedIn != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        UnregisterLocked(handle);
        doomed = std::move(object);
    }
    return TRUE;
}
