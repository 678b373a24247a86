// A page's script engine and the native functions its window, document and canvases use.
#include "Page.h"

#include <duktape.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace platform::browser {

namespace {

constexpr DWORD kDefaultBudget = 2000;           // ms for one entry into script
constexpr size_t kHeapLimit = 256u << 20;        // bytes a page's engine may hold
constexpr size_t kCanvasPixelLimit = 64u << 20;  // pixels of all a page's canvases
constexpr size_t kTimerLimit = 10000;
constexpr DISPID kFirstMember = 1000;

std::atomic<DWORD> g_budget{kDefaultBudget};

const char kPrelude[] =
#include "Prelude.inc"
    ;

Page* PageOf(duk_context* ctx)
{
    duk_memory_functions functions;
    duk_get_memory_functions(ctx, &functions);
    return static_cast<Page*>(functions.udata);
}

// Every block carries its size in front, so that the engine's bytes can be counted and capped.
constexpr size_t kHeader = 16;

}  // namespace

void* PageAlloc(void* udata, size_t size)
{
    Page* page = static_cast<Page*>(udata);
    if (size > kHeapLimit || page->m_heapBytes + size > kHeapLimit)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    page->m_heapBytes += size;
    return block + kHeader;
}

void PageFree(void* udata, void* pointer)
{
    if (!pointer)
        return;
    Page* page = static_cast<Page*>(udata);
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    page->m_heapBytes -= size;
    std::free(block);
}

void* PageRealloc(void* udata, void* pointer, size_t size)
{
    if (!pointer)
        return PageAlloc(udata, size);
    if (size == 0) {
        PageFree(udata, pointer);
        return nullptr;
    }
    Page* page = static_cast<Page*>(udata);
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    size_t old;
    std::memcpy(&old, block, sizeof old);
    if (size > old && (size > kHeapLimit || page->m_heapBytes - old + size > kHeapLimit))
        return nullptr;
    auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
    if (!grown)
        return nullptr;
    std::memcpy(grown, &size, sizeof size);
    page->m_heapBytes = page->m_heapBytes - old + size;
    return grown + kHeader;
}

