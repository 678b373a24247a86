#include "playback/WebForm.h"

#include <vector>

#include "platform/kernel.h"

namespace {

const wchar_t kClassName[] = L"WebformClass";

// Text in the system code page to wide text and back.
std::wstring FromAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string ToAnsi(const wchar_t* text, size_t length)
{
    if (!text || length == 0)
        return {};
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(std::max(bytes, 0)), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, text, int(length), narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

// The string behind an event's URL argument (a VARIANT reference to a BSTR).
std::string UrlOf(const VARIANT& argument)
{
    const VARIANT* v = &argument;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    if (v->vt != VT_BSTR || !v->bstrVal)
        return {};
    return ToAnsi(v->bstrVal, SysStringLen(v->bstrVal));
}

// A BSTR for the lifetime of a call.
struct Bstr {
    explicit Bstr(const std::wstring& text)
        : value(SysAllocStringLen(text.data(), UINT(text.size())))
    {
    }
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR value;
};

}  // namespace

WebForm::WebForm(WebformDispatchHandler* handler) : m_pHandler(handler) {}

WebForm::~WebForm() = default;

HRESULT STDMETHODCALLTYPE WebForm::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *object = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *object = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDispatch)
        *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IDocHostUIHandler)
        *object = static_cast<IDocHostUIHandler*>(this);
    else if (iid == IID_IDocHostShowUI)
        *object = static_cast<IDocHostShowUI*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE WebForm::AddRef()
{
    return ULONG(++m_ref);
}

// The owner deletes the object; the count only follows the browser's references.
ULONG STDMETHODCALLTYPE WebForm::Release()
{
    LONG count = --m_ref;
    if (count == 0)
        OutputDebugStringW(L"WebForm::Release(): delete this");
    return ULONG(count);
}

HWND WebForm::create(HWND parent, HINSTANCE instance, int x, int y, int width, int height, HMENU id,
                     BOOL scrollBars)
{
    m_scrollBars = scrollBars ? 1 : 0;
    m_id = id;
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, kClassName, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &WebForm::WebformWndProc;
        wc.cbWndExtra = 4;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc)) {
            MessageBoxW(nullptr, L"Could not auto register the webform", L"WebForm::create", MB_OK);
            return nullptr;
        }
    }
    m_hWnd = CreateWindowExW(0, kClassName, L"Tessaly map", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                             x, y, width, height, parent, id, instance, this);
    return m_hWnd;
}

LRESULT CALLBACK WebForm::WebformWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* form =
            static_cast<WebForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->m_hWnd = window;
        form->CreateBrowser();
        if (form->m_pBrowser) {
            form->AddRef();
            SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(form));
        } else {
            MessageBoxW(nullptr, L"web->ibrowser is NULL", L"WM_CREATE", MB_OK);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* form = reinterpret_cast<WebForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form)
        return form->WndProc(window, message, wParam, lParam);
    if (message == WM_PAINT) {
        // A host without a browser still paints white, and validates what it painted.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WebForm::CreateBrowser()
{
    IOleObject* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object))) ||
        !object)
        return;
    RECT client{};
    GetClientRect(m_hWnd, &client);
    IOleClientSite* site = static_cast<IOleClientSite*>(this);
    if (object->SetClientSite(site) != S_OK || object->SetHostNames(L"MyHost", L"MyDoc") != S_OK ||
        OleSetContainedObject(object, TRUE) != S_OK ||
        object->DoVerb(OLEIVERB_SHOW, nullptr, site, 0, m_hWnd, &client) != S_OK) {
        object->Close(OLECLOSE_NOSAVE);
        object->Release();
        return;
    }
    bool connected = false;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&container)))) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point)) &&
            SUCCEEDED(point->Advise(static_cast<IDispatch*>(this), &m_cookie)))
            connected = true;
    }
    if (connected) {
        object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pBrowser));
    } else {
        // Without its events the browser is of no use: it is closed, so that it lets go of
        // this site and its window, rather than left active with nobody holding it.
        object->Close(OLECLOSE_NOSAVE);
    }
    object->Release();
}

