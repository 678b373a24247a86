#include "ui/Settings.h"

#include <climits>
#include <vector>

// Constructed before the application object starts, in this order, and destroyed at exit.
CIniManager g_LanguageIni;
CIniManager g_SettingIni;
std::wstring g_strLanguage;
std::mutex g_csLanguageName;

namespace {

const WCHAR kInstallSection[] = L"install";
const WCHAR kFallbackLanguage[] = L"english";

// Where LoadSettingIni read the settings file and SaveSettingIni writes it; empty until the
// first load. Guarded by g_csSettingPath.
std::wstring g_strSettingPath;
std::mutex g_csSettingPath;

// The folder of the running program file, in Windows form without a trailing backslash.
std::wstring ProgramFolder()
{
    std::vector<WCHAR> buffer(MAX_PATH);
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size() - 1) {
            std::wstring path(buffer.data(), length);
            const size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring SettingPathIn(const std::wstring& folder)
{
    std::wstring path = folder.empty() ? ProgramFolder() : folder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    return path + kSettingIniName;
}

// A signed decimal number as the C library's wide atoi reads it: leading blanks, one sign,
// the leading digits; 0 when there are none; clamped to the int range.
int DecimalValue(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 1LL + INT_MAX)
            value = 1LL + INT_MAX;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

}  // namespace

BOOL LoadSettingIni(const std::wstring& folder)
{
    const std::wstring path = SettingPathIn(folder);
    {
        std::lock_guard<std::mutex> lock(g_csSettingPath);
        g_strSettingPath = path;
    }
    if (g_SettingIni.Load(path, std::wstring()))
        return TRUE;
    // Without a settings file the choices still need a home: start an empty document that
    // the first save writes. A file that is there but unreadable is kept as it is instead of
    // being replaced by one holding only the next change.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        g_SettingIni.LoadFromMemory(nullptr, 0);
    }
    return FALSE;
}

BOOL SaveSettingIni(const std::wstring& folder)
{
    std::wstring path;
    if (folder.empty()) {
        std::lock_guard<std::mutex> lock(g_csSettingPath);
        path = g_strSettingPath;
    }
    if (path.empty())
        path = SettingPathIn(folder);
    return g_SettingIni.Save(path);
}

std::wstring GetInstallValue(LPCWSTR key)
{
    return g_SettingIni.Get(key, kInstallSection);
}

BOOL SetInstallValue(LPCWSTR key, LPCWSTR value)
{
    return g_SettingIni.Set(kInstallSection, key, value);
}

BOOL LoadLanguage(const std::wstring& name)
{
    if (!g_LanguageIni.LoadFromResource(name, kFallbackLanguage))
        return FALSE;
    std::lock_guard<std::mutex> lock(g_csLanguageName);
    g_strLanguage = name;
    return TRUE;
}

std::wstring GetLanguageName()
{
    std::lock_guard<std::mutex> lock(g_csLanguageName);
    return g_strLanguage;
}

std::wstring GetLangText(LPCWSTR key, LPCWSTR section)
{
    return g_LanguageIni.Get(key, section);
}

std::wstring GetUIFaceName()
{
    return g_LanguageIni.Get(L"DEFAULT_UI_FACENAME", L"font");
}

int GetFontValue(LPCWSTR key)
{
    return DecimalValue(g_LanguageIni.Get(key, L"font"));
}

int GetMenuValue(LPCWSTR key)
{
    return DecimalValue(g_LanguageIni.Get(key, L"menu"));
}