DWORD ScriptTimeBudget()
{
    return g_budget.load();
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = text[i];
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        uint32_t code = length == 1   ? c
                        : length == 2 ? c & 0x1F
                        : length == 3 ? c & 0x0F
                                      : c & 0x07;
        bool good = length > 0 && i + length <= text.size();
        for (size_t k = 1; good && k < length; ++k) {
            good = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            code = (code << 6) | (text[i + k] & 0x3F);
        }
        if (!good) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        i += length;
        if (code >= 0xD800 && code <= 0xDBFF && i + 3 <= text.size() &&
            static_cast<unsigned char>(text[i]) == 0xED) {
            uint32_t low =
                ((text[i] & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            if (low >= 0xDC00 && low <= 0xDFFF && (text[i + 1] & 0xC0) == 0x80 &&
                (text[i + 2] & 0xC0) == 0x80) {
                out += wchar_t(0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                i += 3;
                continue;
            }
        }
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            code = 0xFFFD;
        out += wchar_t(code);
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        uint32_t code = uint32_t(w);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace platform::browser

// The engine's execution-time check, called every so many instructions with the heap's udata.
int kv_duk_exec_timeout(void* udata)
{
    return udata && static_cast<platform::browser::Page*>(udata)->TimedOut() ? 1 : 0;
}

namespace platform::testing {

void SetScriptTimeBudget(DWORD milliseconds)
{
    platform::browser::g_budget = milliseconds ? milliseconds : platform::browser::kDefaultBudget;
}

}  // namespace platform::testing

namespace platform::browser {

namespace {

std::string ToUtf8(duk_context* ctx, duk_idx_t index)
{
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, index, &length);
    return std::string(text, length);
}

void PushUtf8(duk_context* ctx, const std::string& text)
{
    duk_push_lstring(ctx, text.data(), text.size());
}

// Numbers of a drawing call; false when one is not finite (the call is then ignored).
bool Numbers(duk_context* ctx, int count, double* values)
{
    for (int i = 0; i < count; ++i) {
        values[i] = duk_to_number(ctx, i);
        if (!std::isfinite(values[i]))
            return false;
    }
    return true;
}

const char* kDispatchKey = DUK_HIDDEN_SYMBOL("dispatch");
const char* kDispIdKey = DUK_HIDDEN_SYMBOL("dispid");

}  // namespace

// The native functions, as static members so that they reach the page's private state.
struct Page::Natives {
    static Canvas* CanvasOf(duk_context* ctx)
    {
        Canvas* canvas = PageOf(ctx)->CanvasAt(duk_get_current_magic(ctx));
        if (!canvas)
            (void)duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "no such canvas");
        return canvas;
    }

    // ---- document
    static duk_ret_t FieldGet(duk_context* ctx)
    {
        Page* page = PageOf(ctx);
        size_t index = size_t(duk_to_uint(ctx, 0));
        if (index >= page->m_fields.size())
            return 0;
        PushUtf8(ctx, page->m_fields[index]->value);
        return 1;
    }
    static duk_ret_t FieldSet(duk_context* ctx)
    {
        Page* page = PageOf(ctx);
        size_t index = size_t(duk_to_uint(ctx, 0));
        std::string value = ToUtf8(ctx, 1);
        if (index < page->m_fields.size())
            page->m_fields[index]->value = std::move(value);
        return 0;
    }
    static duk_ret_t CanvasWidth(duk_context* ctx)
    {
        Canvas* canvas = PageOf(ctx)->CanvasAt(duk_to_int(ctx, 0));
        duk_push_int(ctx, canvas ? canvas->Width() : 0);
        return 1;
    }
    static duk_ret_t CanvasHeight(duk_context* ctx)
    {
        Canvas* canvas = PageOf(ctx)->CanvasAt(duk_to_int(ctx, 0));
        duk_push_int(ctx, canvas ? canvas->Height() : 0);
        return 1;
    }
    // The shown canvas keeps the window's size; others take the new size, as a canvas does.
    static duk_ret_t CanvasResize(duk_context* ctx)
    {
        Page* page = PageOf(ctx);
        int index = duk_to_int(ctx, 0);
        double width = duk_to_number(ctx, 1);
        double height = duk_to_number(ctx, 2);
        Canvas* canvas = page->CanvasAt(index);
        if (!canvas || index == 0 || !std::isfinite(width) || !std::isfinite(height))
            return 0;
        int w = int(std::clamp(width, 0.0, double(Canvas::kMaxSide)));
        int h = int(std::clamp(height, 0.0, double(Canvas::kMaxSide)));
        size_t others = page->m_canvasPixels - size_t(canvas->Width()) * size_t(canvas->Height());
        if (others + size_t(std::max(w, 1)) * size_t(std::max(h, 1)) > kCanvasPixelLimit)
            return duk_error(ctx, DUK_ERR_RANGE_ERROR, "canvas too large");
        canvas->Resize(w, h);
        page->m_canvasPixels = others + size_t(canvas->Width()) * size_t(canvas->Height());
        return 0;
    }
    static duk_ret_t NewCanvas(duk_context* ctx)
    {
        int index = PageOf(ctx)->AddCanvas(duk_to_int(ctx, 0), duk_to_int(ctx, 1));
        if (index < 0)
            return duk_error(ctx, DUK_ERR_RANGE_ERROR, "too many canvases");
        duk_push_int(ctx, index);
        return 1;
    }
    static duk_ret_t Url(duk_context* ctx)
    {
        PushUtf8(ctx, WideToUtf8(PageOf(ctx)->m_url));
        return 1;
    }
    static duk_ret_t Navigate(duk_context* ctx)
    {
        std::wstring url = Utf8ToWide(ToUtf8(ctx, 0));
        PageOf(ctx)->m_host->PageNavigate(url);
        return 0;
    }
    // A message box is no script time: the budget starts again when it is answered.
    static duk_ret_t Alert(duk_context* ctx)
    {
        Page* page = PageOf(ctx);
        std::wstring text = Utf8ToWide(ToUtf8(ctx, 0));
        auto left = page->m_deadline - std::chrono::steady_clock::now();
        page->m_host->PageAlert(text);
        page->m_deadline = std::chrono::steady_clock::now() + left;
        return 0;
    }
    static duk_ret_t Log(duk_context* ctx)
    {
        std::wstring text = Utf8ToWide(ToUtf8(ctx, 0));
        OutputDebugStringW((text + L"\n").c_str());
        return 0;
    }
    static duk_ret_t ViewWidth(duk_context* ctx)
    {
        RECT rect{};
        GetClientRect(PageOf(ctx)->m_host->PageWindow(), &rect);
        duk_push_int(ctx, rect.right - rect.left);
        return 1;
    }
    static duk_ret_t ViewHeight(duk_context* ctx)
    {
        RECT rect{};
        GetClientRect(PageOf(ctx)->m_host->PageWindow(), &rect);
        duk_push_int(ctx, rect.bottom - rect.top);
        return 1;
    }
    static duk_ret_t External(duk_context* ctx)
    {
        IDispatch* external = PageOf(ctx)->m_host->PageExternal();
        if (!external)
            return 0;
        PageOf(ctx)->PushDispatch(external);
        return 1;
    }

    // ---- timers: the callbacks live in the global stash under "timers", by id
    static duk_ret_t SetTimer(duk_context* ctx, bool repeat)
    {
        Page* page = PageOf(ctx);
        duk_idx_t count = duk_get_top(ctx);
        if (count < 1 || (!duk_is_function(ctx, 0) && !duk_is_string(ctx, 0)))
            return duk_error(ctx, DUK_ERR_TYPE_ERROR, "timer needs a function or code");
        double delay = count > 1 ? duk_to_number(ctx, 1) : 0;
        if (!std::isfinite(delay) || delay < 0)
            delay = 0;
        if (page->m_timers.size() >= kTimerLimit)
            return duk_error(ctx, DUK_ERR_RANGE_ERROR, "too many timers");
        int id = page->AddTimer(repeat);
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, "timers");
        duk_push_array(ctx);
        for (duk_idx_t i = 0; i < count; ++i) {
            if (i == 1)
                continue;
            duk_dup(ctx, i);
            duk_put_prop_index(ctx, -2, duk_uarridx_t(i == 0 ? 0 : i - 1));
        }
        duk_put_prop_index(ctx, -2, duk_uarridx_t(id));
        duk_pop_2(ctx);
        ::SetTimer(page->m_host->PageWindow(), UINT_PTR(id), UINT(std::min(delay, 2147483647.0)),
                   nullptr);
        duk_push_int(ctx, id);
        return 1;
    }
    static duk_ret_t SetTimeout(duk_context* ctx) { return SetTimer(ctx, false); }
    static duk_ret_t SetInterval(duk_context* ctx) { return SetTimer(ctx, true); }
    static duk_ret_t ClearTimer(duk_context* ctx)
    {
        Page* page = PageOf(ctx);
        int id = duk_to_int(ctx, 0);
        if (page->m_timers.erase(id)) {
            KillTimer(page->m_host->PageWindow(), UINT_PTR(id));
            duk_push_global_stash(ctx);
            duk_get_prop_string(ctx, -1, "timers");
            duk_del_prop_index(ctx, -1, duk_uarridx_t(id));
            duk_pop_2(ctx);
        }
        return 0;
    }

    // ---- host objects reached through IDispatch
    static IDispatch* DispatchOf(duk_context* ctx, duk_idx_t index)
    {
        if (!duk_is_object(ctx, index))
            return nullptr;
        duk_get_prop_string(ctx, index, kDispatchKey);
        auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
        duk_pop(ctx);
        Page* page = PageOf(ctx);
        return page->m_hostObjects.count(object) ? object : nullptr;
    }
    // Invokes a host object's member with the values at [first, first + count) as its
    // arguments, pushing the result on success; on failure *error says why.
    static HRESULT Call(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, duk_idx_t first,
                        duk_idx_t count, std::string* error)
    {
        Page* page = PageOf(ctx);
        std::vector<VARIANT> args(static_cast<size_t>(count));
        for (duk_idx_t i = 0; i < count; ++i) {
            VariantInit(&args[size_t(count - 1 - i)]);
            page->ToVariant(first + i, &args[size_t(count - 1 - i)]);
        }
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{args.data(), nullptr, UINT(count), 0};
        if (flags & DISPATCH_PROPERTYPUT) {
            params.rgdispidNamedArgs = &named;
            params.cNamedArgs = 1;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception{};
        UINT argumentError = 0;
        HRESULT hr =
            object->Invoke(id, IID_NULL, 1024, flags, &params, &result, &exception, &argumentError);
        for (VARIANT& arg : args)
            VariantClear(&arg);
        std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        if (SUCCEEDED(hr)) {
            // Pushing may throw: the result's reference must be gone first when it does.
            VARIANT held = result;
            VariantInit(&result);
            page->PushVariantAndClear(&held);
        }
        VariantClear(&result);
        if (FAILED(hr)) {
            char text[64];
            std::snprintf(text, sizeof text, " (0x%08X)", unsigned(hr));
            *error =
                (description.empty() ? std::string("Object doesn't support this property or method")
                                     : WideToUtf8(description)) +
                text;
        }
        return hr;
    }
    static duk_ret_t MethodCall(duk_context* ctx)
    {
        duk_idx_t count = duk_get_top(ctx);
        duk_push_current_function(ctx);
        duk_get_prop_string(ctx, -1, kDispatchKey);
        auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
        duk_get_prop_string(ctx, -2, kDispIdKey);
        DISPID id = duk_get_int(ctx, -1);
        duk_pop_3(ctx);
        if (!PageOf(ctx)->m_hostObjects.count(object))
            return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "host object is gone");
        std::string error;
        if (FAILED(Call(ctx, object, id, DISPATCH_METHOD, 0, count, &error)))
            return duk_error(ctx, DUK_ERR_ERROR, "%s", error.c_str());
        return 1;
    }
    static bool NameOf(duk_context* ctx, IDispatch* object, duk_idx_t key, DISPID* id)
    {
        if (!duk_is_string(ctx, key) || duk_is_symbol(ctx, key))
            return false;
        std::wstring name = Utf8ToWide(ToUtf8(ctx, key));
        LPOLESTR names[] = {name.data()};
        *id = DISPID_UNKNOWN;
        return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, 1024, id));
    }
    // get (target, key, receiver): a readable property's value, else a function that calls
    // the member as a method; undefined for names the object does not know.
    static duk_ret_t ProxyGet(duk_context* ctx)
    {
        if (duk_is_symbol(ctx, 1)) {
            duk_get_prop(ctx, 0);
            return 1;
        }
        IDispatch* object = DispatchOf(ctx, 0);
        DISPID id;
        if (!object || !NameOf(ctx, object, 1, &id))
            return 0;
        std::string error;
        if (SUCCEEDED(Call(ctx, object, id, DISPATCH_PROPERTYGET, 0, 0, &error)))
            return 1;
        duk_push_c_function(ctx, MethodCall, DUK_VARARGS);
        duk_push_pointer(ctx, object);
        duk_put_prop_string(ctx, -2, kDispatchKey);
        duk_push_int(ctx, id);
        duk_put_prop_string(ctx, -2, kDispIdKey);
        return 1;
    }
    // set (target, key, value, receiver): a property put; a refusal is a script error.
    static duk_ret_t ProxySet(duk_context* ctx)
    {
        IDispatch* object = DispatchOf(ctx, 0);
        DISPID id;
        if (!object || !NameOf(ctx, object, 1, &id))
            return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Object doesn't support this property");
        std::string error;
        if (FAILED(Call(ctx, object, id, DISPATCH_PROPERTYPUT, 2, 1, &error)))
            return duk_error(ctx, DUK_ERR_ERROR, "%s", error.c_str());
        duk_push_true(ctx);
        return 1;
    }
    static duk_ret_t ProxyHas(duk_context* ctx)
    {
        IDispatch* object = DispatchOf(ctx, 0);
        DISPID id;
        duk_push_boolean(ctx, object && NameOf(ctx, object, 1, &id));
        return 1;
    }

    // ---- the 2D context; the function's magic is the canvas index
    static duk_ret_t Path(duk_context* ctx, int op)
    {
        Canvas* c = CanvasOf(ctx);
        cairo_t* cr = c->Cr();
        double v[8];
        switch (op) {
            case 0:
                cairo_new_path(cr);
                break;
            case 1:
                cairo_close_path(cr);
                break;
            case 2:
                if (Numbers(ctx, 2, v))
                    cairo_move_to(cr, v[0], v[1]);
                break;
            case 3:
                if (Numbers(ctx, 2, v))
                    cairo_line_to(cr, v[0], v[1]);
                break;
            case 4:
                if (Numbers(ctx, 4, v))
                    cairo_rectangle(cr, v[0], v[1], v[2], v[3]);
                break;
            case 5: {
                if (!Numbers(ctx, 5, v))
                    break;
                if (v[2] < 0)
                    return duk_error(ctx, DUK_ERR_RANGE_ERROR, "negative radius");
                bool ccw = duk_to_boolean(ctx, 5);
                const double tau = 2 * M_PI;
                double sweep = ccw ? v[3] - v[4] : v[4] - v[3];
                if (sweep >= tau)
                    sweep = tau;
                else if (sweep <= -tau)
                    sweep = tau;
                else if ((sweep = std::fmod(sweep, tau)) < 0)
                    sweep += tau;
                if (ccw)
                    cairo_arc_negative(cr, v[0], v[1], v[2], v[3], v[3] - sweep);
                else
                    cairo_arc(cr, v[0], v[1], v[2], v[3], v[3] + sweep);
                break;
            }
            case 6: {
                if (!Numbers(ctx, 4, v))
                    break;
                double x0, y0;
                if (!cairo_has_current_point(cr))
                    cairo_move_to(cr, v[0], v[1]);
                cairo_get_current_point(cr, &x0, &y0);
                cairo_curve_to(cr, x0 + 2.0 / 3 * (v[0] - x0), y0 + 2.0 / 3 * (v[1] - y0),
                               v[2] + 2.0 / 3 * (v[0] - v[2]), v[3] + 2.0 / 3 * (v[1] - v[3]), v[2],
                               v[3]);
                break;
            }
            case 7:
                if (Numbers(ctx, 6, v))
                    cairo_curve_to(cr, v[0], v[1], v[2], v[3], v[4], v[5]);
                break;
            case 8:
                c->Fill();
                break;
            case 9:
                c->Stroke();
                break;
            case 10:
                cairo_clip_preserve(cr);
                break;
            case 11:
                if (Numbers(ctx, 4, v))
                    c->FillRect(v[0], v[1], v[2], v[3]);
                break;
            case 12:
                if (Numbers(ctx, 4, v))
                    c->StrokeRect(v[0], v[1], v[2], v[3]);
                break;
            case 13:
                if (Numbers(ctx, 4, v))
                    c->ClearRect(v[0], v[1], v[2], v[3]);
                break;
            case 14:
                c->Save();
                break;
            case 15:
                c->Restore();
                break;
        }
        c->CheckStatus();
        return 0;
    }
#define KV_PATH_OP(name, op)                \
    static duk_ret_t name(duk_context* ctx) \
    {                                       \
        return Path(ctx, op);               \
    }
    KV_PATH_OP(BeginPath, 0)
    KV_PATH_OP(ClosePath, 1)
    KV_PATH_OP(MoveTo, 2)
    KV_PATH_OP(LineTo, 3)
    KV_PATH_OP(Rect, 4)
    KV_PATH_OP(Arc, 5)
    KV_PATH_OP(QuadraticCurveTo, 6)
    KV_PATH_OP(BezierCurveTo, 7)
    KV_PATH_OP(Fill, 8)
    KV_PATH_OP(Stroke, 9)
    KV_PATH_OP(Clip, 10)
    KV_PATH_OP(FillRect, 11)
    KV_PATH_OP(StrokeRect, 12)
    KV_PATH_OP(ClearRect, 13)
    KV_PATH_OP(Save, 14)
    KV_PATH_OP(Restore, 15)
#undef KV_PATH_OP

    static duk_ret_t Transform(duk_context* ctx, int op)
    {
        Canvas* c = CanvasOf(ctx);
        double v[6];
        cairo_matrix_t m;
        switch (op) {
            case 0:
                if (!Numbers(ctx, 2, v))
                    return 0;
                cairo_matrix_init_translate(&m, v[0], v[1]);
                break;
            case 1:
                if (!Numbers(ctx, 2, v))
                    return 0;
                cairo_matrix_init_scale(&m, v[0], v[1]);
                break;
            case 2:
                if (!Numbers(ctx, 1, v))
                    return 0;
                cairo_matrix_init_rotate(&m, v[0]);
                break;
            case 3:
            case 4:
                if (!Numbers(ctx, 6, v))
                    return 0;
                cairo_matrix_init(&m, v[0], v[1], v[2], v[3], v[4], v[5]);
                break;
            default:
                cairo_matrix_init_identity(&m);
                break;
        }
        c->Transform(m, op >= 4);
        return 0;
    }
    static duk_ret_t Translate(duk_context* ctx)
    {
        return Transform(ctx, 0);
    }
    static duk_ret_t Scale(duk_context* ctx)
    {
        return Transform(ctx, 1);
    }
    static duk_ret_t Rotate(duk_context* ctx)
    {
        return Transform(ctx, 2);
    }
    static duk_ret_t TransformBy(duk_context* ctx)
    {
        return Transform(ctx, 3);
    }
    static duk_ret_t SetTransform(duk_context* ctx)
    {
        return Transform(ctx, 4);
    }
    static duk_ret_t ResetTransform(duk_context* ctx)
    {
        return Transform(ctx, 5);
    }

    static duk_ret_t Text(duk_context* ctx, bool stroke)
    {
        Canvas* c = CanvasOf(ctx);
        std::string text = ToUtf8(ctx, 0);
        double v[2] = {duk_to_number(ctx, 1), duk_to_number(ctx, 2)};
        if (std::isfinite(v[0]) && std::isfinite(v[1]))
            c->FillText(text, v[0], v[1], stroke);
        c->CheckStatus();
        return 0;
    }
    static duk_ret_t FillText(duk_context* ctx)
    {
        return Text(ctx, false);
    }
    static duk_ret_t StrokeText(duk_context* ctx)
    {
        return Text(ctx, true);
    }
    static duk_ret_t MeasureText(duk_context* ctx)
    {
        Canvas* c = CanvasOf(ctx);
        double width = c->MeasureText(ToUtf8(ctx, 0));
        c->CheckStatus();
        duk_push_object(ctx);
        duk_push_number(ctx, width);
        duk_put_prop_string(ctx, -2, "width");
        return 1;
    }
    static duk_ret_t SetLineDash(duk_context* ctx)
    {
        Canvas* c = CanvasOf(ctx);
        std::vector<double> dash;
        if (duk_is_array(ctx, 0)) {
            duk_size_t length = std::min<duk_size_t>(duk_get_length(ctx, 0), 64);
            for (duk_size_t i = 0; i < length; ++i) {
                duk_get_prop_index(ctx, 0, duk_uarridx_t(i));
                double v = duk_to_number(ctx, -1);
                duk_pop(ctx);
                if (!std::isfinite(v) || v < 0)
                    return 0;
                dash.push_back(v);
            }
        }
        if (dash.size() % 2)
            dash.insert(dash.end(), dash.begin(), dash.end());
        bool zero = std::all_of(dash.begin(), dash.end(), [](double v) { return v == 0; });
        c->State().dash = zero ? std::vector<double>{} : dash;
        return 0;
    }
    static duk_ret_t GetLineDash(duk_context* ctx)
    {
        Canvas* c = CanvasOf(ctx);
        duk_push_array(ctx);
        for (size_t i = 0; i < c->State().dash.size(); ++i) {
            duk_push_number(ctx, c->State().dash[i]);
            duk_put_prop_index(ctx, -2, duk_uarridx_t(i));
        }
        return 1;
    }
    static duk_ret_t DrawImage(duk_context* ctx)
    {
        Canvas* c = CanvasOf(ctx);
        Page* page = PageOf(ctx);
        if (!duk_is_object(ctx, 0))
            return duk_error(ctx, DUK_ERR_TYPE_ERROR, "drawImage needs a canvas");
        duk_get_prop_string(ctx, 0, "__ci");
        Canvas* source = duk_is_number(ctx, -1) ? page->CanvasAt(duk_get_int(ctx, -1)) : nullptr;
        duk_pop(ctx);
        if (!source)
            return duk_error(ctx, DUK_ERR_TYPE_ERROR, "drawImage needs a canvas");
        duk_idx_t count = duk_get_top(ctx);
        double v[4];
        for (int i = 0; i < 4; ++i) {
            v[i] = i < 2 ? duk_to_number(ctx, i + 1)
                         : (count >= 5 ? duk_to_number(ctx, i + 1)
                                       : double(i == 2 ? source->Width() : source->Height()));
            if (!std::isfinite(v[i]))
                return 0;
        }
        c->DrawCanvas(*source, v[0], v[1], v[2], v[3]);
        c->CheckStatus();
        return 0;
    }

    // Properties: getter and setter per name; magic is the canvas index.
    enum Property {
        FillStyle,
        StrokeStyle,
        LineWidth,
        GlobalAlpha,
        Font,
        TextAlign,
        TextBaseline,
        LineCap,
        LineJoin
    };
    static duk_ret_t Get(duk_context* ctx, Property property)
    {
        Canvas* c = CanvasOf(ctx);
        const CanvasState& s = c->State();
        switch (property) {
            case FillStyle:
                PushUtf8(ctx, s.fillText);
                break;
            case StrokeStyle:
                PushUtf8(ctx, s.strokeText);
                break;
            case LineWidth:
                duk_push_number(ctx, s.lineWidth);
                break;
            case GlobalAlpha:
                duk_push_number(ctx, s.globalAlpha);
                break;
            case Font:
                PushUtf8(ctx, s.font);
                break;
            case TextAlign:
                PushUtf8(ctx, c->TextAlignName());
                break;
            case TextBaseline:
                PushUtf8(ctx, c->TextBaselineName());
                break;
            case LineCap:
                PushUtf8(ctx, s.lineCap);
                break;
            case LineJoin:
                PushUtf8(ctx, s.lineJoin);
                break;
        }
        return 1;
    }
    static duk_ret_t Set(duk_context* ctx, Property property)
    {
        Canvas* c = CanvasOf(ctx);
        CanvasState& s = c->State();
        switch (property) {
            case FillStyle:
                if (duk_is_string(ctx, 0))
                    c->SetFillStyle(ToUtf8(ctx, 0));
                break;
            case StrokeStyle:
                if (duk_is_string(ctx, 0))
                    c->SetStrokeStyle(ToUtf8(ctx, 0));
                break;
            case LineWidth: {
                double v = duk_to_number(ctx, 0);
                if (std::isfinite(v) && v > 0)
                    s.lineWidth = std::min(v, 1e6);
                break;
            }
            case GlobalAlpha: {
                double v = duk_to_number(ctx, 0);
                if (std::isfinite(v) && v >= 0 && v <= 1)
                    s.globalAlpha = v;
                break;
            }
            case Font:
                c->SetFont(ToUtf8(ctx, 0));
                break;
            case TextAlign:
                c->SetTextAlign(ToUtf8(ctx, 0));
                break;
            case TextBaseline:
                c->SetTextBaseline(ToUtf8(ctx, 0));
                break;
            case LineCap: {
                std::string v = ToUtf8(ctx, 0);
                if (v == "butt" || v == "round" || v == "square")
                    s.lineCap = v;
                break;
            }
            case LineJoin: {
                std::string v = ToUtf8(ctx, 0);
                if (v == "miter" || v == "round" || v == "bevel")
                    s.lineJoin = v;
                break;
            }
        }
        return 0;
    }
#define KV_PROPERTY(name)                        \
    static duk_ret_t Get##name(duk_context* ctx) \
    {                                            \
        return Get(ctx, name);                   \
    }                                            \
    static duk_ret_t Set##name(duk_context* ctx) \
    {                                            \
        return Set(ctx, name);                   \
    }
    KV_PROPERTY(FillStyle)
    KV_PROPERTY(StrokeStyle)
    KV_PROPERTY(LineWidth)
    KV_PROPERTY(GlobalAlpha)
    KV_PROPERTY(Font)
    KV_PROPERTY(TextAlign)
    KV_PROPERTY(TextBaseline)
    KV_PROPERTY(LineCap)
    KV_PROPERTY(LineJoin)
#undef KV_PROPERTY

    // Builds the 2D context object of one canvas.
    static duk_ret_t Context(duk_context* ctx)
    {
        int index = duk_to_int(ctx, 0);
        CanvasOf(ctx);  // throws for a bad index
        if (index < 0 || index > 0x7FFF)
            return duk_error(ctx, DUK_ERR_RANGE_ERROR, "no such canvas");
        struct Method {
            const char* name;
            duk_c_function function;
            duk_idx_t args;
        };
        static const Method methods[] = {
            {"beginPath", BeginPath, 0},
            {"closePath", ClosePath, 0},
            {"moveTo", MoveTo, 2},
            {"lineTo", LineTo, 2},
            {"rect", Rect, 4},
            {"arc", Arc, 6},
            {"quadraticCurveTo", QuadraticCurveTo, 4},
            {"bezierCurveTo", BezierCurveTo, 6},
            {"fill", Fill, 0},
            {"stroke", Stroke, 0},
            {"clip", Clip, 0},
            {"fillRect", FillRect, 4},
            {"strokeRect", StrokeRect, 4},
            {"clearRect", ClearRect, 4},
            {"save", Save, 0},
            {"restore", Restore, 0},
            {"translate", Translate, 2},
            {"scale", Scale, 2},
            {"rotate", Rotate, 1},
            {"transform", TransformBy, 6},
            {"setTransform", SetTransform, 6},
            {"resetTransform", ResetTransform, 0},
            {"fillText", FillText, 3},
            {"strokeText", StrokeText, 3},
            {"measureText", MeasureText, 1},
            {"setLineDash", SetLineDash, 1},
            {"getLineDash", GetLineDash, 0},
            {"drawImage", DrawImage, DUK_VARARGS},
        };
        struct Accessor {
            const char* name;
            duk_c_function get;
            duk_c_function set;
        };
        static const Accessor accessors[] = {
            {"fillStyle", GetFillStyle, SetFillStyle},
            {"strokeStyle", GetStrokeStyle, SetStrokeStyle},
            {"lineWidth", GetLineWidth, SetLineWidth},
            {"globalAlpha", GetGlobalAlpha, SetGlobalAlpha},
            {"font", GetFont, SetFont},
            {"textAlign", GetTextAlign, SetTextAlign},
            {"textBaseline", GetTextBaseline, SetTextBaseline},
            {"lineCap", GetLineCap, SetLineCap},
            {"lineJoin", GetLineJoin, SetLineJoin},
        };
        duk_push_object(ctx);
        for (const Method& m : methods) {
            duk_push_c_function(ctx, m.function, m.args);
            duk_set_magic(ctx, -1, index);
            duk_put_prop_string(ctx, -2, m.name);
        }
        for (const Accessor& a : accessors) {
            duk_push_string(ctx, a.name);
            duk_push_c_function(ctx, a.get, 0);
            duk_set_magic(ctx, -1, index);
            duk_push_c_function(ctx, a.set, 1);
            duk_set_magic(ctx, -1, index);
            duk_def_prop(
                ctx, -4,
                DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER | DUK_DEFPROP_SET_ENUMERABLE);
        }
        return 1;
    }
};

