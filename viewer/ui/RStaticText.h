// CRStaticText: an anti-aliased, alpha-blended text over a copy of the parent's background,
// optionally framed by a nine-patch picture: the recording titles, time and G-sensor values,
// the parsing progress and the full-screen title. Mouse moves and left clicks are passed on to
// the parent (in the parent's client coordinates) before the label's own handling.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/RButton.h"

// Lives on the user-interface thread; SetText and GetText may be called from any thread.
class CRStaticText : public CWnd, public CDPIWnd {
public:
    CRStaticText();
    ~CRStaticText() override;

    // Copies the parent's background under the label and blends the nine-patch (empty: none)
    // over it, whose content area becomes the text rectangle (else the whole label). With a
    // record: text, normal, over and pressed colours, size and alignment are taken from it.
    // A given font is used (the owner keeps it); a label that has none draws with a font of its
    // own in the language's face. Repaints at once.
    void SetBackground(const std::wstring& ninePatch, HFONT font, CDC* parentBackground,
                       const CRButtonText* style);
    // Replaces the text. On the label's own thread it repaints at once; from another thread
    // the repaint is posted to the label's thread, which paints there.
    void SetText(const std::wstring& text);
    std::wstring GetText() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    void Redraw();
    void Paint(CDC* target);
    void DrawLabelText(const std::wstring& text);
    HFONT Font();

    COffscreenDC m_dcComposite;  // the composed label, kept until dirty
    int m_bDirty = 1;            // user-interface thread
    RECT m_rcClient = {0, 0, 0, 0};
    RECT m_rcText = {0, 0, 0, 0};
    COffscreenDC m_dcBackground;
    HFONT m_hFont = nullptr;         // the owner's
    HFONT m_hOwnFont = nullptr;      // owned; made when the owner gave none
    mutable std::mutex m_csText;     // guards m_strText
    std::wstring m_strText;
    // A repaint for a text set on another thread is posted and not handled yet.
    std::atomic<bool> m_bRepaintPosted{false};
    COLORREF m_clrNormal = RGB(0, 0, 0);
    COLORREF m_clrOver = RGB(0, 0, 0);
    COLORREF m_clrPress = RGB(0, 0, 0);
    int m_nSize = 0;  // pixels
    int m_nAlign = 0;
};
