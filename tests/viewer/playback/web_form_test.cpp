// The map-page host with the real browser: navigation and its events, script calls, the
// value read back from forms, publishing the page object, and the host window's own duties.
#include <gtest/gtest.h>

#include "WebFormFixture.h"

namespace {

const char kTwoForms[] = R"(<html><body>
<form name="first"><input type="text" name="a" value="first form"></form>
<form name="second"><input name="b" value="second form"><input name="c" value="x"></form>
</body></html>)";

// A page that reports what it found of the page object into its field, at load time.
const char kReporter[] = R"(<form><input name="f" value=""></form><script>
window.onload = function () {
    var found = typeof Dashcam;
    if (found === 'object') { Dashcam.doc_load_complete(); found += ' called'; }
    document.forms[0].f.value = found;
};
</script>)";

using WebForm_ = WebFormFixture;

TEST_F(WebForm_, ReadsTheFirstFieldOfTheLastFormAfterRunningTheScript)
{
    m_form->Navigate(WriteFile("forms.htm", kTwoForms).c_str());
    EXPECT_EQ(Read("document.forms[1].b.value = 'set by ' + 'script';"), L"set by script");
    EXPECT_EQ(Read("document.forms[1].elements[1].value = 'not read';"), L"set by script");

    // Without forms the script still runs, and nothing is read.
    m_form->Navigate(WriteFile("none.htm", "<html><body><p>no forms</p></body></html>").c_str());
    EXPECT_EQ(Read("var ran = 'yes';"), L"");
    m_form->ExecScript("document.title = ran;");
    EXPECT_FALSE(DebugSaid(L"Script error"));
}

TEST_F(WebForm_, NavigationReportsCompletionToTheParent)
{
    m_form->Navigate(WriteFile("page.htm", kTwoForms).c_str());
    platform::testing::PumpMessages();
    ASSERT_EQ(s_commands.size(), 1u);
    EXPECT_EQ(s_commands[0], MAKEWPARAM(103, 3));

    // Setting the host's text navigates as well.
    SetWindowTextW(m_host,
                   WriteFile("text.htm", "<form><input name=t value=by-text></form>").c_str());
    EXPECT_EQ(Read(""), L"by-text");
}

TEST_F(WebForm_, UrlsLongerThanAPathBufferAreNavigatedWhole)
{
    std::string deep =
        std::string(90, 'd') + "/" + std::string(90, 'e') + "/" + std::string(90, 'f');
    std::filesystem::create_directories(m_folder / deep);
    std::wstring url = WriteFile(deep + "/long.htm", "<form><input name=x value=deep></form>");
    ASSERT_GT(url.size(), 260u);
    m_form->Navigate(url.c_str());
    EXPECT_EQ(Read(""), L"deep");
}

TEST_F(WebForm_, ExecuteUrlsAreCancelledWhateverTheirCase)
{
    struct Case {
        const char* url;
        bool cancelled;
    } cases[] = {
        {"EXECUTE://play", true},      {"execute://play", true}, {"Execute://", true},
        {"EXECUTE:/play", false},      {"EXECUTE", false},       {"", false},
        {"file:///EXECUTE://", false},
    };
    for (const Case& c : cases) {
        bool cancel = !c.cancelled;
        m_handler->BeforeNavigate(c.url, &cancel);
        EXPECT_EQ(cancel, c.cancelled) << c.url;
    }

    // The host writes the answer into the event's Cancel argument as VARIANT_TRUE.
    VARIANT url, empty[5];
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(L"EXECUTE://anything");
    VARIANT_BOOL answer = VARIANT_FALSE;
    VARIANT args[7];
    for (VARIANT& v : args)
        VariantInit(&v);
    for (VARIANT& v : empty)
        VariantInit(&v);
    args[5].vt = VT_BYREF | VT_VARIANT;
    args[5].pvarVal = &url;
    for (int i = 1; i <= 4; ++i) {
        args[i].vt = VT_BYREF | VT_VARIANT;
        args[i].pvarVal = &empty[i];
    }
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &answer;
    DISPPARAMS params{args, nullptr, 7, 0};
    EXPECT_EQ(static_cast<IDispatch*>(m_form.get())
                  ->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                           nullptr, nullptr),
              S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    VariantClear(&url);

    // A page that navigates itself to such a URL stays where it is.
    m_form->Navigate(WriteFile("execute.htm", R"(<form><input name=f value=stayed></form>
        <script>location.href = 'EXECUTE://open?file=1';</script>)")
                         .c_str());
    platform::testing::PumpMessages();
    EXPECT_EQ(Read(""), L"stayed");
    m_form->Navigate(L"execute://direct");
    EXPECT_EQ(Read(""), L"stayed");
}