Page::Page(PageHost* host, std::wstring url, std::string folder, const HtmlPage& html, bool scripts,
           int width, int height)
    : m_host(host), m_url(std::move(url)), m_folder(std::move(folder)), m_scripts(scripts)
{
    for (const HtmlForm& f : html.forms) {
        auto form = std::make_shared<Form>();
        form->name = f.name;
        form->id = f.id;
        for (const HtmlField& d : f.fields) {
            auto field = std::make_shared<Field>(Field{d.name, d.id, d.type, d.value});
            form->fields.push_back(field);
            m_fields.push_back(field);
        }
        m_forms.push_back(form);
    }
    for (size_t i = 0; i < html.canvases.size(); ++i)
        if (AddCanvas(i == 0 ? width : html.canvases[i].width,
                      i == 0 ? height : html.canvases[i].height) < 0)
            break;
    m_pendingScripts = html.scripts;
    m_hasBodyOnload = html.hasBodyOnload;
    m_scriptsBeforeBody = html.scriptsBeforeBody;
    if (!m_scripts)
        return;
    m_ctx = duk_create_heap(PageAlloc, PageRealloc, PageFree, this, [](void*, const char* message) {
        std::fprintf(stderr, "script engine: fatal error: %s\n", message);
        std::abort();
    });
    if (!m_ctx) {
        OutputDebugStringW(L"Script engine could not start\n");
        return;
    }
    SetUp(html);
}

