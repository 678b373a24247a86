// The web-browser control and what its container speaks: OLE embedding (IOleObject,
// IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IOleInPlaceObject), the browser
// (IWebBrowser2 and its DWebBrowserEvents2 connection point), the host's document hooks
// (IDocHostUIHandler, IDocHostShowUI) and the page (IHTMLDocument2, IHTMLWindow2, forms and
// their elements).
//
// CLSID_WebBrowser is a class of the layer. It loads local pages (a Windows path, a file:
// URL) and about:blank; it does not lay out HTML. A page shows its <canvas> elements: the
// first canvas of the body fills the browser's window and follows its size, drawn with a 2D
// context; the page's <script> blocks, execScript strings, timers and mouse handlers run in a
// script engine on the window's thread, each entry into script with a time budget (a script
// that runs longer is stopped with an error). Form fields are <input> elements of <form>s.
// Interfaces the container implements carry every method of their slots; the browser's own
// carry the methods our code calls.
#pragma once

#include "platform/com.h"
#include "platform/gdi.h"
#include "platform/user.h"

DEFINE_GUID(CLSID_WebBrowser, 0x8856F961, 0x340A, 0x11D0, 0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05,
            0xA2);
DEFINE_GUID(IID_IWebBrowser2, 0xD30C1661, 0xCDAF, 0x11D0, 0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2,
            0x6E);
DEFINE_GUID(DIID_DWebBrowserEvents2, 0x34A715A0, 0x6587, 0x11D0, 0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7,
            0xAC, 0x4D);
DEFINE_GUID(IID_IOleObject, 0x00000112, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IOleInPlaceObject, 0x00000113, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IOleWindow, 0x00000114, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IOleInPlaceUIWindow, 0x00000115, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IOleInPlaceFrame, 0x00000116, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IOleClientSite, 0x00000118, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IOleInPlaceSite, 0x00000119, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IConnectionPointContainer, 0xB196B284, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00,
            0x34, 0x1D, 0x07);
DEFINE_GUID(IID_IConnectionPoint, 0xB196B286, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34,
            0x1D, 0x07);
DEFINE_GUID(IID_IDocHostUIHandler, 0xBD3F23C0, 0xD43E, 0x11CF, 0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD,
            0xCE, 0x1A);
DEFINE_GUID(IID_IDocHostShowUI, 0xC4D244B0, 0xD43E, 0x11CF, 0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD,
            0xCE, 0x1A);
DEFINE_GUID(IID_IHTMLDocument2, 0x332C4425, 0x26CB, 0x11D0, 0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9,
            0x01, 0x19);
DEFINE_GUID(IID_IHTMLWindow2, 0x332C4427, 0x26CB, 0x11D0, 0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01,
            0x19);
DEFINE_GUID(IID_IHTMLElementCollection, 0x3050F21F, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00,
            0xBD, 0xCE, 0x0B);
DEFINE_GUID(IID_IHTMLFormElement, 0x3050F1F7, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD,
            0xCE, 0x0B);

// Interfaces named by the container interfaces but never offered here.
struct IMoniker;
struct IOleContainer;
struct IOleInPlaceActiveObject;
struct IOleCommandTarget;
struct IDropTarget;
struct IDataObject;

// ---------------------------------------------------------------------------------------------
// OLE embedding

#define OLEIVERB_PRIMARY 0
#define OLEIVERB_SHOW (-1)
#define OLEIVERB_INPLACEACTIVATE (-5)
#define OLECLOSE_SAVEIFDIRTY 0
#define OLECLOSE_NOSAVE 1
#define OLECLOSE_PROMPTSAVE 2
#define OLE_E_NOT_INPLACEACTIVE ((HRESULT)0x80040010)
#define OLE_E_INVALIDRECT ((HRESULT)0x8004000D)
#define OLEOBJ_E_INVALIDVERB ((HRESULT)0x80040181)

typedef HGLOBAL HOLEMENU;
typedef RECT BORDERWIDTHS;
typedef const RECT* LPCBORDERWIDTHS;
typedef const RECT* LPCRECT;

typedef struct tagOleMenuGroupWidths {
    LONG width[6];
} OLEMENUGROUPWIDTHS, *LPOLEMENUGROUPWIDTHS;

// What GetWindowContext tells an in-place object about the frame it lives in.
typedef struct tagOIFI {
    UINT cb;
    BOOL fMDIApp;
    HWND hwndFrame;
    HACCEL haccel;
    UINT cAccelEntries;
} OLEINPLACEFRAMEINFO, *LPOLEINPLACEFRAMEINFO;

// The container's side of one embedded object.
struct IOleClientSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SaveObject() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD whichMoniker,
                                                 IMoniker** moniker) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowObject() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) = 0;
    virtual HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() = 0;

protected:
    ~IOleClientSite() = default;
};
DECLARE_INTERFACE_ID(IOleClientSite, IID_IOleClientSite);

struct IOleWindow : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
    virtual HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) = 0;

protected:
    ~IOleWindow() = default;
};
DECLARE_INTERFACE_ID(IOleWindow, IID_IOleWindow);

