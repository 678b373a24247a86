// The web-browser control as a container sees it: in-place activation, navigation events and
// their cancellation, the page's canvas in the window's pixels, input and timers reaching the
// page's script, host objects called from script, and scripts that fail or never end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/testing.h"

namespace {

// A container: client site, in-place site, the event sink (recording each event with its URL)
// and the ambient download control.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
public:
    HWND window = nullptr;
    std::vector<std::pair<DISPID, std::wstring>> events;
    std::wstring cancelPrefix;  // BeforeNavigate2 cancels URLs that start with it
    VARIANT_BOOL cancelValue = VARIANT_TRUE;
    LONG dlControl = 0;
    LONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *object = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IDispatch)
            *object = static_cast<IDispatch*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ++refs;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override
    {
        *out = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO) override
    {
        *frame = nullptr;
        *doc = nullptr;
        GetClientRect(window, position);
        *clip = *position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == DISPID_AMBIENT_DLCONTROL) {
            result->vt = VT_I4;
            result->lVal = dlControl;
            return S_OK;
        }
        if (id != DISPID_BEFORENAVIGATE2 && id != DISPID_NAVIGATECOMPLETE2 &&
            id != DISPID_DOCUMENTCOMPLETE)
            return DISP_E_MEMBERNOTFOUND;
        // The URL is a VARIANT reference: 5 of 7 arguments from the end before a navigation,
        // 0 of 2 after; the browser comes first (the highest index).
        UINT urlIndex = id == DISPID_BEFORENAVIGATE2 ? 5 : 0;
        EXPECT_EQ(params->cArgs, id == DISPID_BEFORENAVIGATE2 ? 7u : 2u);
        EXPECT_EQ(params->rgvarg[params->cArgs - 1].vt, VT_DISPATCH);
        const VARIANT& url = params->rgvarg[urlIndex];
        EXPECT_EQ(url.vt, VT_BYREF | VT_VARIANT);
        std::wstring text = url.pvarVal->bstrVal;
        events.push_back({id, text});
        if (id == DISPID_BEFORENAVIGATE2 && !cancelPrefix.empty() &&
            text.rfind(cancelPrefix, 0) == 0) {
            EXPECT_EQ(params->rgvarg[0].vt, VT_BYREF | VT_BOOL);
            *params->rgvarg[0].pboolVal = cancelValue;
        }
        return S_OK;
    }
};

// A host object for the page: method 1 "ping" counts calls and answers its argument count;
// property 2 "size" is read-only (42); anything else is unknown.
class Host final : public IDispatch {
public:
    int pings = 0;
    std::wstring lastText;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override
    {
        std::wstring name = names[0];
        *ids = name == L"ping" ? 1 : name == L"size" ? 2 : DISPID_UNKNOWN;
        return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == 1 && (flags & DISPATCH_METHOD)) {
            ++pings;
            if (params->cArgs && params->rgvarg[params->cArgs - 1].vt == VT_BSTR)
                lastText = params->rgvarg[params->cArgs - 1].bstrVal;
            result->vt = VT_I4;
            result->lVal = LONG(params->cArgs);
            return S_OK;
        }
        if (id == 2 && flags == DISPATCH_PROPERTYGET) {
            result->vt = VT_I4;
            result->lVal = 42;
            return S_OK;
        }
        return E_FAIL;
    }
    LONG refs = 1;
};