Page::~Page()
{
    for (auto& [id, repeat] : m_timers)
        KillTimer(m_host->PageWindow(), UINT_PTR(id));
    m_timers.clear();
    if (m_ctx)
        duk_destroy_heap(m_ctx);
    m_ctx = nullptr;
    m_hostObjects.clear();
}

int Page::AddCanvas(int width, int height)
{
    if (m_canvases.size() >= 0x7FFF)
        return -1;
    size_t pixels = size_t(std::clamp(width, 1, Canvas::kMaxSide)) *
                    size_t(std::clamp(height, 1, Canvas::kMaxSide));
    if (m_canvasPixels + pixels > kCanvasPixelLimit)
        return -1;
    m_canvases.push_back(std::make_unique<Canvas>(width, height));
    m_canvasPixels += pixels;
    return int(m_canvases.size() - 1);
}

Canvas* Page::CanvasAt(int index)
{
    if (index < 0 || size_t(index) >= m_canvases.size())
        return nullptr;
    return m_canvases[size_t(index)].get();
}

int Page::AddTimer(bool repeat)
{
    while (m_timers.count(m_nextTimer) || m_nextTimer <= 0)
        m_nextTimer = m_nextTimer <= 0 ? 1 : m_nextTimer + 1;
    int id = m_nextTimer++;
    m_timers[id] = repeat;
    return id;
}

