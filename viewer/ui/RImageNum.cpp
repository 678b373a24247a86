#include "ui/RImageNum.h"

#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/SkinImage.h"

CRImageNum::CRImageNum() : CDPIWnd(this) {}

CRImageNum::~CRImageNum()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

int CRImageNum::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    CDC* dc = GetDC();
    if (!dc)
        return -1;
    for (int i = 0; i < 10; ++i)
        LoadSkinImage(dc, m_dcDigit[i], L"num_speed_0" + std::to_wstring(i) + L".png");
    LoadSkinImage(dc, m_dcDigit[10], L"num_speed_-_dis.png");
    LoadSkinImage(dc, m_dcDigit[11], L"num_speed_-.png");
    ReleaseDC(dc);
    return 0;
}

void CRImageNum::SetNumber(int number)
{
    if (number < -1 || number > 999)
        return;
    m_nNumber = number;
    Redraw();
}

void CRImageNum::SetBackground(CDC* parentDC)
{
    PaintNow(*this, [&](CDC* dc) { CopyParentBackground(*this, dc, parentDC, m_dcBackground); });
}

void CRImageNum::Redraw()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Paint(dc); });
}

void CRImageNum::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void CRImageNum::OnEnable(BOOL enable)
{
    CWnd::OnEnable(enable);
    m_bEnabled = enable ? 1 : 0;
    Redraw();
}

void CRImageNum::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    Redraw();
}

void CRImageNum::Paint(CDC* target)
{
    CRect client;
    GetClientRect(&client);
    const int width = client.Width(), height = client.Height();
    if (FitSurface(m_dcFace, target, width, height))
        m_bDirty = 1;
    if (!m_dcFace.IsCreated())
        return;
    if (m_bDirty) {
        m_bDirty = 0;
        CDC* face = m_dcFace.GetDC();
        face->FillSolidRect(0, 0, width, height, RGB(0, 0, 0));
        if (m_dcBackground.IsCreated())
            face->BitBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0, SRCCOPY);
        // The step between digits is the width of the picture of 0. Without it the digits
        // would pile up at the left: none is drawn (the loader has reported the picture).
        const int step = m_dcDigit[0].GetWidth();
        const int n = m_nNumber;
        const int digits[3] = {n / 100, n / 10 % 10, n % 10};
        for (int k = 0; k < 3 && step > 0; ++k) {
            int index = !m_bEnabled ? 10 : n == -1 ? 11 : digits[k];
            const COffscreenDC& digit = m_dcDigit[index];
            BlendSurface(m_dcFace, g_DPIScale.Scale(k * step), 0,
                         g_DPIScale.Scale(digit.GetWidth()), g_DPIScale.Scale(digit.GetHeight()),
                         digit);
        }
    }
    target->BitBlt(0, 0, width, height, m_dcFace.GetDC(), 0, 0, SRCCOPY);
}
