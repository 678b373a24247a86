// The page object that the map page reaches as "Dashcam": an IDispatch object with five
// script-callable methods, which are accepted and answered and change nothing in the viewer.
//
// It is reference counted and ends with its last Release: the page holds references of its
// own while it keeps the property, so its creator releases its reference instead of deleting
// it (the destructor is private).
#pragma once

#include <atomic>
#include <map>
#include <string>

#include "platform/com.h"

class JSObject final : public IDispatch {
public:
    JSObject();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    // Names are matched exactly; a missing name gets DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    // Only method calls: property flags alone answer E_FAIL.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

private:
    ~JSObject() = default;

    std::map<std::wstring, DISPID> m_idMap;
    std::atomic<LONG> m_ref{0};
};