TEST_F(WebForm_, ThePageObjectIsPublishedAfterEveryNavigation)
{
    std::wstring page = WriteFile("reporter.htm", kReporter);
    m_form->Navigate(page.c_str());
    EXPECT_EQ(Read(""), L"object called");
    m_form->Navigate(WriteFile("other.htm", "<form><input name=f></form>").c_str());
    m_form->Navigate(page.c_str());
    EXPECT_EQ(Read(""), L"object called");
    // A reload the page asks for itself finds it too.
    m_form->ExecScript("document.forms[0].f.value = 'before'; location.reload();");
    platform::testing::PumpMessages();
    EXPECT_EQ(Read(""), L"object called");
}

TEST_F(WebForm_, ThePageObjectAnswersMethodsOnly)
{
    m_form->Navigate(WriteFile("calls.htm", R"(<form><input name=f></form>)").c_str());
    platform::testing::ClearDebugStrings();
    EXPECT_EQ(Read("Dashcam.format('', ''); Dashcam.sub_title(); Dashcam.reset(1, 'x'); "
                   "Dashcam.log('line'); document.forms[0].f.value = 'returned';"),
              L"returned");
    EXPECT_TRUE(DebugSaid(L"DISPID_USER_FORMAT\nDISPID_USER_FORMAT\nDISPID_USER_FORMAT\n"));
    EXPECT_TRUE(DebugSaid(L"DISPID_USER_SUBTITLE\n"));
    EXPECT_TRUE(DebugSaid(L"DISPID_USER_RESET\n"));
    // A property put is refused, which the page's script sees as an error.
    EXPECT_EQ(Read("var v; try { Dashcam.log = 1; v = 'accepted'; } catch (e) { v = 'refused'; }"
                   "document.forms[0].f.value = v;"),
              L"refused");
    EXPECT_EQ(Read("document.forms[0].f.value = typeof Dashcam.Format;"), L"undefined");

    struct FlagCase {
        WORD flags;
        HRESULT expected;
    } flags[] = {
        {DISPATCH_PROPERTYGET, E_FAIL},
        {DISPATCH_PROPERTYPUT, E_FAIL},
        {DISPATCH_PROPERTYPUTREF, E_FAIL},
        {DISPATCH_METHOD, S_OK},
        {DISPATCH_METHOD | DISPATCH_PROPERTYGET, S_OK},
    };
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (const FlagCase& c : flags)
        EXPECT_EQ(m_page->Invoke(5, IID_NULL, 0, c.flags, &none, nullptr, nullptr, nullptr),
                  c.expected)
            << c.flags;
    EXPECT_EQ(m_page->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);

    wchar_t format[] = L"format", capital[] = L"Format", log[] = L"log";
    LPOLESTR names[] = {format, capital, log};
    DISPID ids[3];
    EXPECT_EQ(m_page->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(ids[2], 5);
    EXPECT_EQ(m_page->GetIDsOfNames(IID_NULL, names, 0, 0, ids), S_OK);
}

TEST_F(WebForm_, ThePageObjectLivesWhileThePageHoldsIt)
{
    m_form->Navigate(WriteFile("holder.htm", "<form><input name=f></form>").c_str());
    // The owner lets go of its reference (it releases, never deletes); the page still holds one.
    m_page->Release();
    m_page = nullptr;
    EXPECT_FALSE(DebugSaid(L"JSObject::Release(): delete this"));
    EXPECT_EQ(Read("Dashcam.format(); document.forms[0].f.value = 'still there';"), L"still there");
    // The page's reference goes with the page, here when the host window goes.
    DestroyWindow(m_host);
    EXPECT_TRUE(DebugSaid(L"JSObject::Release(): delete this"));
}

TEST_F(WebForm_, AlertsAreShownByTheBrowserItself)
{
    m_form->Navigate(WriteFile("alert.htm", "<script>alert('from the page');</script>").c_str());
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"from the page");
    LRESULT result = 0;
    wchar_t text[] = L"x";
    EXPECT_EQ(m_form->ShowMessage(nullptr, text, text, MB_OK, nullptr, 0, &result), S_FALSE);
}