class Browser : public ::testing::Test {
protected:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 120;

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        platform::testing::ClearDebugStrings();
        platform::testing::AnswerMessageBoxes({});
        platform::testing::ClearShownMessageBoxes();
        m_folder = std::filesystem::temp_directory_path() /
                   ("browser-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
        m_site.window = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth,
                                        kHeight, nullptr, nullptr, nullptr, nullptr);
        if (!m_site.window) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.lpszClassName = L"BrowserTestHost";
            RegisterClassW(&wc);
            m_site.window = CreateWindowExW(0, L"BrowserTestHost", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                            kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
        }
        ASSERT_NE(m_site.window, nullptr);
        ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                   reinterpret_cast<void**>(&m_object)),
                  S_OK);
        ASSERT_EQ(m_object->SetClientSite(&m_site), S_OK);
        RECT rect{0, 0, kWidth, kHeight};
        ASSERT_EQ(m_object->DoVerb(OLEIVERB_SHOW, nullptr, &m_site, 0, m_site.window, &rect), S_OK);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(m_object->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
        ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&m_site), &m_cookie), S_OK);
        ASSERT_EQ(m_object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_browser)),
                  S_OK);
    }

    void TearDown() override
    {
        if (m_browser)
            m_browser->Release();
        if (m_object) {
            m_object->Close(OLECLOSE_NOSAVE);
            m_object->Release();
        }
        DestroyWindow(m_site.window);
        platform::testing::SetScriptTimeBudget(0);
        // The browser let go of every reference it took on the site.
        EXPECT_EQ(m_site.refs, 1);
        CoUninitialize();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::wstring Page(const std::string& name, const std::string& html)
    {
        std::ofstream(m_folder / name, std::ios::binary) << html;
        return platform::ToWindowsPath((m_folder / name).string());
    }
    void Navigate(const std::wstring& url)
    {
        BSTR text = SysAllocString(url.c_str());
        EXPECT_EQ(m_browser->Navigate(text, nullptr, nullptr, nullptr, nullptr), S_OK);
        SysFreeString(text);
    }
    ComPtr<IHTMLWindow2> Window()
    {
        ComPtr<IDispatch> dispatch;
        ComPtr<IHTMLDocument2> document;
        ComPtr<IHTMLWindow2> window;
        EXPECT_EQ(m_browser->get_Document(&dispatch), S_OK);
        if (dispatch && SUCCEEDED(dispatch.As(&document)))
            document->get_parentWindow(&window);
        return window;
    }
    HRESULT Run(const std::wstring& code)
    {
        ComPtr<IHTMLWindow2> window = Window();
        if (!window)
            return E_FAIL;
        BSTR text = SysAllocString(code.c_str());
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = window->execScript(text, nullptr, &result);
        EXPECT_EQ(result.vt, VT_EMPTY);
        SysFreeString(text);
        return hr;
    }
    // A global of the page, through the window's IDispatchEx.
    VARIANT Global(const wchar_t* name)
    {
        VARIANT result;
        VariantInit(&result);
        ComPtr<IDispatchEx> members;
        if (FAILED(Window().As(&members)))
            return result;
        BSTR text = SysAllocString(name);
        DISPID id;
        if (SUCCEEDED(members->GetDispID(text, 0, &id))) {
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            members->InvokeEx(id, 1024, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        }
        SysFreeString(text);
        return result;
    }
    std::wstring Text(const wchar_t* name)
    {
        VARIANT v = Global(name);
        std::wstring text = v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"<not a string>";
        VariantClear(&v);
        return text;
    }
    LONG Number(const wchar_t* name)
    {
        VARIANT v = Global(name);
        LONG n = v.vt == VT_I4 ? v.lVal : -999999;
        VariantClear(&v);
        return n;
    }
    void Publish(const wchar_t* name, IDispatch* object)
    {
        ComPtr<IDispatchEx> members;
        ASSERT_EQ(Window().As(&members), S_OK);
        BSTR text = SysAllocString(name);
        DISPID id;
        ASSERT_EQ(members->GetDispID(text, fdexNameEnsure, &id), S_OK);
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_DISPATCH;
        value.pdispVal = object;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        EXPECT_EQ(
            members->InvokeEx(id, 1024, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
            S_OK);
        SysFreeString(text);
    }
    HWND BrowserWindow()
    {
        ComPtr<IOleInPlaceObject> inPlace;
        HWND window = nullptr;
        if (SUCCEEDED(m_object->QueryInterface(IID_PPV_ARGS(&inPlace))))
            inPlace->GetWindow(&window);
        return window;
    }
    uint32_t PixelAt(int x, int y)
    {
        platform::testing::PumpMessages();
        std::vector<uint32_t> pixels;
        SIZE size{};
        EXPECT_TRUE(platform::testing::ReadWindowPixels(m_site.window, &pixels, &size));
        return pixels[size_t(y) * size_t(size.cx) + size_t(x)] & 0xFFFFFF;
    }
    bool DebugSaid(const std::wstring& part)
    {
        for (const std::wstring& text : platform::testing::DebugStrings())
            if (text.find(part) != std::wstring::npos)
                return true;
        return false;
    }

    std::filesystem::path m_folder;
    Site m_site;
    IOleObject* m_object = nullptr;
    IWebBrowser2* m_browser = nullptr;
    DWORD m_cookie = 0;
};

TEST_F(Browser, NavigationFiresItsEventsInOrderAndHonoursCancel)
{
    std::wstring first = Page("first.htm", "<script>var loaded = 'first';</script>");
    Navigate(first);
    ASSERT_EQ(m_site.events.size(), 3u);
    EXPECT_EQ(m_site.events[0], std::make_pair(DISPID(DISPID_BEFORENAVIGATE2), first));
    EXPECT_EQ(m_site.events[1], std::make_pair(DISPID(DISPID_NAVIGATECOMPLETE2), first));
    EXPECT_EQ(m_site.events[2], std::make_pair(DISPID(DISPID_DOCUMENTCOMPLETE), first));
    EXPECT_EQ(Text(L"loaded"), L"first");

    // A cancelled navigation leaves the page as it was, with any nonzero Cancel.
    for (VARIANT_BOOL cancel : {VARIANT_TRUE, VARIANT_BOOL(1)}) {
        m_site.events.clear();
        m_site.cancelPrefix = L"C:";
        m_site.cancelValue = cancel;
        Navigate(Page("second.htm", "<script>var loaded = 'second';</script>"));
        ASSERT_EQ(m_site.events.size(), 1u);
        EXPECT_EQ(Text(L"loaded"), L"first");
    }

    // A page's own navigation happens after its script, from the window's queue.
    m_site.cancelPrefix.clear();
    m_site.events.clear();
    std::wstring third = Page("third.htm", "<script>var loaded = 'third';</script>");
    std::wstring url = L"file:///" + third.substr(0, 2) + L"/" + third.substr(3);
    std::replace(url.begin(), url.end(), L'\\', L'/');
    EXPECT_EQ(Run(L"location.href = '" + url + L"'; var after = 'still first';"), S_OK);
    EXPECT_EQ(Text(L"after"), L"still first");
    platform::testing::PumpMessages();
    EXPECT_EQ(Text(L"loaded"), L"third");
    ASSERT_EQ(m_site.events.size(), 3u);
    EXPECT_EQ(m_site.events[0].second, url);
}

TEST_F(Browser, ScriptsStayOffWhenTheSiteSaysSo)
{
    m_site.dlControl = DLCTL_NO_SCRIPTS;
    Navigate(Page("page.htm", "<form><input name=f value=v></form><script>var x = 1;</script>"));
    EXPECT_EQ(Run(L"var y = 2;"), E_FAIL);
    ComPtr<IDispatch> dispatch;
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLElementCollection> forms;
    ASSERT_EQ(m_browser->get_Document(&dispatch), S_OK);
    ASSERT_EQ(dispatch.As(&document), S_OK);
    ASSERT_EQ(document->get_forms(&forms), S_OK);
    LONG count = 0;
    EXPECT_EQ(forms->get_length(&count), S_OK);
    EXPECT_EQ(count, 1);
}

TEST_F(Browser, ACanvasFillsTheWindowAndShowsWhatTheScriptDrew)
{
    Navigate(Page("canvas.htm", R"(<body><canvas id="c"></canvas><script>
        var c = document.getElementById('c');
        var g = c.getContext('2d');
        var size = c.width + 'x' + c.height;
        g.fillStyle = 'rgba(0, 0, 255, 1)';
        g.fillRect(10, 10, 20, 20);
        g.strokeStyle = '#00ff00';
        g.lineWidth = 4;
        g.beginPath(); g.moveTo(50, 60); g.lineTo(150, 60); g.stroke();
        g.fillStyle = 'red';
        g.beginPath(); g.arc(100, 100, 8, 0, Math.PI * 2); g.fill();
        g.globalAlpha = 0.5; g.fillStyle = 'black'; g.fillRect(180, 0, 20, 20);
        </script></body>)"));
    EXPECT_EQ(Text(L"size"), std::to_wstring(kWidth) + L"x" + std::to_wstring(kHeight));
    EXPECT_EQ(PixelAt(20, 20), 0x0000FFu);
    EXPECT_EQ(PixelAt(100, 60), 0x00FF00u);
    EXPECT_EQ(PixelAt(100, 100), 0xFF0000u);
    EXPECT_EQ(PixelAt(5, 5), 0xFFFFFFu);  // the page's white where nothing was drawn
    uint32_t half = PixelAt(190, 10);
    EXPECT_NEAR(int(half & 0xFF), 128, 2);

    // The canvas follows the window's size, and the page hears of it.
    EXPECT_EQ(Run(L"var resized = 0; window.onresize = function () { resized = c.width; };"), S_OK);
    EXPECT_EQ(m_browser->put_Width(150), S_OK);
    platform::testing::PumpMessages();
    EXPECT_EQ(Number(L"resized"), 150);
}

TEST_F(Browser, MouseDoubleClicksWheelAndTimersReachThePage)
{
    Navigate(Page("input.htm", R"(<canvas></canvas><script>
        var log = [];
        var canvas = document.getElementsByTagName('canvas')[0];
        ['mousedown', 'mousemove', 'mouseup', 'click', 'dblclick'].forEach(function (t) {
            canvas.addEventListener(t, function (e) { log.push(t + '@' + e.clientX + ',' + e.clientY); });
        });
        document.addEventListener('wheel', function (e) { log.push('wheel ' + e.deltaY); });
        var ticks = 0, once = 0;
        var interval = setInterval(function (step) { ticks += step; if (ticks >= 3) clearInterval(interval); }, 100, 1);
        setTimeout("once++", 250);
        function text() { return log.join(' '); }
        </script>)"));
    platform::testing::UseManualClock();
    platform::testing::InjectMouseButton(30, 40, platform::testing::MouseButton::Left, true);
    platform::testing::InjectMouseMove(35, 45);
    platform::testing::InjectMouseButton(35, 45, platform::testing::MouseButton::Left, false);
    platform::testing::InjectWheel(35, 45, 120);
    platform::testing::PumpMessages();
    EXPECT_EQ(Run(L"var said = text();"), S_OK);
    EXPECT_EQ(Text(L"said"),
              L"mousedown@30,40 mousemove@35,45 mouseup@35,45 click@35,45 wheel -100");
    // Two quick clicks at one place: the second press is the page's double click.
    EXPECT_EQ(Run(L"log = [];"), S_OK);
    for (bool down : {true, false, true, false})
        platform::testing::InjectMouseButton(60, 70, platform::testing::MouseButton::Left, down);
    platform::testing::PumpMessages();
    EXPECT_EQ(Run(L"var twice = text();"), S_OK);
    EXPECT_EQ(Text(L"twice"), L"mousedown@60,70 mouseup@60,70 click@60,70 mousedown@60,70 "
                              L"dblclick@60,70 mouseup@60,70 click@60,70");
    platform::testing::AdvanceClockAndPump(1000);
    EXPECT_EQ(Number(L"ticks"), 3);
    EXPECT_EQ(Number(L"once"), 1);
}

TEST_F(Browser, HostObjectsAreCalledThroughTheirDispatch)
{
    Navigate(Page("host.htm", "<script>var ready = 1;</script>"));
    Host host;
    Publish(L"host", &host);
    EXPECT_EQ(Run(L"var answer = host.ping('one', 2);"), S_OK);
    EXPECT_EQ(host.pings, 1);
    EXPECT_EQ(host.lastText, L"one");
    EXPECT_EQ(Number(L"answer"), 2);
    EXPECT_EQ(Run(L"var size = host.size;"), S_OK);
    EXPECT_EQ(Number(L"size"), 42);
    // A refused property put is a script error the page can catch; unknown names are undefined.
    EXPECT_EQ(Run(L"var caught = 'no'; try { host.size = 3; } catch (e) { caught = 'yes'; }"),
              S_OK);
    EXPECT_EQ(Text(L"caught"), L"yes");
    EXPECT_EQ(Run(L"var kind = typeof host.nothing;"), S_OK);
    EXPECT_EQ(Text(L"kind"), L"undefined");
    // The page's references go with the page.
    Navigate(L"about:blank");
    EXPECT_EQ(host.refs, 1);
}

TEST_F(Browser, AlertGoesToAMessageBoxWithoutAHostHook)
{
    Navigate(Page("alert.htm", "<script>alert('Hello ' + 'map'); var after = 1;</script>"));
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Hello map");
    EXPECT_EQ(Number(L"after"), 1);
}

TEST_F(Browser, FailingAndRunawayScriptsAreStoppedAndReported)
{
    Navigate(Page("bad.htm", R"(<script>var before = 1;</script>
        <script>this is not script (</script>
        <script>var after = 2; undefinedFunction();</script>
        <canvas></canvas><script>var last = 3;</script>)"));
    EXPECT_EQ(Number(L"before"), 1);
    EXPECT_EQ(Number(L"after"), 2);
    EXPECT_EQ(Number(L"last"), 3);
    EXPECT_TRUE(DebugSaid(L"SyntaxError"));
    EXPECT_TRUE(DebugSaid(L"undefinedFunction"));

    // A loop that never ends is stopped, also when it catches the error, and the page goes on.
    platform::testing::SetScriptTimeBudget(200);
    EXPECT_EQ(Run(L"for (;;) { try { while (true) {} } catch (e) {} }"), DISP_E_EXCEPTION);
    EXPECT_TRUE(DebugSaid(L"time budget"));
    EXPECT_EQ(Run(L"var alive = 'yes';"), S_OK);
    EXPECT_EQ(Text(L"alive"), L"yes");
    EXPECT_EQ(Run(L"throw new Error('thrown');"), DISP_E_EXCEPTION);
}

// Decimal texts are parsed by a quick path; each reader of numbers must still give what the
// engine's exact parser gives (the same text written with an exponent goes to that parser), and
// every text outside plain decimals keeps its own reader's rules.
TEST_F(Browser, NumbersReadFromTextAreExact)
{
    Navigate(Page("numbers.htm", R"(<script>
        var faults = [];
        function exact(t) {
            var negative = t.charAt(0) === '-', s = negative ? t.slice(1) : t;
            var dot = s.indexOf('.');
            var digits = dot < 0 ? s : s.slice(0, dot) + s.slice(dot + 1);
            var v = Number(digits + 'e-' + (dot < 0 ? 0 : s.length - dot - 1));
            return negative ? -v : v;
        }
        function same(a, b) { return a === b ? a !== 0 || 1 / a === 1 / b : a !== a && b !== b; }
        function check(what, got, expected) {
            if (!same(got, expected))
                faults.push(what + ' gave ' + got + ', not ' + expected);
        }
        var texts = ['126.912345', '37.500000', '-0.000001', '0.1', '-0', '0', '-180.000000',
                     '9007199254740993', '0.1000000000000000055511151231257827',
                     '123456789012345678901234567890', '1.7976931348623157', '2.2250738585072011',
                     '0.30000000000000004', '179.999999', '-85.051129', '123456789.012345',
                     '0.000123456789012345', '4503599627370497.5', '999999999999999'];
        var seed = 7;
        for (var i = 0; i < 2000; i++) {
            seed = (seed * 1103515245 + 12345) % 2147483648;
            texts.push(((seed / 2147483648) * 360 - 180).toFixed(i % 12));
        }
        for (var k = 0; k < texts.length; k++) {
            var t = texts[k], v = exact(t);
            check('Number(' + t + ')', Number(t), v);
            check('parseFloat(' + t + ')', parseFloat(t), v);
            check('JSON.parse(' + t + ')', JSON.parse(t), v);
            check('JSON.parse([' + t + '])', JSON.parse('[1,' + t + ']')[1], v);
            check('literal ' + t, eval('(' + t + ')'), v);
        }
        // Texts the readers treat each in their own way.
        var rules = [['Number("5.")', 5], ['Number(".5")', 0.5], ['Number(" 7.25 ")', 7.25],
                     ['Number("")', 0], ['Number("-")', NaN], ['Number("1.5x")', NaN],
                     ['Number("012")', 12], ['Number("0x1F")', 31], ['Number("+4.5")', 4.5],
                     ['parseFloat("3.25abc")', 3.25], ['parseFloat("-.5")', -0.5],
                     ['parseInt("1.5")', 1], ['parseInt("-12")', -12], ['parseInt("012")', 12],
                     ['parseInt("0.9")', 0], ['1 / parseInt("-0")', -Infinity],
                     ['1 / JSON.parse("-0")', -Infinity]];
        for (var r = 0; r < rules.length; r++)
            check(rules[r][0], eval(rules[r][0]), rules[r][1]);
        var refused = ['01', '-', '1.', '.5', '+1', '1.5.2', '--1'];
        for (var q = 0; q < refused.length; q++) {
            try {
                JSON.parse(refused[q]);
                faults.push('JSON.parse took ' + refused[q]);
            } catch (e) {
            }
        }
        var numberFaults = faults.slice(0, 5).join('; ');
        </script>)"));
    EXPECT_EQ(Text(L"numberFaults"), L"");
}

TEST_F(Browser, MalformedAndMissingPagesGiveEmptyPages)
{
    using namespace std::string_literals;
    const std::string pages[] = {
        "<html><script>var a = 1;"s,              // a script without its end
        "<form><input name='x value=1><canvas"s,  // an attribute without its quote
        "\xff\xfe<scr\0ipt>\x80\x81</script><script>\x80 = 1</script>"s,
        "<canvas width=99999999 height=-5></canvas><script>var c = document.getElementsByTagName('canvas')[0].getContext('2d'); c.scale(0, 0); c.fillText('\\uD800', 1, 1); c.arc(1, 1, 1, 0, 1e300); c.fill();</script>"s,
    };
    for (const std::string& html : pages) {
        SCOPED_TRACE(html);
        Navigate(Page("bad.htm", html));
        EXPECT_EQ(Run(L"var fine = 'yes';"), S_OK);
        EXPECT_EQ(Text(L"fine"), L"yes");
        PixelAt(0, 0);
    }
    m_site.events.clear();
    Navigate(L"C:\\no\\such\\page.htm");
    EXPECT_EQ(m_site.events.size(), 3u);
    EXPECT_TRUE(DebugSaid(L"cannot be displayed"));
}

TEST_F(Browser, RefusedSinksAndClosingLetTheSiteGo)
{
    platform::testing::RefuseBrowserEventSinks(true);
    IOleObject* other = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(&other)),
              S_OK);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(other->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&m_site), &cookie), CONNECT_E_CANNOTCONNECT);
    platform::testing::RefuseBrowserEventSinks(false);
    point = nullptr;
    container = nullptr;
    // An active object keeps itself (its window) until it is closed.
    LONG before = m_site.refs;
    ASSERT_EQ(other->SetClientSite(&m_site), S_OK);
    RECT rect{0, 0, 10, 10};
    ASSERT_EQ(other->DoVerb(OLEIVERB_SHOW, nullptr, &m_site, 0, m_site.window, &rect), S_OK);
    EXPECT_GT(m_site.refs, before);
    EXPECT_EQ(other->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(m_site.refs, before);
    other->Release();
}

}  // namespace
