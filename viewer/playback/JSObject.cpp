#include "playback/JSObject.h"

#include "platform/kernel.h"

namespace {

constexpr DISPID DISPID_USER_DOC_LOAD_COMPLETE = 1;
constexpr DISPID DISPID_USER_FORMAT = 2;
constexpr DISPID DISPID_USER_SUBTITLE = 3;
constexpr DISPID DISPID_USER_RESET = 4;
constexpr DISPID DISPID_USER_LOG = 5;

}  // namespace

JSObject::JSObject()
{
    m_idMap[L"doc_load_complete"] = DISPID_USER_DOC_LOAD_COMPLETE;
    m_idMap[L"format"] = DISPID_USER_FORMAT;
    m_idMap[L"sub_title"] = DISPID_USER_SUBTITLE;
    m_idMap[L"reset"] = DISPID_USER_RESET;
    m_idMap[L"log"] = DISPID_USER_LOG;
}

HRESULT STDMETHODCALLTYPE JSObject::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE JSObject::AddRef()
{
    return ULONG(++m_ref);
}

ULONG STDMETHODCALLTYPE JSObject::Release()
{
    LONG count = --m_ref;
    if (count == 0) {
        OutputDebugStringW(L"JSObject::Release(): delete this");
        delete this;
    }
    return ULONG(count);
}

HRESULT STDMETHODCALLTYPE JSObject::GetTypeInfoCount(UINT* count)
{
    if (count)
        *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE JSObject::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE JSObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                  DISPID* ids)
{
    if (count && (!names || !ids))
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        auto found = names[i] ? m_idMap.find(names[i]) : m_idMap.end();
        if (found == m_idMap.end()) {
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        } else {
            ids[i] = found->second;
        }
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE JSObject::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS*,
                                           VARIANT*, EXCEPINFO*, UINT*)
{
    if (!(flags & DISPATCH_METHOD))
        return E_FAIL;
    switch (member) {
        case DISPID_USER_DOC_LOAD_COMPLETE:
        case DISPID_USER_LOG:
            return S_OK;
        case DISPID_USER_FORMAT:
            OutputDebugStringW(L"DISPID_USER_FORMAT\nDISPID_USER_FORMAT\nDISPID_USER_FORMAT\n");
            return S_OK;
        case DISPID_USER_SUBTITLE:
            OutputDebugStringW(L"DISPID_USER_SUBTITLE\n");
            return S_OK;
        case DISPID_USER_RESET:
            OutputDebugStringW(L"DISPID_USER_RESET\nDISPID_USER_RESET\nDISPID_USER_RESET\n");
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}