void WebForm::CloseBrowser()
{
    if (!m_pBrowser)
        return;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(m_pBrowser->QueryInterface(IID_PPV_ARGS(&container)))) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point)))
            point->Unadvise(m_cookie);
    }
    ComPtr<IOleObject> object;
    m_pBrowser->QueryInterface(IID_PPV_ARGS(&object));
    m_pBrowser->Release();
    m_pBrowser = nullptr;
    if (object)
        object->Close(OLECLOSE_NOSAVE);
}

LRESULT WebForm::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            if (create->style & (WS_HSCROLL | WS_VSCROLL))
                SetWindowLongW(window, GWL_STYLE,
                               GetWindowLongW(window, GWL_STYLE) & ~LONG(WS_HSCROLL | WS_VSCROLL));
            break;
        }
        case WM_DESTROY:
            CloseBrowser();
            if (m_ref > 0)
                Release();
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        case WM_SIZE:
            if (m_pBrowser) {
                m_pBrowser->put_Width(LOWORD(lParam));
                m_pBrowser->put_Height(HIWORD(lParam));
            }
            break;
        case WM_SETTEXT:
            Navigate(reinterpret_cast<LPCWSTR>(lParam));
            break;
        case WM_PAINT: {
            // Painting validates the update region: a paint that leaves it would come back forever.
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            EndPaint(window, &paint);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WebForm::Navigate(LPCWSTR url)
{
    if (!url || !m_pBrowser)
        return;
    // The whole URL goes to the browser, however long (a fixed buffer would cut it).
    Bstr target(url);
    m_flags |= kDocumentPending;
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 0;
    m_pBrowser->Navigate(target.value, &flags, nullptr, nullptr, nullptr);
    if (!(m_flags & kDocumentPending) && m_hWnd)
        PostMessageW(GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(UINT(UINT_PTR(m_id)), 3),
                     LPARAM(m_hWnd));
}

IHTMLWindow2* WebForm::PageWindow()
{
    if (!m_pBrowser)
        return nullptr;
    ComPtr<IDispatch> dispatch;
    if (FAILED(m_pBrowser->get_Document(&dispatch)) || !dispatch)
        return nullptr;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(dispatch.As(&document)))
        return nullptr;
    IHTMLWindow2* window = nullptr;
    if (FAILED(document->get_parentWindow(&window)))
        return nullptr;
    return window;  // the caller releases it
}

void WebForm::ExecScript(std::string code)
{
    ComPtr<IHTMLWindow2> window;
    window.Attach(PageWindow());
    if (!window)
        return;
    Bstr text(FromAnsi(code));
    VARIANT result;
    VariantInit(&result);
    window->execScript(text.value, nullptr, &result);
    VariantClear(&result);
}

std::wstring WebForm::RunScriptAndReadValue(std::string code)
{
    std::wstring value;
    ComPtr<IHTMLWindow2> window;
    window.Attach(PageWindow());
    if (!window)
        return value;
    {
        Bstr text(FromAnsi(code));
        Bstr language(L"JScript");
        VARIANT result;
        VariantInit(&result);
        window->execScript(text.value, language.value, &result);
        VariantClear(&result);
    }
    ComPtr<IDispatch> dispatch;
    if (FAILED(m_pBrowser->get_Document(&dispatch)) || !dispatch)
        return value;
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLElementCollection> forms;
    if (FAILED(dispatch.As(&document)) || FAILED(document->get_forms(&forms)) || !forms)
        return value;
    LONG formCount = 0;
    forms->get_length(&formCount);
    for (LONG i = 0; i < formCount; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IDispatch> item;
        ComPtr<IHTMLFormElement> form;
        if (FAILED(forms->item(index, index, &item)) || !item || FAILED(item.As(&form)))
            continue;
        LONG length = 0;
        form->get_length(&length);
        for (LONG n = length - 1; n >= 0; --n) {
            VARIANT name;
            VariantInit(&name);
            name.vt = VT_I4;
            name.lVal = n;
            ComPtr<IDispatch> element;
            value.clear();
            if (FAILED(form->item(name, index, &element)) || !element)
                continue;
            wchar_t member[] = L"value";
            LPOLESTR names[] = {member};
            DISPID id = DISPID_UNKNOWN;
            if (FAILED(element->GetIDsOfNames(IID_NULL, names, 1, 1024, &id)))
                continue;
            VARIANT result;
            VariantInit(&result);
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            if (SUCCEEDED(element->Invoke(id, IID_NULL, 1024, DISPATCH_PROPERTYGET, &none, &result,
                                          nullptr, nullptr)) &&
                result.vt == VT_BSTR && result.bstrVal)
                value.assign(result.bstrVal, SysStringLen(result.bstrVal));
            VariantClear(&result);
        }
    }
    return value;
}