bool Page::TimedOut()
{
    if (m_depth == 0)
        return false;
    if (!m_timedOut && std::chrono::steady_clock::now() > m_deadline)
        m_timedOut = true;
    return m_timedOut;
}

template <class Body>
bool Page::Enter(const char* origin, Body body)
{
    if (!m_ctx)
        return false;
    if (m_depth == 0) {
        m_timedOut = false;
        m_deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(ScriptTimeBudget());
    }
    ++m_depth;
    duk_int_t rc = duk_safe_call(
        m_ctx,
        [](duk_context* ctx, void* udata) -> duk_ret_t {
            (*static_cast<Body*>(udata))(ctx);
            return 0;
        },
        &body, 0, 1);
    --m_depth;
    if (rc != DUK_EXEC_SUCCESS)
        ReportError(origin);
    duk_pop(m_ctx);
    if (m_depth == 0)
        AfterScript();
    return rc == DUK_EXEC_SUCCESS;
}

void Page::ReportError(const char* origin)
{
    std::string message;
    if (m_timedOut)
        message = "the script ran longer than its time budget and was stopped";
    else
        message = duk_safe_to_stacktrace(m_ctx, -1);
    std::wstring text = L"Script error in " + Utf8ToWide(origin) + L" of " + m_url + L": " +
                        Utf8ToWide(message) + L"\n";
    OutputDebugStringW(text.c_str());
}

