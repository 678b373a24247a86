// COffscreenDC: a memory surface that a window composes its picture in before copying it to the
// screen in one step.
#pragma once

#include "platform/gdi.h"

// Owns a memory device context and the 32-bit bitmap selected into it. Either both exist with
// the recorded size (created) or neither does (empty, size 0). Held by value by its window and
// used on the thread that paints it; not copyable, since it owns both handles.
class COffscreenDC {
public:
    COffscreenDC();
    // Create(dc, width, height).
    COffscreenDC(HDC dc, int width, int height);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Releases the current surface, then makes a memory device context compatible with `dc`
    // holding a zero-filled bitmap of width x height pixels compatible with `dc` (not with the
    // new memory device context). 1 when both were made; 0, with the surface empty, when either
    // could not be (negative sizes, a bad `dc`). A size of 0 gives a created surface that draws
    // nothing.
    BOOL Create(HDC dc, int width, int height);
    // Deletes the device context and the bitmap; the surface is empty afterwards. Safe on an
    // empty surface.
    void Release();

    BOOL IsCreated() const { return m_hDC != nullptr; }
    // The memory device context, null when empty. The surface keeps ownership.
    HDC GetDC() const { return m_hDC; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

private:
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    // What m_hDC held before m_hBitmap was selected; put back before the bitmap is deleted.
    HGDIOBJ m_hOldObject = nullptr;
    int m_nWidth = 0;   // pixels
    int m_nHeight = 0;  // pixels
};