TEST_F(WebForm_, HostInfoResizingAndPainting)
{
    DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
    EXPECT_EQ(m_form->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, DWORD(DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_NO3DOUTERBORDER));
    WebForm noScroll(m_handler.get());
    HWND second = noScroll.create(m_parent, nullptr, 0, 0, 50, 50, HMENU(104), FALSE);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(noScroll.GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags,
              DWORD(DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_NO3DOUTERBORDER | DOCHOSTUIFLAG_SCROLL_NO));
    DestroyWindow(second);
    EXPECT_EQ(noScroll.GetRefCount(), 0);

    // A paint of the host validates what it painted, so the queue comes to rest.
    InvalidateRect(m_host, nullptr, FALSE);
    EXPECT_LT(platform::testing::PumpMessages(), 10);
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(m_host, &update, FALSE));
    EXPECT_EQ(At(Pixels(), 5, 5), 0xFFFFFFu);

    // The browser follows the host's size.
    m_form->MoveWindow(10, 20, 260, 220);
    RECT client{};
    GetClientRect(BrowserWindow(), &client);
    EXPECT_EQ(client.right, 250);
    EXPECT_EQ(client.bottom, 200);

    // A right click shows no menu and no box.
    platform::testing::InjectClick(50, 60, platform::testing::MouseButton::Right);
    platform::testing::PumpMessages();
    EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
}

TEST_F(WebForm_, ABrowserWithoutItsEventsIsClosedNotLeft)
{
    platform::testing::RefuseBrowserEventSinks(true);
    WebForm form(m_handler.get());
    HWND host = form.create(m_parent, nullptr, 0, 0, 100, 100, HMENU(105), TRUE);
    platform::testing::RefuseBrowserEventSinks(false);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(form.GetBrowser(), nullptr);
    // The browser let go of the host and took its window away.
    EXPECT_EQ(form.GetRefCount(), 0);
    EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"web->ibrowser is NULL");
    // Every later call finds no browser and does nothing.
    form.Navigate(L"about:blank");
    form.ExecScript("var x = 1;");
    EXPECT_EQ(form.RunScriptAndReadValue("1"), L"");
    DestroyWindow(host);
}

TEST_F(WebForm_, FailingRunawayAndMalformedPagesLeaveTheViewerWorking)
{
    // The short budget only for the runaway script: a page's set-up may take longer than that
    // on a loaded machine.
    m_form->Navigate(WriteFile("ok.htm", "<form><input name=f value=alive></form>").c_str());
    platform::testing::SetScriptTimeBudget(200);
    m_form->ExecScript("while (true) {}");
    platform::testing::SetScriptTimeBudget(0);
    EXPECT_TRUE(DebugSaid(L"time budget"));
    m_form->ExecScript("this is ( not script");
    EXPECT_EQ(Read("undefinedCall()"), L"alive");
    EXPECT_EQ(Read("document.forms[0].f.value = 'still alive'"), L"still alive");

    m_form->Navigate(
        WriteFile("bad.htm", "<form><input name='f value=<script>for(;;){}</scr").c_str());
    EXPECT_EQ(Read("1"), L"");
    m_form->Navigate(L"C:\\does\\not\\exist.htm");
    EXPECT_EQ(Read("1"), L"");
}

}  // namespace
