#include "ui/OffscreenDC.h"

COffscreenDC::COffscreenDC() = default;

COffscreenDC::COffscreenDC(HDC dc, int width, int height)
{
    Create(dc, width, height);
}

COffscreenDC::~COffscreenDC()
{
    Release();
}

BOOL COffscreenDC::Create(HDC dc, int width, int height)
{
    if (m_hDC || m_hBitmap)
        Release();
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    HGDIOBJ old = bitmap ? SelectObject(memory, bitmap) : nullptr;
    if (!old) {
        if (bitmap)
            DeleteObject(bitmap);
        if (memory)
            DeleteDC(memory);
        return 0;
    }
    m_hDC = memory;
    m_hBitmap = bitmap;
    m_hOldObject = old;
    m_nWidth = width;
    m_nHeight = height;
    return 1;
}

void COffscreenDC::Release()
{
    if (m_hDC) {
        SelectObject(m_hDC, m_hOldObject);
        DeleteDC(m_hDC);
    }
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    m_hDC = nullptr;
    m_hBitmap = nullptr;
    m_hOldObject = nullptr;
    m_nWidth = 0;
    m_nHeight = 0;
}