void Page::AfterScript()
{
    Canvas* shown = ShownCanvas();
    if (shown && shown->dirty)
        InvalidateRect(m_host->PageWindow(), nullptr, FALSE);
}

void Page::SetUp(const HtmlPage& html)
{
    Enter("the page set-up", [&](duk_context* ctx) {
        duk_push_global_stash(ctx);
        duk_push_object(ctx);
        duk_put_prop_string(ctx, -2, "timers");
        duk_pop(ctx);

        duk_eval_string(ctx, kPrelude);
        struct Function {
            const char* name;
            duk_c_function function;
            duk_idx_t args;
        };
        static const Function functions[] = {
            {"fieldGet", Natives::FieldGet, 1},
            {"fieldSet", Natives::FieldSet, 2},
            {"canvasWidth", Natives::CanvasWidth, 1},
            {"canvasHeight", Natives::CanvasHeight, 1},
            {"canvasResize", Natives::CanvasResize, 3},
            {"newCanvas", Natives::NewCanvas, 2},
            {"context", Natives::Context, 1},
            {"url", Natives::Url, 0},
            {"navigate", Natives::Navigate, 1},
            {"alert", Natives::Alert, 1},
            {"log", Natives::Log, 1},
            {"viewWidth", Natives::ViewWidth, 0},
            {"viewHeight", Natives::ViewHeight, 0},
            {"external", Natives::External, 0},
            {"setTimeout", Natives::SetTimeout, DUK_VARARGS},
            {"setInterval", Natives::SetInterval, DUK_VARARGS},
            {"clearTimer", Natives::ClearTimer, 1},
        };
        duk_push_object(ctx);
        for (const Function& f : functions) {
            duk_push_c_function(ctx, f.function, f.args);
            duk_put_prop_string(ctx, -2, f.name);
        }
        // info: forms with their fields (each with its index among all fields), canvases.
        duk_push_object(ctx);
        PushUtf8(ctx, html.title);
        duk_put_prop_string(ctx, -2, "title");
        PushUtf8(ctx, html.bodyOnload);
        duk_put_prop_string(ctx, -2, "bodyOnload");
        duk_push_array(ctx);
        size_t fieldIndex = 0;
        for (size_t f = 0; f < m_forms.size(); ++f) {
            const Form& form = *m_forms[f];
            duk_push_object(ctx);
            PushUtf8(ctx, form.name);
            duk_put_prop_string(ctx, -2, "name");
            PushUtf8(ctx, form.id);
            duk_put_prop_string(ctx, -2, "id");
            duk_push_array(ctx);
            for (size_t i = 0; i < form.fields.size(); ++i) {
                const Field& field = *form.fields[i];
                duk_push_object(ctx);
                PushUtf8(ctx, field.name);
                duk_put_prop_string(ctx, -2, "name");
                PushUtf8(ctx, field.id);
                duk_put_prop_string(ctx, -2, "id");
                PushUtf8(ctx, field.type);
                duk_put_prop_string(ctx, -2, "type");
                duk_push_uint(ctx, duk_uint_t(fieldIndex++));
                duk_put_prop_string(ctx, -2, "index");
                duk_put_prop_index(ctx, -2, duk_uarridx_t(i));
            }
            duk_put_prop_string(ctx, -2, "fields");
            duk_put_prop_index(ctx, -2, duk_uarridx_t(f));
        }
        duk_put_prop_string(ctx, -2, "forms");
        duk_push_array(ctx);
        for (size_t c = 0; c < m_canvases.size(); ++c) {
            duk_push_object(ctx);
            PushUtf8(ctx, html.canvases[c].id);
            duk_put_prop_string(ctx, -2, "id");
            duk_push_uint(ctx, duk_uint_t(c));
            duk_put_prop_string(ctx, -2, "index");
            duk_put_prop_index(ctx, -2, duk_uarridx_t(c));
        }
        duk_put_prop_string(ctx, -2, "canvases");
        duk_call(ctx, 2);
        // The dispatcher the browser calls for input and window events.
        duk_push_global_stash(ctx);
        duk_swap_top(ctx, -2);
        duk_put_prop_string(ctx, -2, "dispatcher");
        duk_pop(ctx);
    });
}

