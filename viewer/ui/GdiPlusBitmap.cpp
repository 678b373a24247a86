#include "ui/GdiPlusBitmap.h"

#include <cstring>

CGdiPlusBitmap::CGdiPlusBitmap() : m_pBitmap(nullptr) {}

CGdiPlusBitmap::~CGdiPlusBitmap()
{
    Empty();
}

void CGdiPlusBitmap::Empty()
{
    delete m_pBitmap;
    m_pBitmap = nullptr;
}

CGdiPlusBitmapResource::CGdiPlusBitmapResource() : m_hBuffer(nullptr) {}

CGdiPlusBitmapResource::~CGdiPlusBitmapResource()
{
    Empty();
}

void CGdiPlusBitmapResource::Empty()
{
    CGdiPlusBitmap::Empty();
    if (m_hBuffer) {
        GlobalUnlock(m_hBuffer);
        GlobalFree(m_hBuffer);
        m_hBuffer = nullptr;
    }
}

bool CGdiPlusBitmapResource::Load(LPCWSTR name, LPCWSTR type, HMODULE module)
{
    Empty();
    HRSRC resource = FindResourceW(module, name, type);
    if (!resource)
        return false;
    DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return false;
    m_hBuffer = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!m_hBuffer)
        return false;
    void* copy = GlobalLock(m_hBuffer);
    if (!copy) {
        Empty();
        return false;
    }
    std::memcpy(copy, bytes, size);
    // The stream leaves the block to this object, which frees it in Empty.
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(m_hBuffer, FALSE, &stream))) {
        Empty();
        return false;
    }
    m_pBitmap = Gdiplus::Bitmap::FromStream(stream.Get());
    stream = nullptr;
    if (!m_pBitmap || m_pBitmap->GetLastStatus() != Gdiplus::Ok) {
        Empty();
        return false;
    }
    return true;
}
