#include "ui/IniFile.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// The ANSI code page, in which 8-bit ini text is read.
constexpr UINT kIniCodePage = CP_ACP;

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
}

// The white-space class used to trim lines, keys and values: the ASCII blanks and line breaks
// and the other Unicode space characters. Fixed here rather than taken from the C library, so
// that parsing does not depend on the process's locale.
bool IsBlank(wchar_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsQuote(wchar_t c)
{
    return c == L'"' || c == L'\'';
}

int DigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'z')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'Z')
        return c - L'A' + 10;
    return INT_MAX;
}

// The standard library's unsigned conversion with a 32-bit unsigned long: leading blanks and
// one sign, an optional "0x" in radix 16 (or radix 0, which also takes a leading "0" as octal),
// digits up to the first character that is not one; no digits give 0, a value beyond 32 bits
// gives all bits set, and a minus sign negates modulo 2^32.
uint32_t ToUInt32(const std::wstring& text, int radix)
{
    const wchar_t* p = text.c_str();
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-')
        negative = *p++ == L'-';
    const bool hexPrefix = p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') && DigitValue(p[2]) < 16;
    if (radix == 0) {
        radix = hexPrefix ? 16 : (p[0] == L'0' ? 8 : 10);
    }
    if (radix < 2 || radix > 36)
        return 0;
    if (radix == 16 && hexPrefix)
        p += 2;
    uint64_t value = 0;
    bool overflow = false;
    bool anyDigit = false;
    for (int digit; (digit = DigitValue(*p)) < radix; ++p) {
        anyDigit = true;
        if (!overflow) {
            value = value * uint64_t(radix) + uint64_t(digit);
            overflow = value > 0xFFFFFFFFull;
        }
    }
    if (!anyDigit)
        return 0;
    if (overflow)
        return 0xFFFFFFFFu;
    return negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
}

}  // namespace

size_t CIniNameHash::operator()(const std::wstring& name) const
{
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : name) {
        hash ^= uint64_t(uint32_t(FoldAscii(c)));
        hash *= 1099511628211ull;
    }
    return size_t(hash);
}

bool CIniNameEqual::operator()(const std::wstring& a, const std::wstring& b) const
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

CIniFile::CIniFile() = default;

CIniFile::CIniFile(LPCWSTR path)
{
    LoadFile(path);
}

void CIniFile::Clear()
{
    m_sections.clear();
    m_defaultSection = nullptr;
    m_cachedName.clear();
    m_cachedSection = nullptr;
    m_text.clear();
    m_position = 0;
    m_line.clear();
}

BOOL CIniFile::LoadFile(LPCWSTR path)
{
    Clear();
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;

    BOOL result = 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        // The error of GetFileSizeEx stands.
    } else if (size.QuadPart > kMaxFileSize) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (size.QuadPart == 0) {
        result = 1;
    } else {
        const DWORD expected = DWORD(size.QuadPart);
        std::vector<BYTE> bytes(size_t(expected) + 2, 0);
        DWORD total = 0;
        while (total < expected) {
            DWORD read = 0;
            if (!ReadFile(file, bytes.data() + total, expected - total, &read, nullptr) ||
                read == 0) {
                break;
            }
            total += read;
        }
        if (total < expected) {
            SetLastError(ERROR_HANDLE_EOF);
        } else if (LoadMemory(bytes.data(), expected)) {
            result = 1;
        } else {
            SetLastError(ERROR_INVALID_DATA);
        }
    }
    CloseHandle(file);
    if (!result)
        Clear();
    return result;
}

BOOL CIniFile::LoadMemory(const void* data, size_t length)
{
    if (!data || length < 2)
        return 0;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        m_text = platform::Utf16LeToWide(bytes + 2, length - 2);
    } else {
        const void* zero = std::memchr(bytes, 0, length);
        const size_t count = zero ? size_t(static_cast<const BYTE*>(zero) - bytes) : length;
        if (count > size_t(INT_MAX))
            return 0;
        m_text.clear();
        if (count > 0) {
            LPCSTR text = reinterpret_cast<LPCSTR>(bytes);
            int needed = MultiByteToWideChar(kIniCodePage, 0, text, int(count), nullptr, 0);
            if (needed <= 0)
                return 0;
            m_text.resize(size_t(needed));
            if (MultiByteToWideChar(kIniCodePage, 0, text, int(count), m_text.data(), needed) !=
                needed) {
                m_text.clear();
                return 0;
            }
        }
    }
    Parse();
    return 1;
}

bool CIniFile::ReadLine()
{
    m_line.clear();
    bool ended = false;
    while (true) {
        if (m_position >= m_text.size()) {
            ended = true;
            break;
        }
        const wchar_t c = m_text[m_position];
        if (c == 0) {
            // A zero character ends the text for good.
            m_position = m_text.size();
            ended = true;
            break;
        }
        ++m_position;
        if (c == L'\n')
            break;
        if (c != L'\r')
            m_line.push_back(c);
    }
    if (ended && m_line.empty())
        return false;
    m_line = Trim(m_line);
    return true;
}

