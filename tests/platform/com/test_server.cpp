// KvComTestServer.dll: a small in-process COM server with the four library exports, built with
// hidden visibility like the filter libraries, so that the exports are visible only through
// STDAPI. It serves one class, CLSID_KvComTestWidget, which cannot be aggregated.
#include <atomic>
#include <string>

#include "platform/com.h"
#include "platform/kernel.h"
#include "test_server.h"

namespace {

// Objects and class objects alive, and server locks held: DllCanUnloadNow's answer.
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

class Widget final : public IKvTestWidget {
public:
    Widget() { ++g_liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IKvTestWidget) {
            *object = static_cast<IKvTestWidget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetAnswer(int* answer) override
    {
        if (!answer)
            return E_POINTER;
        *answer = 42;
        return S_OK;
    }

private:
    ~Widget() { --g_liveObjects; }
    std::atomic<ULONG> m_references{1};
};

class WidgetFactory final : public IClassFactory {
public:
    WidgetFactory() { ++g_liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Widget* widget = new Widget;
        HRESULT result = widget->QueryInterface(iid, object);
        widget->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++g_serverLocks : --g_serverLocks;
        return S_OK;
    }

private:
    ~WidgetFactory() { --g_liveObjects; }
    std::atomic<ULONG> m_references{1};
};

std::wstring ClassKey()
{
    return L"CLSID\\" + platform::GuidToString(CLSID_KvComTestWidget);
}

LSTATUS SetString(HKEY key, LPCWSTR name, const std::wstring& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(WCHAR)));
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_KvComTestWidget)
        return CLASS_E_CLASSNOTAVAILABLE;
    WidgetFactory* factory = new WidgetFactory;
    HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow()
{
    return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE;
}

// Writes the class key with the library's own path as the server.
STDAPI DllRegisterServer()
{
    HMODULE self = GetModuleHandleW(KV_COM_TEST_SERVER_NAME);
    WCHAR path[4096];
    DWORD length = self ? GetModuleFileNameW(self, path, 4096) : 0;
    if (length == 0 || length >= 4096)
        return E_UNEXPECTED;
    HKEY server = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey() + L"\\InprocServer32").c_str(),
                                     0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &server, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    status = SetString(server, nullptr, std::wstring(path, length));
    if (status == ERROR_SUCCESS)
        status = SetString(server, L"ThreadingModel", L"Both");
    RegCloseKey(server);
    return HRESULT_FROM_WIN32(status);
}

// Removes the class key and everything under it; a class not registered is no failure.
STDAPI DllUnregisterServer()
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}