void Page::Load()
{
    std::vector<HtmlScript> scripts;
    scripts.swap(m_pendingScripts);
    for (size_t i = 0; i <= scripts.size(); ++i) {
        if (m_hasBodyOnload && i == m_scriptsBeforeBody)
            RunDispatcher("bodyOnload", "", 0, 0, 0, 0, 0);
        if (i == scripts.size())
            break;
        const HtmlScript& script = scripts[i];
        std::string code = script.code;
        std::string name = WideToUtf8(m_url);
        if (!script.src.empty()) {
            // Only files beside the page (or below its folder) are read.
            bool local = script.src.find(':') == std::string::npos && script.src[0] != '/' &&
                         script.src[0] != '\\' && script.src.find("..") == std::string::npos;
            std::ifstream file;
            if (local) {
                std::string path = m_folder + "/" + script.src;
                std::replace(path.begin(), path.end(), '\\', '/');
                file.open(path, std::ios::binary);
            }
            if (!file) {
                OutputDebugStringW(
                    (L"Cannot read the script " + Utf8ToWide(script.src) + L" of " + m_url + L"\n")
                        .c_str());
                continue;
            }
            std::ostringstream text;
            text << file.rdbuf();
            code = text.str();
            name = script.src;
        } else {
            // Line numbers of errors count from the page's first line.
            code.insert(0, std::string(size_t(std::max(0, script.line - 1)), '\n'));
        }
        Enter("a script block", [&](duk_context* ctx) {
            duk_push_lstring(ctx, code.data(), code.size());
            PushUtf8(ctx, name);
            duk_compile(ctx, DUK_COMPILE_EVAL);
            duk_call(ctx, 0);
        });
    }
    RunDispatcher("window", "load", 0, 0, 0, 0, 0);
}

bool Page::RunDispatcher(const char* member, const char* type, int x, int y, int button,
                         int buttons, int wheel)
{
    bool allowed = true;
    std::string origin = std::string("the ") + (*type ? type : member) + " handler";
    Enter(origin.c_str(), [&](duk_context* ctx) {
        duk_push_global_stash(ctx);
        if (!duk_get_prop_string(ctx, -1, "dispatcher"))
            return;
        duk_push_string(ctx, member);
        duk_push_string(ctx, type);
        duk_push_int(ctx, x);
        duk_push_int(ctx, y);
        duk_push_int(ctx, button);
        duk_push_int(ctx, buttons);
        duk_push_int(ctx, wheel);
        duk_call_prop(ctx, -8, 6);
        allowed = duk_to_boolean(ctx, -1) || duk_is_undefined(ctx, -1);
    });
    return allowed;
}

HRESULT Page::ExecScript(const std::string& code)
{
    if (!m_ctx)
        return E_FAIL;
    bool ok = Enter("execScript", [&](duk_context* ctx) {
        duk_push_lstring(ctx, code.data(), code.size());
        duk_push_string(ctx, "execScript");
        duk_compile(ctx, DUK_COMPILE_EVAL);
        duk_call(ctx, 0);
    });
    return ok ? S_OK : DISP_E_EXCEPTION;
}

bool Page::Mouse(const char* type, int x, int y, int button, int buttons, int wheel)
{
    return RunDispatcher("mouse", type, x, y, button, buttons, wheel);
}

void Page::Resize(int width, int height)
{
    if (Canvas* shown = ShownCanvas()) {
        if (shown->Width() == std::clamp(width, 1, Canvas::kMaxSide) &&
            shown->Height() == std::clamp(height, 1, Canvas::kMaxSide))
            return;
        m_canvasPixels -= size_t(shown->Width()) * size_t(shown->Height());
        shown->Resize(width, height);
        m_canvasPixels += size_t(shown->Width()) * size_t(shown->Height());
    }
    RunDispatcher("window", "resize", 0, 0, 0, 0, 0);
    InvalidateRect(m_host->PageWindow(), nullptr, FALSE);
}

void Page::Timer(UINT_PTR id)
{
    auto found = m_timers.find(int(id));
    if (found == m_timers.end()) {
        KillTimer(m_host->PageWindow(), id);
        return;
    }
    bool repeat = found->second;
    if (!repeat) {
        m_timers.erase(found);
        KillTimer(m_host->PageWindow(), id);
    }
    Enter("a timer", [&](duk_context* ctx) {
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, "timers");
        if (!duk_get_prop_index(ctx, -1, duk_uarridx_t(id)))
            return;
        if (!repeat) {
            duk_del_prop_index(ctx, -2, duk_uarridx_t(id));
        }
        duk_get_prop_index(ctx, -1, 0);
        if (duk_is_string(ctx, -1)) {
            duk_push_string(ctx, "timer");
            duk_compile(ctx, DUK_COMPILE_EVAL);
            duk_call(ctx, 0);
            return;
        }
        duk_push_undefined(ctx);
        duk_size_t count = duk_get_length(ctx, -3);
        for (duk_size_t i = 1; i < count; ++i)
            duk_get_prop_index(ctx, -2 - duk_idx_t(i), duk_uarridx_t(i));
        duk_call_method(ctx, duk_idx_t(count - 1));
    });
}