void CIniFile::Parse()
{
    m_position = 0;
    Section* current = nullptr;
    std::wstring key;
    std::wstring value;
    while (ReadLine()) {
        const std::wstring& line = m_line;
        if (line.empty() || line[0] == L';')
            continue;
        if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
            const std::wstring name = Trim(line.substr(1, line.size() - 2));
            if (name.empty()) {
                current = nullptr;
                continue;
            }
            current = GetOrCreateSection(name.c_str());
            if (!m_defaultSection && CIniNameEqual()(name, L"TEXT"))
                m_defaultSection = current;
            continue;
        }
        if (!current)
            continue;
        if (line.find(L'=') != std::wstring::npos) {
            if (ParseKeyValue(line, key, value))
                (*current)[key] = value;
        } else {
            (*current)[line] = std::wstring();
        }
    }
    m_text.clear();
    m_text.shrink_to_fit();
    m_position = 0;
    m_line.clear();
}

bool CIniFile::ParseKeyValue(const std::wstring& line, std::wstring& key, std::wstring& value)
{
    const size_t n = line.size();
    size_t i;
    if (n > 0 && IsQuote(line[0])) {
        const size_t close = line.find(line[0], 1);
        if (close == std::wstring::npos)
            return false;
        key = line.substr(1, close - 1);
        i = close + 1;
    } else {
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos)
            return false;
        key = Trim(line.substr(0, equals));
        i = equals;
    }
    if (i >= n || key.empty())
        return false;
    while (i < n && (line[i] == L' ' || line[i] == L'\t'))
        ++i;
    if (i >= n || line[i] != L'=')
        return false;
    ++i;
    while (i < n && (line[i] == L' ' || line[i] == L'\t'))
        ++i;
    if (i < n && IsQuote(line[i])) {
        const size_t close = line.find(line[i], i + 1);
        value =
            close == std::wstring::npos ? line.substr(i + 1) : line.substr(i + 1, close - i - 1);
    } else {
        const size_t semicolon = line.find(L';', i);
        value = Trim(
            line.substr(i, semicolon == std::wstring::npos ? std::wstring::npos : semicolon - i));
    }
    return true;
}

CIniFile::Section* CIniFile::FindSection(LPCWSTR name)
{
    if (!name)
        return m_defaultSection;
    const std::wstring wanted(name);
    if (m_cachedSection && CIniNameEqual()(m_cachedName, wanted))
        return m_cachedSection;
    auto found = m_sections.find(wanted);
    if (found == m_sections.end())
        return nullptr;
    m_cachedName = wanted;
    m_cachedSection = found->second.get();
    return m_cachedSection;
}

CIniFile::Section* CIniFile::GetOrCreateSection(LPCWSTR name)
{
    if (!name)
        return m_defaultSection;
    const std::wstring wanted(name);
    if (m_cachedSection && CIniNameEqual()(m_cachedName, wanted))
        return m_cachedSection;
    std::unique_ptr<Section>& slot = m_sections[wanted];
    if (!slot)
        slot = std::make_unique<Section>();
    return slot.get();
}

BOOL CIniFile::GetValue(LPCWSTR section, LPCWSTR key, std::wstring& out, LPCWSTR defaultValue)
{
    Section* found = FindSection(section);
    if (found && key) {
        auto entry = found->find(key);
        if (entry != found->end()) {
            out = entry->second;
            return TRUE;
        }
    }
    out = defaultValue ? defaultValue : L"";
    return FALSE;
}

std::wstring CIniFile::GetValue(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue)
{
    std::wstring value;
    GetValue(section, key, value, defaultValue);
    return value;
}

BOOL CIniFile::GetInt(LPCWSTR section, LPCWSTR key, int* out, int defaultValue, int radix)
{
    std::wstring value;
    const BOOL found = GetValue(section, key, value, nullptr);
    const int result = found ? int(ToUInt32(value, radix)) : defaultValue;
    if (out)
        *out = result;
    return found;
}

int CIniFile::GetInt(LPCWSTR section, LPCWSTR key, int defaultValue, int radix)
{
    int value;
    GetInt(section, key, &value, defaultValue, radix);
    return value;
}

BOOL CIniFile::SetValue(LPCWSTR section, LPCWSTR key, LPCWSTR value)
{
    if (!key || !*key)
        return 0;
    Section* target = GetOrCreateSection(section);
    if (!target)
        return 0;
    (*target)[key] = value ? value : L"";
    return 1;
}

BOOL CIniFile::SetInt(LPCWSTR section, LPCWSTR key, int value)
{
    wchar_t text[16];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d", value);
    return SetValue(section, key, text);
}

std::wstring CIniFile::Serialize() const
{
    std::wstring text;
    for (const auto& [name, section] : m_sections) {
        text += L"[" + name + L"]\r\n";
        for (const auto& [key, value] : *section)
            text += key + L" = " + value + L"\r\n";
        text += L"\r\n";
    }
    return text;
}

BOOL CIniFile::Save(LPCWSTR path)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string bytes = "\xFF\xFE" + platform::WideToUtf16Le(Serialize());
    if (bytes.size() > 0xFFFFFFFFu) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    // The old file stays whole until the new one is complete on disk: a failed or interrupted
    // save leaves either the old file or the new one, never a truncated mixture.
    const std::wstring temporary = std::wstring(path) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;

    bool written = true;
    DWORD total = 0;
    const DWORD size = DWORD(bytes.size());
    while (written && total < size) {
        DWORD count = 0;
        written = WriteFile(file, bytes.data() + total, size - total, &count, nullptr) && count > 0;
        total += count;
    }
    if (written && !FlushFileBuffers(file))
        written = false;
    DWORD error = written ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && written) {
        written = false;
        error = GetLastError();
    }
    if (written &&
        !MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        DeleteFileW(temporary.c_str());
        SetLastError(error == ERROR_SUCCESS ? ERROR_CANTWRITE : error);
        return 0;
    }
    return 1;
}
