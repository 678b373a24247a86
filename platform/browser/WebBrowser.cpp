// The web-browser control: an in-place OLE object with its own child window that shows one
// page at a time and fires DWebBrowserEvents2 to its sinks.
#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "../com/classes.h"
#include "Dom.h"
#include "Page.h"
#include "platform/browser.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace platform::browser {

namespace {

std::atomic<bool> g_refuseSinks{false};

const wchar_t kWindowClass[] = L"PlatformWebBrowser";
// Posted to the browser window when a page asked for a navigation.
constexpr UINT kNavigateMessage = WM_APP + 0x4B56;

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::towlower(text[i]) != std::towlower(prefix[i]))
            return false;
    return true;
}

// The native file a URL names: a Windows path, a file: URL (file:///C:/x, file:///x, with %XX
// escapes), or a native absolute path. Empty for anything else.
std::string FileOfUrl(const std::wstring& url)
{
    std::wstring path = url;
    if (StartsWithNoCase(path, L"file:")) {
        path = path.substr(5);
        while (path.size() >= 1 && (path[0] == L'/' || path[0] == L'\\'))
            path.erase(0, 1);
        std::wstring decoded;
        for (size_t i = 0; i < path.size(); ++i) {
            if (path[i] == L'%' && i + 2 < path.size() && std::iswxdigit(path[i + 1]) &&
                std::iswxdigit(path[i + 2])) {
                decoded += wchar_t(std::stoi(std::wstring(path, i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += path[i];
            }
        }
        path = decoded;
        if (!(path.size() >= 2 && path[1] == L':'))
            return WideToUtf8(L"/" + path);
    }
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' &&
        (path[2] == L'\\' || path[2] == L'/'))
        return ToNativePath(path);
    if (!path.empty() && path[0] == L'/')
        return WideToUtf8(path);
    return {};
}

class CWebBrowser;

// The DWebBrowserEvents2 connection point; its references are the browser's.
class CEventPoint final : public IConnectionPoint {
public:
    explicit CEventPoint(CWebBrowser* browser) : m_browser(browser) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;

    std::map<DWORD, ComPtr<IDispatch>> sinks;
    DWORD nextCookie = 1;

private:
    CWebBrowser* m_browser;
};

class CWebBrowser final : public IWebBrowser2,
                          public IOleObject,
                          public IOleInPlaceObject,
                          public IConnectionPointContainer,
                          public PageHost {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object)
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        auto* browser = new CWebBrowser();
        HRESULT hr = browser->QueryInterface(iid, object);
        browser->Release();
        return hr;
    }

    // ---- IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser2)
            *object = static_cast<IWebBrowser2*>(this);
        else if (iid == IID_IOleObject)
            *object = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
            *object = static_cast<IOleInPlaceObject*>(this);
        else if (iid == IID_IConnectionPointContainer)
            *object = static_cast<IConnectionPointContainer*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = --m_refs;
        if (count == 0)
            delete this;
        return ULONG(count);
    }

    // ---- IDispatch: no names of its own
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

    // ---- IWebBrowser2
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override
    {
        if (!url)
            return E_INVALIDARG;
        std::wstring target(url, SysStringLen(url));
        if (m_page && m_page->InScript()) {
            PageNavigate(target);
            return S_OK;
        }
        NavigateNow(target);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override
    {
        if (!document)
            return E_POINTER;
        *document = m_page ? NewDocument(m_page) : nullptr;
        return m_page ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override
    {
        if (!url)
            return E_POINTER;
        *url = SysAllocStringLen(m_url.data(), UINT(m_url.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Width(LONG width) override { return PutSize(width, -1); }
    HRESULT STDMETHODCALLTYPE put_Height(LONG height) override { return PutSize(-1, height); }

    // ---- IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override
    {
        m_site = ComPtr<IOleClientSite>(site);
        m_uiHandler = nullptr;
        m_showUi = nullptr;
        m_hostFlags = 0;
        if (site) {
            site->QueryInterface(IID_PPV_ARGS(&m_uiHandler));
            site->QueryInterface(IID_PPV_ARGS(&m_showUi));
            if (m_uiHandler) {
                DOCHOSTUIINFO info{sizeof(DOCHOSTUIINFO), 0, 0, nullptr, nullptr};
                if (SUCCEEDED(m_uiHandler->GetHostInfo(&info)))
                    m_hostFlags = info.dwFlags;
                CoTaskMemFree(info.pchHostCss);
                CoTaskMemFree(info.pchHostNS);
                ComPtr<IDispatch> external;
                if (m_uiHandler->GetExternal(&external) == S_OK)
                    m_external = external;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override
    {
        m_hostApp = app ? app : L"";
        m_hostObject = object ? object : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override
    {
        ComPtr<IUnknown> keep(static_cast<IWebBrowser2*>(this));
        Deactivate();
        m_point.sinks.clear();
        m_page.reset();
        m_external = nullptr;
        SetClientSite(nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                     LPCRECT position) override
    {
        if (verb != OLEIVERB_SHOW && verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_PRIMARY)
            return OLEOBJ_E_INVALIDVERB;
        if (m_window)
            return S_OK;
        ComPtr<IOleClientSite> client = site ? ComPtr<IOleClientSite>(site) : m_site;
        ComPtr<IOleInPlaceSite> inPlace;
        if (!client || FAILED(client.As(&inPlace)))
            return E_UNEXPECTED;
        if (inPlace->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        inPlace->OnInPlaceActivate();
        HWND siteWindow = nullptr;
        if (FAILED(inPlace->GetWindow(&siteWindow)) || !siteWindow)
            siteWindow = parent;
        ComPtr<IOleInPlaceFrame> frame;
        ComPtr<IOleInPlaceUIWindow> document;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{sizeof(OLEINPLACEFRAMEINFO), FALSE, nullptr, nullptr, 0};
        if (FAILED(inPlace->GetWindowContext(&frame, &document, &pos, &clip, &info)) && position)
            pos = *position;
        if (position)
            pos = *position;
        if (!siteWindow || !RegisterWindowClass())
            return E_FAIL;
        m_window = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE, pos.left, pos.top,
                                   pos.right - pos.left, pos.bottom - pos.top, siteWindow, nullptr,
                                   nullptr, this);
        if (!m_window)
            return E_FAIL;
        // The live window keeps its object: Close (or the window's end) lets it go.
        AddRef();
        m_inPlaceSite = inPlace;
        inPlace->OnUIActivate();
        client->ShowObject();
        return S_OK;
    }

    // ---- IOleWindow, IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = m_window;
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override
    {
        if (!position)
            return E_INVALIDARG;
        if (!m_window)
            return OLE_E_NOT_INPLACEACTIVE;
        MoveWindow(m_window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
        return S_OK;
    }

    // ---- IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID events, IConnectionPoint** point) override
    {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (events != DIID_DWebBrowserEvents2)
            return CONNECT_E_NOCONNECTION;
        *point = &m_point;
        AddRef();
        return S_OK;
    }

    // ---- PageHost
    HWND PageWindow() override { return m_window; }
    void PageAlert(const std::wstring& text) override
    {
        std::wstring message = text;
        std::wstring caption = L"Message from webpage";
        LRESULT answer = 0;
        if (m_showUi && m_showUi->ShowMessage(m_window, message.data(), caption.data(),
                                              MB_OK | MB_ICONWARNING, nullptr, 0, &answer) == S_OK)
            return;
        MessageBoxW(m_window ? GetAncestor(m_window, GA_ROOT) : nullptr, text.c_str(),
                    caption.c_str(), MB_OK | MB_ICONWARNING);
    }
    void PageNavigate(const std::wstring& url) override
    {
        m_pendingUrl = url;
        if (m_window)
            PostMessageW(m_window, kNavigateMessage, 0, 0);
    }
    IDispatch* PageExternal() override { return m_external.Get(); }

    ULONG Refs() const { return ULONG(m_refs.load()); }
    CEventPoint m_point{this};

private:
    CWebBrowser() = default;
    ~CWebBrowser()
    {
        m_page.reset();
        if (m_window) {
            HWND window = m_window;
            m_window = nullptr;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
    }

    static bool RegisterWindowClass()
    {
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        if (GetClassInfoExW(nullptr, kWindowClass, &existing))
            return true;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &CWebBrowser::WindowProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        return RegisterClassExW(&wc) != 0;
    }

    // Ends in-place activity: the window goes, and with it the reference it held.
    void Deactivate()
    {
        if (!m_window)
            return;
        HWND window = m_window;
        m_window = nullptr;
        m_page.reset();
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
        if (m_inPlaceSite) {
            m_inPlaceSite->OnUIDeactivate(FALSE);
            m_inPlaceSite->OnInPlaceDeactivate();
        }
        m_inPlaceSite = nullptr;
        Release();
    }

    HRESULT PutSize(LONG width, LONG height)
    {
        if (!m_window)
            return E_FAIL;
        RECT rect;
        GetWindowRect(m_window, &rect);
        POINT origin{rect.left, rect.top};
        ScreenToClient(GetParent(m_window), &origin);
        int w = width >= 0 ? width : rect.right - rect.left;
        int h = height >= 0 ? height : rect.bottom - rect.top;
        MoveWindow(m_window, origin.x, origin.y, w, h, TRUE);
        return S_OK;
    }

    // Fires one event to every sink; the sinks may change while it runs.
    void Fire(DISPID id, std::vector<VARIANT>& args)
    {
        std::vector<ComPtr<IDispatch>> sinks;
        for (auto& [cookie, sink] : m_point.sinks)
            sinks.push_back(sink);
        for (auto& sink : sinks) {
            DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
            VARIANT result;
            VariantInit(&result);
            sink->Invoke(id, IID_NULL, 1024, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
            VariantClear(&result);
        }
    }

    bool BeforeNavigate(const std::wstring& url)
    {
        ComPtr<IUnknown> keep(static_cast<IWebBrowser2*>(this));
        VARIANT urlValue, flags, frame, post, headers;
        VariantInit(&urlValue);
        urlValue.vt = VT_BSTR;
        urlValue.bstrVal = SysAllocStringLen(url.data(), UINT(url.size()));
        VariantInit(&flags);
        flags.vt = VT_I4;
        VariantInit(&frame);
        frame.vt = VT_BSTR;
        VariantInit(&post);
        VariantInit(&headers);
        headers.vt = VT_BSTR;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        std::vector<VARIANT> args(7);
        for (VARIANT& v : args)
            VariantInit(&v);
        args[6].vt = VT_DISPATCH;
        args[6].pdispVal = static_cast<IWebBrowser2*>(this);
        VARIANT* refs[] = {&urlValue, &flags, &frame, &post, &headers};
        for (int i = 0; i < 5; ++i) {
            args[size_t(5 - i)].vt = VT_BYREF | VT_VARIANT;
            args[size_t(5 - i)].pvarVal = refs[i];
        }
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
        Fire(DISPID_BEFORENAVIGATE2, args);
        for (VARIANT* v : refs)
            VariantClear(v);
        return cancel == VARIANT_FALSE;
    }

    void NavigateEvent(DISPID id)
    {
        VARIANT urlValue;
        VariantInit(&urlValue);
        urlValue.vt = VT_BSTR;
        urlValue.bstrVal = SysAllocStringLen(m_url.data(), UINT(m_url.size()));
        std::vector<VARIANT> args(2);
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = static_cast<IWebBrowser2*>(this);
        args[0].vt = VT_BYREF | VT_VARIANT;
        args[0].pvarVal = &urlValue;
        Fire(id, args);
        VariantClear(&urlValue);
    }

    // The site's ambient download control flags (DISPID_AMBIENT_DLCONTROL), 0 without one.
    DWORD DownloadControl()
    {
        ComPtr<IDispatch> ambient;
        if (!m_site || FAILED(m_site.As(&ambient)))
            return 0;
        VARIANT value;
        VariantInit(&value);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        DWORD flags = 0;
        if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 1024,
                                      DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
            value.vt == VT_I4)
            flags = DWORD(value.lVal);
        VariantClear(&value);
        return flags;
    }

    void NavigateNow(const std::wstring& url)
    {
        ComPtr<IUnknown> keep(static_cast<IWebBrowser2*>(this));
        if (!BeforeNavigate(url))
            return;
        std::string html;
        std::string file;
        std::string folder;
        if (!StartsWithNoCase(url, L"about:")) {
            file = FileOfUrl(url);
            std::ifstream stream;
            if (!file.empty())
                stream.open(file, std::ios::binary);
            if (stream) {
                std::ostringstream text;
                text << stream.rdbuf();
                html = text.str();
                size_t slash = file.rfind('/');
                folder = slash == std::string::npos ? "." : file.substr(0, slash);
            } else {
                OutputDebugStringW((L"The page " + url + L" cannot be displayed\n").c_str());
            }
        }
        RECT client{};
        if (m_window)
            GetClientRect(m_window, &client);
        m_page.reset();
        m_url = url;
        bool scripts = !(DownloadControl() & DLCTL_NO_SCRIPTS);
        m_page = std::make_shared<Page>(this, url, folder, ParseHtml(html), scripts, client.right,
                                        client.bottom);
        std::shared_ptr<Page> page = m_page;
        NavigateEvent(DISPID_NAVIGATECOMPLETE2);
        if (m_page == page)
            page->Load();
        if (m_page == page)
            NavigateEvent(DISPID_DOCUMENTCOMPLETE);
        if (m_window)
            InvalidateRect(m_window, nullptr, FALSE);
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam)
    {
        ComPtr<IUnknown> keep(static_cast<IWebBrowser2*>(this));
        std::shared_ptr<Page> page = m_page;
        int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        int buttons = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0) |
                      ((wParam & MK_MBUTTON) ? 4 : 0);
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(m_window, &paint);
                if (page) {
                    page->Paint(dc, paint.rcPaint);
                } else {
                    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
                    FillRect(dc, &paint.rcPaint, white);
                    DeleteObject(white);
                }
                EndPaint(m_window, &paint);
                return 0;
            }
            case WM_SIZE:
                if (page)
                    page->Resize(LOWORD(lParam), HIWORD(lParam));
                return 0;
            case WM_TIMER:
                if (page)
                    page->Timer(wParam);
                else
                    KillTimer(m_window, wParam);
                return 0;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
                SetFocus(m_window);
                SetCapture(m_window);
                if (page)
                    page->Mouse("mousedown", x, y, message == WM_LBUTTONDOWN ? 0 : 2, buttons, 0);
                return 0;
            case WM_LBUTTONDBLCLK:
                SetFocus(m_window);
                SetCapture(m_window);
                if (page) {
                    page->Mouse("mousedown", x, y, 0, buttons, 0);
                    page->Mouse("dblclick", x, y, 0, buttons, 0);
                }
                return 0;
            case WM_MOUSEMOVE:
                if (page)
                    page->Mouse("mousemove", x, y, 0, buttons, 0);
                return 0;
            case WM_LBUTTONUP:
                if (GetCapture() == m_window)
                    ReleaseCapture();
                if (page) {
                    page->Mouse("mouseup", x, y, 0, buttons, 0);
                    if (m_page == page)
                        page->Mouse("click", x, y, 0, buttons, 0);
                }
                return 0;
            case WM_RBUTTONUP: {
                if (GetCapture() == m_window)
                    ReleaseCapture();
                if (page)
                    page->Mouse("mouseup", x, y, 2, buttons, 0);
                bool menu =
                    !page || m_page != page || page->Mouse("contextmenu", x, y, 2, buttons, 0);
                if (menu && m_uiHandler) {
                    // The host decides; the browser has no menu of its own to show otherwise.
                    POINT at{x, y};
                    ClientToScreen(m_window, &at);
                    m_uiHandler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr);
                }
                return 0;
            }
            case WM_MOUSEWHEEL: {
                POINT at{x, y};
                ScreenToClient(m_window, &at);
                if (page)
                    page->Mouse("wheel", at.x, at.y, 0, buttons, GET_WHEEL_DELTA_WPARAM(wParam));
                return 0;
            }
            case kNavigateMessage:
                if (!m_pendingUrl.empty()) {
                    std::wstring url;
                    url.swap(m_pendingUrl);
                    NavigateNow(url);
                }
                return 0;
            case WM_DESTROY:
                // The window goes with its parent: the object is no longer active in place.
                if (m_window) {
                    m_page.reset();
                    m_window = nullptr;
                    if (m_inPlaceSite)
                        m_inPlaceSite->OnInPlaceDeactivate();
                    m_inPlaceSite = nullptr;
                    Release();
                }
                return 0;
        }
        return DefWindowProcW(m_window, message, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            auto* browser = static_cast<CWebBrowser*>(create->lpCreateParams);
            browser->m_window = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(browser));
        }
        auto* browser = reinterpret_cast<CWebBrowser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!browser || browser->m_window != window) {
            if (message == WM_PAINT) {
                PAINTSTRUCT paint;
                BeginPaint(window, &paint);
                EndPaint(window, &paint);
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (message == WM_DESTROY)
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return browser->Handle(message, wParam, lParam);
    }

    std::atomic<LONG> m_refs{1};
    HWND m_window = nullptr;
    ComPtr<IOleClientSite> m_site;
    ComPtr<IOleInPlaceSite> m_inPlaceSite;
    ComPtr<IDocHostUIHandler> m_uiHandler;
    ComPtr<IDocHostShowUI> m_showUi;
    ComPtr<IDispatch> m_external;
    DWORD m_hostFlags = 0;  // DOCHOSTUIFLAG_* from the host (no scroll bars are drawn either way)
    std::wstring m_hostApp;
    std::wstring m_hostObject;
    std::wstring m_url;
    std::wstring m_pendingUrl;  // a navigation a page asked for, done from the window's queue
    std::shared_ptr<Page> m_page;
};

HRESULT CEventPoint::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = this;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CEventPoint::AddRef()
{
    return m_browser->AddRef();
}
ULONG CEventPoint::Release()
{
    return m_browser->Release();
}

HRESULT CEventPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    if (g_refuseSinks)
        return CONNECT_E_CANNOTCONNECT;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_PPV_ARGS(&events))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie++;
    sinks[*cookie] = events;
    return S_OK;
}

HRESULT CEventPoint::Unadvise(DWORD cookie)
{
    return sinks.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

const bool g_registered = RegisterSystemClass(CLSID_WebBrowser, &CWebBrowser::Create);

}  // namespace

}  // namespace platform::browser

HRESULT OleSetContainedObject(IUnknown* object, BOOL)
{
    if (!object)
        return E_INVALIDARG;
    return S_OK;
}

namespace platform::testing {

void RefuseBrowserEventSinks(bool refuse)
{
    platform::browser::g_refuseSinks = refuse;
}

}  // namespace platform::testing
