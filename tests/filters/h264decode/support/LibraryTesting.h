// Test support: a filter library as the viewer meets it, a shared object in the program's
// folder loaded by path, with its registry entries read back from a temporary registry.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dshow/streams.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace h264test {

// The library's file in the build's program folder, in Windows form.
inline std::wstring LibraryPath(const std::string& file)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    EXPECT_NE(build, nullptr) << "KV_BUILD_DIR is not set";
    return platform::ToWindowsPath(std::string(build ? build : ".") + "/bin/" + file);
}

// Points the registry at a new empty folder for the life of the object.
class TemporaryRegistry {
public:
    TemporaryRegistry()
    {
        char pattern[] = "/tmp/kv-filter-registry-XXXXXX";
        m_folder = mkdtemp(pattern);
        platform::testing::SetHomeFolder(m_folder);
    }
    ~TemporaryRegistry()
    {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

private:
    std::string m_folder;
};

inline std::wstring ClassKey(REFCLSID clsid)
{
    return L"CLSID\\" + platform::GuidToString(clsid);
}

inline std::wstring FilterInstanceKey(REFCLSID clsid)
{
    return L"CLSID\\" + platform::GuidToString(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" +
           platform::GuidToString(clsid);
}

// A value's bytes under HKEY_CLASSES_ROOT; empty when the key or the value is missing.
inline std::vector<BYTE> ReadValue(const std::wstring& path, LPCWSTR name, DWORD* type = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(4096);
    DWORD size = DWORD(data.size());
    DWORD valueType = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &valueType, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return {};
    if (type)
        *type = valueType;
    data.resize(size);
    return data;
}

inline std::wstring ReadString(const std::wstring& path, LPCWSTR name)
{
    DWORD type = 0;
    std::vector<BYTE> bytes = ReadValue(path, name, &type);
    if (bytes.empty() || type != REG_SZ)
        return L"<missing>";
    std::wstring text(reinterpret_cast<const WCHAR*>(bytes.data()), bytes.size() / sizeof(WCHAR));
    if (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

// The registered filter data, read as its little-endian words: version, merit, pin count,
// then for each pin its flags, its type count and each type's two GUIDs.
struct RegisteredPin {
    DWORD flags = 0;
    std::vector<std::pair<GUID, GUID>> types;
};
struct RegisteredFilter {
    DWORD version = 0;
    DWORD merit = 0;
    std::vector<RegisteredPin> pins;
};

inline RegisteredFilter ReadFilterData(const std::vector<BYTE>& bytes)
{
    RegisteredFilter filter;
    size_t at = 0;
    auto word = [&] {
        DWORD value = 0;
        if (at + 4 <= bytes.size())
            std::memcpy(&value, bytes.data() + at, 4);
        at += 4;
        return value;
    };
    auto guid = [&] {
        GUID value = GUID_NULL;
        if (at + 16 <= bytes.size())
            std::memcpy(&value, bytes.data() + at, 16);
        at += 16;
        return value;
    };
    filter.version = word();
    filter.merit = word();
    const DWORD pins = word();
    for (DWORD p = 0; p < pins && at < bytes.size(); ++p) {
        RegisteredPin pin;
        pin.flags = word();
        const DWORD types = word();
        for (DWORD t = 0; t < types && at < bytes.size(); ++t) {
            const GUID major = guid();
            pin.types.emplace_back(major, guid());
        }
        filter.pins.push_back(pin);
    }
    return filter;
}

template <class Proc>
Proc Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Proc>(GetProcAddress(module, name));
}

}  // namespace h264test
