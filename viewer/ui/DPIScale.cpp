#include "ui/DPIScale.h"

#include "platform/kernel.h"

constinit CDPIScale g_DPIScale;

int CDPIScale::SetDPI(int dpi)
{
    m_nPercent = MulDiv(dpi, 100, 96);
    m_nLastPercent = m_nPercent;
    if (m_nBasePercent == 0)
        m_nBasePercent = m_nPercent;
    return m_nPercent;
}

int CDPIScale::Scale(int value) const
{
    return MulDiv(value, m_nPercent, 100);
}

int CDPIScale::Unscale(int value) const
{
    if (m_nPercent == 0)
        return 0;
    return MulDiv(value, 100, m_nPercent);
}

void CDPIScale::ScalePoint(POINT* point) const
{
    if (!point)
        return;
    point->x = Scale(point->x);
    point->y = Scale(point->y);
}

void CDPIScale::UnscalePoint(POINT* point) const
{
    if (!point)
        return;
    point->x = Unscale(point->x);
    point->y = Unscale(point->y);
}

void CDPIScale::ScaleRect(RECT* rect) const
{
    if (!rect)
        return;
    rect->left = Scale(rect->left);
    rect->top = Scale(rect->top);
    rect->right = Scale(rect->right);
    rect->bottom = Scale(rect->bottom);
}

void CDPIScale::UnscaleRect(RECT* rect) const
{
    if (!rect)
        return;
    rect->left = Unscale(rect->left);
    rect->top = Unscale(rect->top);
    rect->right = Unscale(rect->right);
    rect->bottom = Unscale(rect->bottom);
}

HFONT DPICreateFontIndirect(const LOGFONTW* font)
{
    if (!font) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW scaled = *font;
    scaled.lfHeight = g_DPIScale.Scale(font->lfHeight);
    return CreateFontIndirectW(&scaled);
}
