// Registry entries of COM servers and filters.
#include "register.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>

namespace dshowbase {
namespace {

std::wstring ClassKey(REFCLSID clsid)
{
    return L"CLSID\\" + platform::GuidToString(clsid);
}

std::wstring InstanceKey(REFCLSID clsid)
{
    return ClassKey(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" + platform::GuidToString(clsid);
}

// An open registry key, closed when it goes.
class Key {
public:
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    LSTATUS Create(const std::wstring& path)
    {
        return RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_WRITE, nullptr, &m_key, nullptr);
    }
    // String values count their terminating zero.
    LSTATUS SetString(LPCWSTR name, const std::wstring& value)
    {
        return RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              DWORD((value.size() + 1) * sizeof(WCHAR)));
    }
    LSTATUS SetBinary(LPCWSTR name, const std::vector<BYTE>& value)
    {
        return RegSetValueExW(m_key, name, 0, REG_BINARY, value.data(), DWORD(value.size()));
    }

private:
    HKEY m_key = nullptr;
};

HRESULT FromStatus(LSTATUS status)
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(DWORD(status));
}

HRESULT DeleteTree(const std::wstring& path)
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return FromStatus(status);
}

void PutWord(std::vector<BYTE>* bytes, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        bytes->push_back(BYTE(value >> (8 * i)));
}

void PutGuid(std::vector<BYTE>* bytes, const GUID* guid)
{
    const GUID value = guid ? *guid : GUID_NULL;
    PutWord(bytes, value.Data1);
    bytes->push_back(BYTE(value.Data2));
    bytes->push_back(BYTE(value.Data2 >> 8));
    bytes->push_back(BYTE(value.Data3));
    bytes->push_back(BYTE(value.Data3 >> 8));
    bytes->insert(bytes->end(), value.Data4, value.Data4 + 8);
}

}  // namespace

HRESULT RegisterServer(REFCLSID clsid, const WCHAR* name, const std::wstring& libraryPath)
{
    Key classKey;
    LSTATUS status = classKey.Create(ClassKey(clsid));
    if (status == ERROR_SUCCESS)
        status = classKey.SetString(nullptr, name ? name : L"");
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    Key serverKey;
    status = serverKey.Create(ClassKey(clsid) + L"\\InprocServer32");
    if (status == ERROR_SUCCESS)
        status = serverKey.SetString(nullptr, libraryPath);
    if (status == ERROR_SUCCESS)
        status = serverKey.SetString(L"ThreadingModel", L"Both");
    return FromStatus(status);
}

HRESULT UnregisterServer(REFCLSID clsid)
{
    return DeleteTree(ClassKey(clsid));
}

std::vector<BYTE> FilterData(const AMOVIESETUP_FILTER& filter)
{
    std::vector<BYTE> bytes;
    PutWord(&bytes, 1);
    PutWord(&bytes, filter.dwMerit);
    const UINT pins = filter.lpPin ? filter.nPins : 0;
    PutWord(&bytes, pins);
    for (UINT i = 0; i < pins; ++i) {
        const AMOVIESETUP_PIN& pin = filter.lpPin[i];
        DWORD flags =
            (pin.bZero ? REG_PINFLAG_B_ZERO : 0) | (pin.bRendered ? REG_PINFLAG_B_RENDERER : 0) |
            (pin.bMany ? REG_PINFLAG_B_MANY : 0) | (pin.bOutput ? REG_PINFLAG_B_OUTPUT : 0);
        PutWord(&bytes, flags);
        const UINT types = pin.lpMediaType ? pin.nMediaTypes : 0;
        PutWord(&bytes, types);
        for (UINT t = 0; t < types; ++t) {
            PutGuid(&bytes, pin.lpMediaType[t].clsMajorType);
            PutGuid(&bytes, pin.lpMediaType[t].clsMinorType);
        }
    }
    return bytes;
}

HRESULT RegisterFilter(const AMOVIESETUP_FILTER& filter)
{
    if (!filter.clsID)
        return E_POINTER;
    Key instance;
    LSTATUS status = instance.Create(InstanceKey(*filter.clsID));
    if (status == ERROR_SUCCESS) {
        status = instance.SetString(L"FriendlyName", filter.strName ? filter.strName : L"");
    }
    if (status == ERROR_SUCCESS) {
        status = instance.SetString(L"CLSID", platform::GuidToString(*filter.clsID));
    }
    if (status == ERROR_SUCCESS)
        status = instance.SetBinary(L"FilterData", FilterData(filter));
    return FromStatus(status);
}

HRESULT UnregisterFilter(REFCLSID clsid)
{
    return DeleteTree(InstanceKey(clsid));
}

HMODULE LibraryModule()
{
    // The object that holds this function is the library the base classes are linked into.
    Dl_info info;
    link_map* map = nullptr;
    if (!dladdr1(reinterpret_cast<void*>(&LibraryModule), &info, reinterpret_cast<void**>(&map),
                 RTLD_DL_LINKMAP) ||
        !map) {
        return nullptr;
    }
    if (!map->l_name || !map->l_name[0])
        return GetModuleHandleW(nullptr);  // the program
    char resolved[PATH_MAX];
    const char* path = realpath(map->l_name, resolved) ? resolved : map->l_name;
    return GetModuleHandleW(platform::ToWindowsPath(path).c_str());
}

std::wstring ModulePath(HMODULE module)
{
    if (!module)
        return std::wstring();
    WCHAR name[MAX_PATH * 4];
    const DWORD capacity = DWORD(sizeof name / sizeof name[0]);
    DWORD length = GetModuleFileNameW(module, name, capacity);
    if (length == 0 || length >= capacity)
        return std::wstring();
    return std::wstring(name, length);
}

}  // namespace dshowbase