struct IOleInPlaceUIWindow : IOleWindow {
    virtual HRESULT STDMETHODCALLTYPE GetBorder(LPRECT border) = 0;
    virtual HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object,
                                                      LPCOLESTR name) = 0;

protected:
    ~IOleInPlaceUIWindow() = default;
};
DECLARE_INTERFACE_ID(IOleInPlaceUIWindow, IID_IOleInPlaceUIWindow);

struct IOleInPlaceFrame : IOleInPlaceUIWindow {
    virtual HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU descriptor,
                                              HWND activeObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, WORD id) = 0;

protected:
    ~IOleInPlaceFrame() = default;
};
DECLARE_INTERFACE_ID(IOleInPlaceFrame, IID_IOleInPlaceFrame);

// The container's side of an object active in place. GetWindowContext gives the frame (with
// a reference: the object releases it), the document window or null, the object's position
// and clip rectangles in the site window's client coordinates, and the frame information.
struct IOleInPlaceSite : IOleWindow {
    virtual HRESULT STDMETHODCALLTYPE CanInPlaceActivate() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnInPlaceActivate() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnUIActivate() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                                       IOleInPlaceUIWindow** document,
                                                       LPRECT position, LPRECT clip,
                                                       LPOLEINPLACEFRAMEINFO frameInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() = 0;
    virtual HRESULT STDMETHODCALLTYPE DiscardUndoState() = 0;
    virtual HRESULT STDMETHODCALLTYPE DeactivateAndUndo() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) = 0;

protected:
    ~IOleInPlaceSite() = default;
};
DECLARE_INTERFACE_ID(IOleInPlaceSite, IID_IOleInPlaceSite);

// The embedded object. SetClientSite keeps a reference to the site (null lets it go).
// DoVerb(OLEIVERB_SHOW or OLEIVERB_INPLACEACTIVATE, ...) activates the object in place: it
// asks the site (IOleInPlaceSite) for its window and context and creates its own child window
// there at `position`. Close deactivates it (its window goes), lets the site go and drops every
// event connection; the object ends with its last reference.
struct IOleObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR containerApp,
                                                   LPCOLESTR containerObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index,
                                             HWND parent, LPCRECT position) = 0;

protected:
    ~IOleObject() = default;
};
DECLARE_INTERFACE_ID(IOleObject, IID_IOleObject);

// SetObjectRects moves and clips the object's window (site client coordinates).
struct IOleInPlaceObject : IOleWindow {
    virtual HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) = 0;

protected:
    ~IOleInPlaceObject() = default;
};
DECLARE_INTERFACE_ID(IOleInPlaceObject, IID_IOleInPlaceObject);

// Tells an embedded object that it lives in a container. In-process objects of this layer keep
// no running lock, so this only checks the object: S_OK, or E_INVALIDARG for null.
PLATFORM_API HRESULT OleSetContainedObject(IUnknown* object, BOOL contained);

// ---------------------------------------------------------------------------------------------
// Connection points

#define CONNECT_E_NOCONNECTION ((HRESULT)0x80040200)
#define CONNECT_E_ADVISELIMIT ((HRESULT)0x80040201)
#define CONNECT_E_CANNOTCONNECT ((HRESULT)0x80040202)

// Advise asks the sink for the point's event interface (or IDispatch for a dispinterface) and
// keeps that reference until Unadvise with the cookie it gave.
struct IConnectionPoint : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};
DECLARE_INTERFACE_ID(IConnectionPoint, IID_IConnectionPoint);

struct IConnectionPointContainer : IUnknown {
    // CONNECT_E_NOCONNECTION for an event interface the object does not fire.
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID events,
                                                          IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};
DECLARE_INTERFACE_ID(IConnectionPointContainer, IID_IConnectionPointContainer);

// ---------------------------------------------------------------------------------------------
// The browser and its events

// DWebBrowserEvents2, delivered through the sink's IDispatch::Invoke with the arguments in
// reverse order (rgvarg[0] is the last):
//   BeforeNavigate2 (browser, URL, Flags, TargetFrameName, PostData, Headers, Cancel): URL and
//     the others are VT_BYREF|VT_VARIANT, Cancel VT_BYREF|VT_BOOL; a sink that sets Cancel to
//     VARIANT_TRUE stops the navigation.
//   NavigateComplete2 (browser, URL): the new document exists, its scripts have not run yet.
//   DocumentComplete (browser, URL): the document's scripts and its onload have run.
#define DISPID_BEFORENAVIGATE2 250
#define DISPID_NAVIGATECOMPLETE2 252
#define DISPID_DOCUMENTCOMPLETE 259
// The ambient property the browser reads from its site's IDispatch (VT_I4 DLCTL_* flags).
#define DISPID_AMBIENT_DLCONTROL (-5512)

#define DLCTL_DLIMAGES 0x00000010
#define DLCTL_VIDEOS 0x00000020
#define DLCTL_BGSOUNDS 0x00000040
#define DLCTL_NO_SCRIPTS 0x00000080
#define DLCTL_SILENT 0x40000000

