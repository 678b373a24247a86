// Feeds arbitrary bytes to the registry as a hive file, then reads and writes through the API.
//
// Input: the first byte says how many of the following 4-byte groups make the wide text used
// for a key name, a value name and a string value (any code units but zero and '\'); the rest
// is the hive file. Checks: nothing crashes; a value set reads back exactly; and a file this
// layer wrote reads back as itself (setting the same value again writes the same bytes), so
// what it writes and what it reads agree.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

std::string g_home;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "registry_fuzz: %s\n", what);
        std::abort();
    }
}

// The store holds only the current user's hive, its lock and its temporary file.
void RemoveHome()
{
    for (const char* suffix : {"", ".lock", ".tmp"})
        unlink((g_home + "/HKEY_CURRENT_USER" + suffix).c_str());
    rmdir(g_home.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/registry_fuzz.XXXXXX";
    if (!mkdtemp(folder))
        std::abort();
    g_home = folder;
    platform::testing::SetHomeFolder(g_home);
    std::atexit(RemoveHome);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t groups = size ? data[0] % 32 : 0;
    size_t textBytes = size ? std::min(size - 1, groups * 4) / 4 * 4 : 0;
    std::wstring text;
    for (size_t i = 0; i < textBytes; i += 4) {
        uint32_t unit;
        std::memcpy(&unit, data + 1 + i, 4);
        if (unit == 0 || unit == '\\')
            unit = 'k';
        text += wchar_t(unit);
    }
    size_t hiveStart = size ? 1 + textBytes : 0;
    std::string hivePath = g_home + "/HKEY_CURRENT_USER";
    {
        std::ofstream out(hivePath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + hiveStart),
                  std::streamsize(size - hiveStart));
    }

    // Reads of whatever the file holds.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\KESTROVAN", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0, bytes = 0;
        RegQueryValueExW(key, L"LANGUAGE", nullptr, &type, nullptr, &bytes);
        RegCloseKey(key);
    }
    BYTE small[8];
    DWORD smallSize = sizeof small;
    RegQueryValueExW(HKEY_CURRENT_USER, L"", nullptr, nullptr, small, &smallSize);

    // A write through a key named by the input, and the value read back.
    std::wstring path = L"fuzz\\" + (text.empty() ? std::wstring(L"key") : text);
    Check(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) == ERROR_SUCCESS,
          "create failed");
    std::wstring value = text + L"\x01\"%";
    DWORD valueSize = DWORD((value.size() + 1) * sizeof(WCHAR));
    Check(RegSetValueExW(key, text.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         valueSize) == ERROR_SUCCESS,
          "set failed");
    std::wstring back(value.size() + 1, L'?');
    DWORD backSize = DWORD(back.size() * sizeof(WCHAR));
    DWORD type = 0;
    Check(RegQueryValueExW(key, text.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(back.data()),
                           &backSize) == ERROR_SUCCESS,
          "query failed");
    Check(type == REG_SZ && backSize == valueSize && back.compare(0, value.size(), value) == 0 &&
              back[value.size()] == L'\0',
          "value read back differs");

    std::string first = ReadAll(hivePath);
    Check(RegSetValueExW(key, text.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         valueSize) == ERROR_SUCCESS,
          "second set failed");
    Check(ReadAll(hivePath) == first, "a rewrite of an unchanged hive changed the file");
    RegCloseKey(key);
    return 0;
}
