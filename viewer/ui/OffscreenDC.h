// COffscreenDC: a memory surface that a window composes its picture in before copying it to the
// screen in one step.
#pragma once

#include <memory>

#include "platform/mfc.h"

// Owns a framework memory device context and the 32-bit bitmap selected into it. Either both
// exist with the recorded size (created) or neither does (empty, size 0). Held by value by its
// window and used on the thread that paints it; not copyable, since it owns both objects.
class COffscreenDC {
public:
    COffscreenDC();
    // Create(pDC, width, height).
    COffscreenDC(CDC* pDC, int width, int height);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Releases the current surface, then makes a memory device context compatible with pDC
    // holding a zero-filled bitmap of width x height pixels compatible with pDC (not with the
    // new memory device context). 1 when both were made; 0, with the surface empty, when either
    // could not be (no pDC, a pDC without a device context, negative sizes). A size of 0 gives a
    // created surface that draws nothing. pDC may be this surface's own device context: the
    // new surface is then made from it before the old one goes.
    BOOL Create(CDC* pDC, int width, int height);
    // For surfaces made once and kept: as Create with width and height in design units, which
    // become pixels through g_DPIScale, and the pixel size is recorded. A surface that is created
    // already is left as it is and the result is 0.
    BOOL CreateScaled(CDC* pDC, int width, int height);
    // Puts back what the memory device context held, deletes it and the bitmap; the surface is
    // empty afterwards. Safe on an empty surface.
    void Release();

    BOOL IsCreated() const { return m_pDC != nullptr; }
    // The memory device context, drawing into the surface's bitmap; null when empty. The surface
    // keeps ownership, and the object lives until the next Create or Release.
    CDC* GetDC() const { return m_pDC.get(); }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

private:
    std::unique_ptr<CDC> m_pDC;
    std::unique_ptr<CBitmap> m_pBitmap;
    // What m_pDC held before m_pBitmap was selected, owned by m_pDC; put back before the bitmap
    // is deleted.
    CBitmap* m_pOldBitmap = nullptr;
    int m_nWidth = 0;   // pixels
    int m_nHeight = 0;  // pixels
};