// Navigate takes a Windows path, a file: URL or about:blank; flags, frame, post data and headers
// may be null or VT_EMPTY. A cancelled navigation leaves the current page. A path that cannot
// be read shows an error page (about:blank with no script) and still completes. Navigation
// runs to its DocumentComplete inside the call.
struct IWebBrowser2 : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame,
                                               VARIANT* postData, VARIANT* headers) = 0;
    // The current document (IHTMLDocument2 through QueryInterface); null before any navigation.
    virtual HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) = 0;
    // Sizes the browser's window in pixels.
    virtual HRESULT STDMETHODCALLTYPE put_Width(LONG width) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Height(LONG height) = 0;

protected:
    ~IWebBrowser2() = default;
};
DECLARE_INTERFACE_ID(IWebBrowser2, IID_IWebBrowser2);

// ---------------------------------------------------------------------------------------------
// The host's hooks into the document, asked from the client site

#define DOCHOSTUIFLAG_DIALOG 0x00000001
#define DOCHOSTUIFLAG_DISABLE_HELP_MENU 0x00000002
#define DOCHOSTUIFLAG_NO3DBORDER 0x00000004
#define DOCHOSTUIFLAG_SCROLL_NO 0x00000008
#define DOCHOSTUIFLAG_THEME 0x00040000
#define DOCHOSTUIFLAG_NO3DOUTERBORDER 0x00200000

#define CONTEXT_MENU_DEFAULT 0

typedef struct _DOCHOSTUIINFO {
    ULONG cbSize;
    DWORD dwFlags;
    DWORD dwDoubleClick;
    OLECHAR* pchHostCss;
    OLECHAR* pchHostNS;
} DOCHOSTUIINFO;

// ShowContextMenu answers S_OK when the host handled the menu (the browser shows none).
// GetHostInfo fills dwFlags. GetExternal gives the page's window.external object.
struct IDocHostUIHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point,
                                                      IUnknown* commandTarget,
                                                      IDispatch* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject,
                                             IOleCommandTarget* commandTarget,
                                             IOleInPlaceFrame* frame,
                                             IOleInPlaceUIWindow* document) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                                   BOOL frameWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, const GUID* group,
                                                           DWORD commandId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* target,
                                                    IDropTarget** replacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR url,
                                                   LPWSTR* translated) = 0;
    virtual HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* object,
                                                       IDataObject** replacement) = 0;

protected:
    ~IDocHostUIHandler() = default;
};
DECLARE_INTERFACE_ID(IDocHostUIHandler, IID_IDocHostUIHandler);

// ShowMessage: S_OK when the host showed the page's message box itself (its answer in
// *result); S_FALSE lets the browser show it.
struct IDocHostShowUI : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption,
                                                  DWORD type, LPOLESTR helpFile, DWORD helpContext,
                                                  LRESULT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowHelp(HWND window, LPOLESTR helpFile, UINT command,
                                               DWORD data, POINT mouse, IDispatch* hit) = 0;

protected:
    ~IDocHostShowUI() = default;
};
DECLARE_INTERFACE_ID(IDocHostShowUI, IID_IDocHostShowUI);

// ---------------------------------------------------------------------------------------------
// The page

struct IHTMLWindow2;
struct IHTMLElementCollection;

struct IHTMLDocument2 : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** window) = 0;
    // The document's forms in document order.
    virtual HRESULT STDMETHODCALLTYPE get_forms(IHTMLElementCollection** forms) = 0;

protected:
    ~IHTMLDocument2() = default;
};
DECLARE_INTERFACE_ID(IHTMLDocument2, IID_IHTMLDocument2);

// The page's window; it also answers IDispatchEx, whose members are the script's global
// variables (a property put of VT_DISPATCH publishes a host object to the page).
struct IHTMLWindow2 : IDispatch {
    // Runs code as a global script ("JScript", "JavaScript" or null for the default). A script
    // error is written to the debug output and answered with DISP_E_EXCEPTION; *result stays
    // VT_EMPTY.
    virtual HRESULT STDMETHODCALLTYPE execScript(BSTR code, BSTR language, VARIANT* result) = 0;

protected:
    ~IHTMLWindow2() = default;
};
DECLARE_INTERFACE_ID(IHTMLWindow2, IID_IHTMLWindow2);

// item(name, index, element): with name VT_I4 (or VT_I2) the element at that position; with
// a VT_BSTR name the first element of that name or id. Not found: S_OK and null.
struct IHTMLElementCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_length(LONG* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** element) = 0;

protected:
    ~IHTMLElementCollection() = default;
};
DECLARE_INTERFACE_ID(IHTMLElementCollection, IID_IHTMLElementCollection);

// A form; its elements are its <input> fields, whose IDispatch answers the name "value"
// (property get and put, VT_BSTR).
struct IHTMLFormElement : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_length(LONG* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** element) = 0;

protected:
    ~IHTMLFormElement() = default;
};
DECLARE_INTERFACE_ID(IHTMLFormElement, IID_IHTMLFormElement);
