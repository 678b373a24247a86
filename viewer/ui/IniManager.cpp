#include "ui/IniManager.h"

#include <sstream>
#include <vector>

namespace {

typedef std::lock_guard<std::mutex> Lock;

const WCHAR kLanguageType[] = L"LANGUAGE";

// The program's resource of that name and type, or false when it does not exist.
bool FindProgramResource(LPCWSTR name, LPCWSTR type, const void*& data, size_t& size)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, name, type);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    data = loaded ? LockResource(loaded) : nullptr;
    size = data ? SizeofResource(module, resource) : 0;
    return data != nullptr;
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// One line of C-header text: true and the name and value of a "#define NAME VALUE" line whose
// name does not begin with "_".
bool ParseDefine(const std::string& line, std::wstring& name, std::wstring& value)
{
    std::istringstream words(line);
    std::string directive, symbol, text;
    if (!(words >> directive >> symbol >> text))
        return false;
    if (directive.compare(0, 7, "#define") != 0 || symbol[0] == '_')
        return false;
    name = platform::AnsiToWide(symbol);
    value = platform::AnsiToWide(text);
    return true;
}

}  // namespace

BOOL CIniManager::Load(const std::wstring& primaryPath, const std::wstring& fallbackPath)
{
    Lock lock(m_lock);
    m_loaded = 0;
    const BOOL primary = m_primary.LoadFile(primaryPath.c_str());
    const BOOL fallback = fallbackPath.empty() ? 0 : m_fallback.LoadFile(fallbackPath.c_str());
    if (primary || fallback)
        m_loaded = 1;
    return m_loaded ? TRUE : FALSE;
}

BOOL CIniManager::LoadFromResource(const std::wstring& primaryName,
                                   const std::wstring& fallbackName)
{
    Lock lock(m_lock);
    m_loaded = 0;
    bool parsed = false;
    const std::pair<const std::wstring*, CIniFile*> texts[] = {{&primaryName, &m_primary},
                                                               {&fallbackName, &m_fallback}};
    for (const auto& [name, document] : texts) {
        if (name->empty())
            continue;
        const void* data = nullptr;
        size_t size = 0;
        if (!FindProgramResource(name->c_str(), kLanguageType, data, size))
            return FALSE;
        if (document->LoadMemory(data, size))
            parsed = true;
    }
    if (parsed)
        m_loaded = 1;
    return m_loaded ? TRUE : FALSE;
}

BOOL CIniManager::LoadFromMemory(const void* data, size_t length)
{
    Lock lock(m_lock);
    m_loaded = 0;
    m_primary.LoadMemory(data, length);
    m_loaded = 1;
    return TRUE;
}

std::wstring CIniManager::Get(LPCWSTR key, LPCWSTR section)
{
    Lock lock(m_lock);
    if (!m_loaded)
        return kErrorLoading;
    std::wstring value;
    if (!m_primary.GetValue(section, key, value, L"") || value.empty())
        m_fallback.GetValue(section, key, value, L"");
    ReplaceAll(value, L"\\n", L"\n");
    ReplaceAll(value, L"\\r", L"\r");
    return value;
}

BOOL CIniManager::Set(LPCWSTR section, LPCWSTR key, LPCWSTR value)
{
    Lock lock(m_lock);
    if (!m_loaded)
        return FALSE;
    return m_primary.SetValue(section, key, value) ? TRUE : FALSE;
}

BOOL CIniManager::Save(const std::wstring& path)
{
    Lock lock(m_lock);
    if (!m_loaded)
        return FALSE;
    // Only the primary document is what the caller changed; writing the fallback in its place
    // would replace the file with other content and report that as success.
    return m_primary.Save(path.c_str()) ? TRUE : FALSE;
}

BOOL CIniManager::IsLoaded()
{
    Lock lock(m_lock);
    return m_loaded ? TRUE : FALSE;
}

BOOL CIniManager::LoadSymbolsFromResource(LPCWSTR name, LPCWSTR type)
{
    Lock lock(m_lock);
    m_symbols.clear();
    const void* data = nullptr;
    size_t size = 0;
    if (!FindProgramResource(name, type, data, size))
        return 0;
    std::istringstream text(std::string(static_cast<const char*>(data), size));
    std::wstring symbol, value;
    for (std::string line; std::getline(text, line);) {
        if (ParseDefine(line, symbol, value))
            m_symbols[value] = symbol;
    }
    return 1;
}

BOOL CIniManager::LoadSymbolsFromFile(const std::wstring& path)
{
    Lock lock(m_lock);
    m_symbols.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;

    // Lines as a text-mode reader with a 1024-byte buffer sees them: CR LF reads as LF, and a
    // longer line arrives as several pieces of at most 1023 characters.
    constexpr size_t kMaxLine = 1023;
    std::wstring symbol, value;
    std::string line;
    auto finishLine = [&]() {
        if (ParseDefine(line, symbol, value)) {
            auto [entry, inserted] = m_symbols.emplace(value, symbol);
            if (!inserted)
                entry->second += L"," + symbol;
        }
        line.clear();
    };
    std::vector<char> buffer(65536);
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), DWORD(buffer.size()), &read, nullptr) && read > 0) {
        for (DWORD i = 0; i < read; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                finishLine();
                continue;
            }
            if (line.size() == kMaxLine)
                finishLine();
            line.push_back(c);
        }
    }
    if (!line.empty())
        finishLine();
    CloseHandle(file);
    return 1;
}

BOOL CIniManager::LookupSymbol(const std::wstring& value, std::wstring& name)
{
    Lock lock(m_lock);
    auto found = m_symbols.find(value);
    if (found == m_symbols.end())
        return FALSE;
    name = found->second;
    return TRUE;
}
