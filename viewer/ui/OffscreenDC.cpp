#include "ui/OffscreenDC.h"

#include "ui/DPIScale.h"

COffscreenDC::COffscreenDC() = default;

COffscreenDC::COffscreenDC(CDC* pDC, int width, int height)
{
    Create(pDC, width, height);
}

COffscreenDC::~COffscreenDC()
{
    Release();
}

BOOL COffscreenDC::Create(CDC* pDC, int width, int height)
{
    // The old pixels go before new ones are taken, unless the surface is to be compatible with
    // itself: then its device context must outlive the making of the new one.
    const bool fromOwnDC = pDC && pDC == m_pDC.get();
    if (!fromOwnDC && (m_pDC || m_pBitmap))
        Release();

    auto dc = std::make_unique<CDC>();
    auto bitmap = std::make_unique<CBitmap>();
    CBitmap* old = nullptr;
    if (pDC && dc->CreateCompatibleDC(pDC) && bitmap->CreateCompatibleBitmap(pDC, width, height))
        old = dc->SelectObject(bitmap.get());
    if (fromOwnDC)
        Release();
    // On failure the bitmap, never selected, and the device context delete themselves.
    if (!old)
        return 0;

    m_pDC = std::move(dc);
    m_pBitmap = std::move(bitmap);
    m_pOldBitmap = old;
    m_nWidth = width;
    m_nHeight = height;
    return 1;
}

BOOL COffscreenDC::CreateScaled(CDC* pDC, int width, int height)
{
    if (m_pDC || m_pBitmap)
        return 0;
    return Create(pDC, g_DPIScale.Scale(width), g_DPIScale.Scale(height));
}

void COffscreenDC::Release()
{
    if (m_pDC && m_pOldBitmap)
        m_pDC->SelectObject(m_pOldBitmap);
    // The device context first: its destructor also ends the object m_pOldBitmap points to.
    m_pDC.reset();
    m_pBitmap.reset();
    m_pOldBitmap = nullptr;
    m_nWidth = 0;
    m_nHeight = 0;
}
