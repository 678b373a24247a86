// The child window of the main dialog that shows the map page: it embeds the web-browser
// control in place and is its container, passes the browser's navigation events to a handler,
// and lets its owner navigate, run script in the page, read a value back from the page's forms
// and publish a script-visible object in the page's window.
//
// User-interface thread only. The owner deletes the object after its window is gone; the
// reference count only tells when the browser has let go of it.
#pragma once

#include <atomic>
#include <string>

#include "platform/browser.h"
#include "playback/WebFormBases.h"
#include "playback/WebformDispatchHandler.h"

// The client-site base comes first: its IUnknown slots are the object's own (a separate
// IUnknown base would be a second, unreachable copy of them).
class WebForm : public TOleClientSite,
                public TDispatch,
                public TDocHostShowUI,
                public TDocHostUIHandler,
                public TOleInPlaceSite,
                public TOleInPlaceFrame {
public:
    // The handler is not owned; it must outlive the window.
    explicit WebForm(WebformDispatchHandler* handler);
    virtual ~WebForm();
    WebForm(const WebForm&) = delete;
    WebForm& operator=(const WebForm&) = delete;

    // Registers "WebformClass" when needed and creates the host window, which creates the
    // browser. Null when the class cannot be registered (after a message box).
    HWND create(HWND parent, HINSTANCE instance, int x, int y, int width, int height, HMENU id,
                BOOL scrollBars);
    // Nothing without a URL or a browser. When the document completed within the call, posts
    // WM_COMMAND (id, 3) to the parent.
    void Navigate(LPCWSTR url);
    // Runs code (system code page) in the page's default script language; the result is dropped.
    void ExecScript(std::string code);
    // Runs code as JScript, then reads element 0 of the last form that has elements; empty when
    // nothing can be read.
    std::wstring RunScriptAndReadValue(std::string code);
    // Makes the object the window's property `name` (system code page).
    void AddCustomObject(IDispatch* object, std::string name);
    void MoveWindow(int left, int top, int right, int bottom);

    HWND GetHwnd() const { return m_hWnd; }
    IWebBrowser2* GetBrowser() const { return m_pBrowser; }
    LONG GetRefCount() const { return m_ref.load(); }

    // ---- IUnknown, for every base
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ---- the container answers given differently from the bases'
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
    HRESULT STDMETHODCALLTYPE ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type,
                                          LPOLESTR helpFile, DWORD helpContext,
                                          LRESULT* result) override;
    // The browser's events (DWebBrowserEvents2) and the ambient download control.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

private:
    static constexpr int kDocumentPending = 2;

    static LRESULT CALLBACK WebformWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateBrowser();
    void CloseBrowser();
    IHTMLWindow2* PageWindow();

    std::atomic<LONG> m_ref{0};
    unsigned int m_flags = 0;  // kDocumentPending while a navigation runs
    HMENU m_id = nullptr;
    IWebBrowser2* m_pBrowser = nullptr;  // owned reference; null before creation and after close
    DWORD m_cookie = 0;
    BYTE m_scrollBars = 0;
    WebformDispatchHandler* m_pHandler;
    HWND m_hWnd = nullptr;
};
