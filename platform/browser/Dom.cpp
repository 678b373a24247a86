// The document, window, forms and fields of a page as COM objects.
#include "Dom.h"

#include <atomic>
#include <cwctype>

namespace platform::browser {

namespace {

// Reference counting for an object whose interfaces all lead to one IUnknown.
class RefCount {
public:
    ULONG Add() { return ULONG(++m_count); }
    // Returns the new count; the caller deletes the object at 0.
    ULONG Drop() { return ULONG(--m_count); }

private:
    std::atomic<LONG> m_count{1};
};

#define KV_REFCOUNTED(Class)                   \
    ULONG STDMETHODCALLTYPE AddRef() override  \
    {                                          \
        return m_refs.Add();                   \
    }                                          \
    ULONG STDMETHODCALLTYPE Release() override \
    {                                          \
        ULONG count = m_refs.Drop();           \
        if (count == 0)                        \
            delete this;                       \
        return count;                          \
    }                                          \
    RefCount m_refs;

// The IDispatch part of objects that offer no names of their own.
#define KV_NO_NAMES                                                              \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override             \
    {                                                                            \
        if (!count)                                                              \
            return E_POINTER;                                                    \
        *count = 0;                                                              \
        return S_OK;                                                             \
    }                                                                            \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override \
    {                                                                            \
        if (info)                                                                \
            *info = nullptr;                                                     \
        return E_NOTIMPL;                                                        \
    }

template <class Interface>
HRESULT Answer(Interface* self, REFIID iid, void** object, std::initializer_list<IID> iids)
{
    if (!object)
        return E_POINTER;
    for (const IID& known : iids)
        if (iid == known) {
            *object = self;
            self->AddRef();
            return S_OK;
        }
    *object = nullptr;
    return E_NOINTERFACE;
}

bool IndexOf(const VARIANT& name, LONG* index)
{
    const VARIANT* v = &name;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    switch (v->vt) {
        case VT_I4:
        case VT_INT:
            *index = v->lVal;
            return true;
        case VT_I2:
            *index = v->iVal;
            return true;
        case VT_UI4:
        case VT_UINT:
            *index = LONG(v->ulVal);
            return true;
        case VT_R8:
            *index = LONG(v->dblVal);
            return true;
        default:
            return false;
    }
}

std::string NameOf(const VARIANT& name)
{
    const VARIANT* v = &name;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    if (v->vt != VT_BSTR || !v->bstrVal)
        return {};
    return WideToUtf8(std::wstring(v->bstrVal, SysStringLen(v->bstrVal)));
}

bool SameName(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::towlower(*a) != std::towlower(*b))
            return false;
    return *a == *b;
}

BSTR Bstr(const std::string& utf8)
{
    std::wstring wide = Utf8ToWide(utf8);
    return SysAllocStringLen(wide.data(), UINT(wide.size()));
}

// The element of a collection that item(name, ...) names: by position for a number, else the
// first whose name or id is the text; null when none is.
template <class Element, class Item>
IDispatch* Pick(const VARIANT& name, const std::vector<std::shared_ptr<Item>>& items)
{
    LONG index;
    if (IndexOf(name, &index))
        return index >= 0 && size_t(index) < items.size() ? new Element(items[size_t(index)])
                                                          : nullptr;
    std::string wanted = NameOf(name);
    for (auto& item : items)
        if (!wanted.empty() && (item->name == wanted || item->id == wanted))
            return new Element(item);
    return nullptr;
}

// A form field: the members "value" (get and put), "name", "id" and "type" (get), matched
// without regard to case as the page's object model matches them.
class CInputElement final : public IDispatch {
public:
    explicit CInputElement(std::shared_ptr<Field> field) : m_field(std::move(field)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return Answer(this, iid, object, {IID_IUnknown, IID_IDispatch});
    }
    KV_REFCOUNTED(CInputElement)
    KV_NO_NAMES

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (count && (!names || !ids))
            return E_POINTER;
        static const wchar_t* members[] = {L"value", L"name", L"id", L"type"};
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (DISPID m = 0; m < 4; ++m)
                if (names[i] && SameName(names[i], members[m]))
                    ids[i] = m + 1;
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id < 1 || id > 4)
            return DISP_E_MEMBERNOTFOUND;
        if (flags & DISPATCH_PROPERTYPUT) {
            if (id != 1)
                return DISP_E_MEMBERNOTFOUND;
            if (!params || params->cArgs < 1 || !params->rgvarg)
                return DISP_E_BADPARAMCOUNT;
            const VARIANT& v = params->rgvarg[0];
            if (v.vt != VT_BSTR)
                return DISP_E_TYPEMISMATCH;
            m_field->value =
                WideToUtf8(std::wstring(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal)));
            return S_OK;
        }
        if (!(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        if (!result)
            return S_OK;
        const std::string* text[] = {&m_field->value, &m_field->name, &m_field->id, &m_field->type};
        VariantClear(result);
        result->vt = VT_BSTR;
        result->bstrVal = Bstr(*text[id - 1]);
        return S_OK;
    }

private:
    ~CInputElement() = default;
    std::shared_ptr<Field> m_field;
};