void WebForm::AddCustomObject(IDispatch* object, std::string name)
{
    ComPtr<IHTMLWindow2> window;
    window.Attach(PageWindow());
    if (!window)
        return;
    ComPtr<IDispatchEx> members;
    if (FAILED(window.As(&members)))
        return;
    Bstr member(FromAnsi(name));
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(members->GetDispID(member.value, fdexNameEnsure, &id)))
        return;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = object;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    members->InvokeEx(id, 1024, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

void WebForm::MoveWindow(int left, int top, int right, int bottom)
{
    if (m_hWnd)
        ::MoveWindow(m_hWnd, left, top, right - left, bottom - top, TRUE);
}

HRESULT STDMETHODCALLTYPE WebForm::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_hWnd;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WebForm::GetWindowContext(IOleInPlaceFrame** frame,
                                                    IOleInPlaceUIWindow** document, LPRECT position,
                                                    LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    if (frame) {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (document)
        *document = nullptr;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = m_hWnd;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    RECT client{};
    GetClientRect(m_hWnd, &client);
    if (position)
        *position = client;
    if (clip)
        *clip = client;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WebForm::OnPosRectChange(LPCRECT position)
{
    if (!m_pBrowser)
        return S_OK;
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(m_pBrowser->QueryInterface(IID_PPV_ARGS(&inPlace))))
        inPlace->SetObjectRects(position, position);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WebForm::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_NO3DOUTERBORDER;
    if (!m_scrollBars)
        info->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WebForm::GetExternal(IDispatch** external)
{
    if (!external)
        return E_POINTER;
    *external = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WebForm::ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                               LRESULT*)
{
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE WebForm::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params,
                                          VARIANT* result, EXCEPINFO*, UINT*)
{
    switch (member) {
        case DISPID_BEFORENAVIGATE2: {
            if (!params || params->cArgs < 7 || !params->rgvarg)
                return S_OK;
            std::string url = UrlOf(params->rgvarg[5]);
            if (url.empty())
                return S_OK;
            bool cancel = false;
            if (m_pHandler)
                m_pHandler->BeforeNavigate(url, &cancel);
            VARIANT& argument = params->rgvarg[0];
            if (argument.vt == (VT_BYREF | VT_BOOL) && argument.pboolVal)
                *argument.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case DISPID_NAVIGATECOMPLETE2: {
            if (!params || params->cArgs < 2 || !params->rgvarg)
                return S_OK;
            std::string url = UrlOf(params->rgvarg[0]);
            if (url.empty())
                return S_OK;
            if (m_pHandler)
                m_pHandler->NavigateComplete(url, this);
            return S_OK;
        }
        case DISPID_DOCUMENTCOMPLETE:
            m_flags &= ~unsigned(kDocumentPending);
            return S_OK;
        case DISPID_AMBIENT_DLCONTROL:
            if (result) {
                VariantClear(result);
                result->vt = VT_I4;
                result->lVal = DLCTL_SILENT | DLCTL_BGSOUNDS | DLCTL_VIDEOS | DLCTL_DLIMAGES;
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}