void Page::Paint(HDC dc, const RECT& area)
{
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &area, white);
    DeleteObject(white);
    Canvas* shown = ShownCanvas();
    if (!shown)
        return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, shown->Bitmap());
    RECT canvas{0, 0, shown->Width(), shown->Height()};
    RECT part;
    if (IntersectRect(&part, &canvas, &area)) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory,
                   part.left, part.top, part.right - part.left, part.bottom - part.top, blend);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    shown->dirty = false;
}

// ---- values across the window's IDispatchEx and host objects

void Page::PushDispatch(IDispatch* object)
{
    duk_context* ctx = m_ctx;
    m_hostObjects.emplace(object, ComPtr<IDispatch>(object));
    duk_push_object(ctx);
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, -2, kDispatchKey);
    duk_push_object(ctx);
    duk_push_c_function(ctx, Natives::ProxyGet, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_c_function(ctx, Natives::ProxySet, 4);
    duk_put_prop_string(ctx, -2, "set");
    duk_push_c_function(ctx, Natives::ProxyHas, 2);
    duk_put_prop_string(ctx, -2, "has");
    duk_push_proxy(ctx, 0);
}

void Page::PushVariantAndClear(VARIANT* value)
{
    // The VARIANT is cleared before anything that may throw.
    VARIANT v = *value;
    VariantInit(value);
    const VARIANT* p = &v;
    while ((p->vt == (VT_BYREF | VT_VARIANT)) && p->pvarVal)
        p = p->pvarVal;
    duk_context* ctx = m_ctx;
    switch (p->vt) {
        case VT_I2:
            duk_push_int(ctx, p->iVal);
            break;
        case VT_I4:
        case VT_INT:
            duk_push_int(ctx, p->lVal);
            break;
        case VT_UI1:
            duk_push_uint(ctx, p->bVal);
            break;
        case VT_UI4:
        case VT_UINT:
            duk_push_uint(ctx, p->ulVal);
            break;
        case VT_R4:
            duk_push_number(ctx, p->fltVal);
            break;
        case VT_R8:
            duk_push_number(ctx, p->dblVal);
            break;
        case VT_BOOL:
            duk_push_boolean(ctx, p->boolVal != VARIANT_FALSE);
            break;
        case VT_NULL:
            duk_push_null(ctx);
            break;
        case VT_BSTR: {
            std::string text =
                WideToUtf8(std::wstring(p->bstrVal ? p->bstrVal : L"", SysStringLen(p->bstrVal)));
            VariantClear(&v);
            PushUtf8(ctx, text);
            return;
        }
        case VT_DISPATCH:
            if (p->pdispVal) {
                ComPtr<IDispatch> object(p->pdispVal);
                VariantClear(&v);
                PushDispatch(object.Get());
                return;
            }
            duk_push_null(ctx);
            break;
        default:
            duk_push_undefined(ctx);
            break;
    }
    VariantClear(&v);
}

void Page::ToVariant(int index, VARIANT* value)
{
    duk_context* ctx = m_ctx;
    VariantInit(value);
    switch (duk_get_type(ctx, index)) {
        case DUK_TYPE_NULL:
            value->vt = VT_NULL;
            break;
        case DUK_TYPE_BOOLEAN:
            value->vt = VT_BOOL;
            value->boolVal = duk_get_boolean(ctx, index) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case DUK_TYPE_NUMBER: {
            double number = duk_get_number(ctx, index);
            if (number == std::trunc(number) && std::fabs(number) <= 2147483647.0 &&
                !(number == 0 && std::signbit(number))) {
                value->vt = VT_I4;
                value->lVal = LONG(number);
            } else {
                value->vt = VT_R8;
                value->dblVal = number;
            }
            break;
        }
        case DUK_TYPE_STRING: {
            std::wstring text = Utf8ToWide(ToUtf8(ctx, index));
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
            break;
        }
        case DUK_TYPE_OBJECT:
            if (IDispatch* object = Natives::DispatchOf(ctx, index)) {
                value->vt = VT_DISPATCH;
                value->pdispVal = object;
                object->AddRef();
            }
            break;
        default:
            break;
    }
}

HRESULT Page::GetDispID(const std::wstring& name, DWORD flags, DISPID* id)
{
    if (!id)
        return E_POINTER;
    *id = DISPID_UNKNOWN;
    if (!m_ctx)
        return E_FAIL;
    std::string utf8 = WideToUtf8(name);
    auto found = std::find(m_memberNames.begin(), m_memberNames.end(), utf8);
    bool known = found != m_memberNames.end();
    if (!known && !(flags & fdexNameEnsure)) {
        Enter("a name lookup", [&](duk_context* ctx) {
            duk_push_global_object(ctx);
            known = duk_has_prop_lstring(ctx, -1, utf8.data(), utf8.size());
        });
        if (!known)
            return DISP_E_UNKNOWNNAME;
    }
    if (found == m_memberNames.end()) {
        m_memberNames.push_back(utf8);
        found = m_memberNames.end() - 1;
    }
    *id = kFirstMember + DISPID(found - m_memberNames.begin());
    return S_OK;
}

HRESULT Page::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)
{
    if (!m_ctx)
        return E_FAIL;
    if (id < kFirstMember || size_t(id - kFirstMember) >= m_memberNames.size())
        return DISP_E_MEMBERNOTFOUND;
    const std::string name = m_memberNames[size_t(id - kFirstMember)];
    UINT count = params ? params->cArgs : 0;
    if (count && !params->rgvarg)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    bool ok = Enter("a call from the host", [&](duk_context* ctx) {
        duk_push_global_object(ctx);
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (count < 1) {
                hr = DISP_E_BADPARAMCOUNT;
                return;
            }
            VARIANT copy;
            VariantInit(&copy);
            VariantCopy(&copy, &params->rgvarg[0]);
            PushVariantAndClear(&copy);
            duk_put_prop_lstring(ctx, -2, name.data(), name.size());
            return;
        }
        duk_get_prop_lstring(ctx, -1, name.data(), name.size());
        if ((flags & DISPATCH_METHOD) && duk_is_callable(ctx, -1)) {
            duk_push_global_object(ctx);
            for (UINT i = 0; i < count; ++i) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopy(&copy, &params->rgvarg[count - 1 - i]);
                PushVariantAndClear(&copy);
            }
            duk_call_method(ctx, duk_idx_t(count));
        } else if (!(flags & DISPATCH_PROPERTYGET)) {
            hr = DISP_E_MEMBERNOTFOUND;
            return;
        }
        if (result) {
            VariantClear(result);
            ToVariant(-1, result);
        }
    });
    if (!ok)
        return DISP_E_EXCEPTION;
    return hr;
}

}  // namespace platform::browser
