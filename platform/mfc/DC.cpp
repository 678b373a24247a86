// CBitmap, CDC, CPaintDC and CClientDC: owners of GDI handles that pass their calls to GDI.
#include "platform/mfc.h"

CBitmap::CBitmap() : m_hObject(nullptr) {}

CBitmap::~CBitmap()
{
    if (m_hObject)
        ::DeleteObject(m_hObject);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int width, int height)
{
    if (m_hObject) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    m_hObject = ::CreateCompatibleBitmap(pDC ? pDC->m_hDC : nullptr, width, height);
    return m_hObject ? TRUE : FALSE;
}

BOOL CBitmap::Attach(HGDIOBJ bitmap)
{
    if (m_hObject || !bitmap)
        return FALSE;
    m_hObject = bitmap;
    return TRUE;
}

HGDIOBJ CBitmap::Detach()
{
    HGDIOBJ bitmap = m_hObject;
    m_hObject = nullptr;
    return bitmap;
}

BOOL CBitmap::DeleteObject()
{
    if (!m_hObject || !::DeleteObject(m_hObject))
        return FALSE;
    m_hObject = nullptr;
    return TRUE;
}

CDC::CDC() : m_hDC(nullptr) {}

CDC::~CDC()
{
    // The previous bitmaps handed out never own their handles.
    for (auto& previous : m_previousBitmaps)
        previous->Detach();
    if (m_hDC)
        ::DeleteDC(m_hDC);
}

BOOL CDC::Attach(HDC dc)
{
    if (m_hDC || !dc)
        return FALSE;
    m_hDC = dc;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC dc = m_hDC;
    m_hDC = nullptr;
    return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    if (m_hDC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
    return m_hDC ? TRUE : FALSE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    BOOL deleted = ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    return deleted;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap)
{
    if (!bitmap)
        return nullptr;
    HGDIOBJ previous = ::SelectObject(m_hDC, bitmap->m_hObject);
    if (!previous)
        return nullptr;
    if (previous == bitmap->m_hObject)
        return bitmap;
    // One wrapper per handle, so that swapping bitmaps back and forth does not pile them up.
    for (auto& wrapper : m_previousBitmaps)
        if (wrapper->m_hObject == previous)
            return wrapper.get();
    auto wrapper = std::make_unique<CBitmap>();
    wrapper->Attach(previous);
    m_previousBitmaps.push_back(std::move(wrapper));
    return m_previousBitmaps.back().get();
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    return ::SelectObject(m_hDC, object);
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    return ::SetTextColor(m_hDC, color);
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    return ::SetBkColor(m_hDC, color);
}

int CDC::SetBkMode(int mode)
{
    return ::SetBkMode(m_hDC, mode);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                 DWORD rop)
{
    return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX, sourceY,
                    rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                     int sourceWidth, int sourceHeight, DWORD rop)
{
    return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX,
                        sourceY, sourceWidth, sourceHeight, rop);
}

BOOL CDC::AlphaBlend(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                     int sourceWidth, int sourceHeight, BLENDFUNCTION blend)
{
    return ::AlphaBlend(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX,
                        sourceY, sourceWidth, sourceHeight, blend);
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    if (!rect || !m_hDC)
        return;
    ::SetBkColor(m_hDC, color);
    HBRUSH brush = CreateSolidBrush(color);
    if (!brush)
        return;
    ::FillRect(m_hDC, rect, brush);
    ::DeleteObject(brush);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF color)
{
    RECT rect = {x, y, x + width, y + height};
    FillSolidRect(&rect, color);
}

int CDC::FillRect(LPCRECT rect, HBRUSH brush)
{
    return ::FillRect(m_hDC, rect, brush);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT previous = {0, 0};
    ::MoveToEx(m_hDC, x, y, &previous);
    return CPoint(previous);
}

BOOL CDC::LineTo(int x, int y)
{
    return ::LineTo(m_hDC, x, y);
}

BOOL CDC::Polyline(const POINT* points, int count)
{
    return ::Polyline(m_hDC, points, count);
}

int CDC::DrawText(LPCWSTR text, int count, LPRECT rect, UINT format)
{
    return ::DrawTextW(m_hDC, text, count, rect, format);
}

int CDC::DrawText(const std::wstring& text, LPRECT rect, UINT format)
{
    return ::DrawTextW(m_hDC, text.c_str(), int(text.size()), rect, format);
}

CSize CDC::GetTextExtent(const std::wstring& text) const
{
    SIZE size = {0, 0};
    if (!GetTextExtentPoint32W(m_hDC, text.c_str(), int(text.size()), &size))
        return CSize();
    return CSize(size);
}

CPaintDC::CPaintDC(CWnd* window) : m_ps{}, m_hWnd(window ? window->m_hWnd : nullptr)
{
    if (m_hWnd)
        m_hDC = BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    if (m_hWnd && m_hDC)
        EndPaint(m_hWnd, &m_ps);
    // EndPaint has released the device context; the base must not delete it again.
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* window) : m_hWnd(window ? window->m_hWnd : nullptr)
{
    // An object without a window yet gets no device context, not the desktop's.
    if (!window || m_hWnd)
        m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}
