// One loaded page: its script engine (a Duktape heap), its forms and canvases, its timers and
// the input it receives. Lives on the browser window's thread; the browser creates one per
// navigation and destroys it when the next page replaces it or the browser closes.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Html.h"
#include "Text.h"
#include "platform/browser.h"

struct duk_hthread;
typedef struct duk_hthread duk_context;

namespace platform::browser {

// What the page asks of the browser that shows it.
class PageHost {
public:
    virtual HWND PageWindow() = 0;
    // Shows a script's message box (through the container's IDocHostShowUI first).
    virtual void PageAlert(const std::wstring& text) = 0;
    // A navigation the page asked for; it happens after the running script has returned.
    virtual void PageNavigate(const std::wstring& url) = 0;
    // The container's external object, or null; no reference is added.
    virtual IDispatch* PageExternal() = 0;

protected:
    ~PageHost() = default;
};

// A form field's value is shared by the page's script and the COM objects that reach it, which
// may outlive the page.
struct Field {
    std::string name;
    std::string id;
    std::string type;
    std::string value;  // UTF-8
};

struct Form {
    std::string name;
    std::string id;
    std::vector<std::shared_ptr<Field>> fields;
};

class Page {
public:
    // scripts false: the page's scripts, handlers and timers never run.
    Page(PageHost* host, std::wstring url, std::string folder, const HtmlPage& html, bool scripts,
         int width, int height);
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Runs the page's scripts in order, then its load event.
    void Load();
    // Runs code as a global script. S_OK, or DISP_E_EXCEPTION after a script error (written to
    // the debug output), or E_FAIL for a page without scripts.
    HRESULT ExecScript(const std::string& code);

    // Input for the page, in the window's client pixels: "mousedown", "mousemove", "mouseup",
    // "click", "dblclick", "contextmenu" and "wheel" (wheel in WHEEL_DELTA units, forward
    // positive). False when a handler cancelled the event's default action.
    bool Mouse(const char* type, int x, int y, int button, int buttons, int wheel);
    // The window's new client size: the shown canvas follows it, then "resize" fires.
    void Resize(int width, int height);
    void Timer(UINT_PTR id);
    // Paints the page (white, then the shown canvas) into the window's device context.
    void Paint(HDC dc, const RECT& area);

    bool InScript() const { return m_depth > 0; }
    const std::wstring& Url() const { return m_url; }
    std::vector<std::shared_ptr<Form>>& Forms() { return m_forms; }
    // The canvas that fills the window, or null for a page without one.
    Canvas* ShownCanvas() { return m_canvases.empty() ? nullptr : m_canvases[0].get(); }

    // The window's members as an IDispatchEx sees them: the script's global variables.
    HRESULT GetDispID(const std::wstring& name, DWORD flags, DISPID* id);
    HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);

    // Called by the engine's execution-time check.
    bool TimedOut();

    // Bindings' access to the page (Page.cpp).
    struct Natives;
    friend struct Natives;

private:
    // Runs `body` inside a protected call with the time budget; reports a script error to the
    // debug output with `origin`. False after an error.
    template <class Body>
    bool Enter(const char* origin, Body body);
    void ReportError(const char* origin);
    void AfterScript();
    void SetUp(const HtmlPage& html);
    bool RunDispatcher(const char* member, const char* type, int x, int y, int button, int buttons,
                       int wheel);
    int AddCanvas(int width, int height);
    Canvas* CanvasAt(int index);
    // Pushes a VARIANT's value, taking over (and clearing) what it owns.
    void PushVariantAndClear(VARIANT* value);
    void ToVariant(int index, VARIANT* value);
    void PushDispatch(IDispatch* object);
    int AddTimer(bool repeat);

    PageHost* m_host;
    std::wstring m_url;
    std::string m_folder;  // the page's folder (native path), for <script src>
    bool m_scripts;
    duk_context* m_ctx = nullptr;
    size_t m_heapBytes = 0;  // bytes the engine holds, capped
    int m_depth = 0;         // nested entries into script
    bool m_timedOut = false;
    std::chrono::steady_clock::time_point m_deadline;
    std::vector<std::shared_ptr<Form>> m_forms;
    std::vector<std::shared_ptr<Field>> m_fields;  // every form's fields, in document order
    std::vector<std::unique_ptr<Canvas>> m_canvases;
    size_t m_canvasPixels = 0;
    std::map<int, bool> m_timers;  // live timer ids, true for intervals
    int m_nextTimer = 1;
    std::vector<std::string> m_memberNames;  // IDispatchEx members: DISPID 1000 + index
    std::map<IDispatch*, ComPtr<IDispatch>> m_hostObjects;  // references held for the script
    std::vector<HtmlScript> m_pendingScripts;
    bool m_hasBodyOnload = false;
    size_t m_scriptsBeforeBody = 0;

    friend void* PageAlloc(void*, size_t);
    friend void* PageRealloc(void*, void*, size_t);
    friend void PageFree(void*, void*);
};

// The time budget of one entry into script (platform::testing::SetScriptTimeBudget).
DWORD ScriptTimeBudget();

}  // namespace platform::browser