class CFormElement final : public IHTMLFormElement {
public:
    explicit CFormElement(std::shared_ptr<Form> form) : m_form(std::move(form)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return Answer(this, iid, object, {IID_IUnknown, IID_IDispatch, IID_IHTMLFormElement});
    }
    KV_REFCOUNTED(CFormElement)
    KV_NO_NAMES
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* length) override
    {
        if (!length)
            return E_POINTER;
        *length = LONG(m_form->fields.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT, IDispatch** element) override
    {
        if (!element)
            return E_POINTER;
        *element = Pick<CInputElement>(name, m_form->fields);
        return S_OK;
    }

private:
    ~CFormElement() = default;
    std::shared_ptr<Form> m_form;
};

class CFormCollection final : public IHTMLElementCollection {
public:
    explicit CFormCollection(std::weak_ptr<Page> page) : m_page(std::move(page)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return Answer(this, iid, object, {IID_IUnknown, IID_IDispatch, IID_IHTMLElementCollection});
    }
    KV_REFCOUNTED(CFormCollection)
    KV_NO_NAMES
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* length) override
    {
        if (!length)
            return E_POINTER;
        auto page = m_page.lock();
        *length = page ? LONG(page->Forms().size()) : 0;
        return page ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT, IDispatch** element) override
    {
        if (!element)
            return E_POINTER;
        *element = nullptr;
        auto page = m_page.lock();
        if (!page)
            return E_FAIL;
        *element = Pick<CFormElement>(name, page->Forms());
        return S_OK;
    }

private:
    ~CFormCollection() = default;
    std::weak_ptr<Page> m_page;
};

// The window: IHTMLWindow2 for execScript, IDispatchEx (and IDispatch) over the globals.
class CHtmlWindow final : public IHTMLWindow2, public IDispatchEx {
public:
    explicit CHtmlWindow(std::weak_ptr<Page> page) : m_page(std::move(page)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IDispatchEx) {
            *object = static_cast<IDispatchEx*>(this);
            AddRef();
            return S_OK;
        }
        return Answer(static_cast<IHTMLWindow2*>(this), iid, object,
                      {IID_IUnknown, IID_IDispatch, IID_IHTMLWindow2});
    }
    KV_REFCOUNTED(CHtmlWindow)
    KV_NO_NAMES
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (count && (!names || !ids))
            return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            BSTR name = SysAllocString(names[i] ? names[i] : L"");
            if (FAILED(GetDispID(name, fdexNameCaseSensitive, &ids[i])))
                hr = DISP_E_UNKNOWNNAME;
            SysFreeString(name);
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override
    {
        return InvokeEx(id, locale, flags, params, result, exception, nullptr);
    }
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override
    {
        auto page = m_page.lock();
        if (!page) {
            if (id)
                *id = DISPID_UNKNOWN;
            return E_FAIL;
        }
        return page->GetDispID(std::wstring(name ? name : L"", SysStringLen(name)), flags, id);
    }
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, IServiceProvider*) override
    {
        auto page = m_page.lock();
        if (!page)
            return E_FAIL;
        return page->InvokeMember(id, flags, params, result);
    }
    HRESULT STDMETHODCALLTYPE execScript(BSTR code, BSTR language, VARIANT* result) override
    {
        if (result)
            VariantInit(result);
        std::wstring lang(language ? language : L"", SysStringLen(language));
        if (!lang.empty() && !SameName(lang.c_str(), L"JScript") &&
            !SameName(lang.c_str(), L"JavaScript"))
            return E_INVALIDARG;
        auto page = m_page.lock();
        if (!page)
            return E_FAIL;
        return page->ExecScript(WideToUtf8(std::wstring(code ? code : L"", SysStringLen(code))));
    }

private:
    ~CHtmlWindow() = default;
    std::weak_ptr<Page> m_page;
};

class CHtmlDocument final : public IHTMLDocument2 {
public:
    explicit CHtmlDocument(std::weak_ptr<Page> page) : m_page(std::move(page)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return Answer(this, iid, object, {IID_IUnknown, IID_IDispatch, IID_IHTMLDocument2});
    }
    KV_REFCOUNTED(CHtmlDocument)
    KV_NO_NAMES
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** window) override
    {
        if (!window)
            return E_POINTER;
        *window = nullptr;
        if (m_page.expired())
            return E_FAIL;
        *window = new CHtmlWindow(m_page);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_forms(IHTMLElementCollection** forms) override
    {
        if (!forms)
            return E_POINTER;
        *forms = nullptr;
        if (m_page.expired())
            return E_FAIL;
        *forms = new CFormCollection(m_page);
        return S_OK;
    }

private:
    ~CHtmlDocument() = default;
    std::weak_ptr<Page> m_page;
};

}  // namespace

IHTMLDocument2* NewDocument(const std::shared_ptr<Page>& page)
{
    return new CHtmlDocument(page);
}

}  // namespace platform::browser
