// The registry: a file-backed store, one text file per hive ("HKEY_CLASSES_ROOT",
// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE") in the home folder: $PLATFORM_HOME, else
// $XDG_CONFIG_HOME/kvplatform, else ~/.config/kvplatform (testing::SetHomeFolder overrides
// all three).
//
// A hive file looks like this:
//
//   # kvplatform registry hive HKEY_LOCAL_MACHINE
//   [SOFTWARE\KESTROVAN]
//   "DASHCAMPATH" = sz "C:\Program Files\Tessaly\"
//   "Count" = dword 0x0000002a
//   "Picture" = binary 89504e47
//   "Odd" = sz "no terminating zero" nozero
//   "Other" = hex(7) 61000000000000000000
//
// A [section] names a key by its path from the hive's root ("[]" is the root itself); the
// lines after it are the key's values. A key exists when it has a section or when it is an
// ancestor of a key that has one. Each value line carries the name, a type word and the data:
// "sz", "expand_sz" and "multi_sz" hold wide text (each WCHAR one character; the terminating
// zero the caller counted is implied, and "nozero" marks data stored without one); "dword" and
// "qword" hold a number of exactly 4 or 8 bytes; "binary" holds REG_BINARY bytes in hex; and
// "hex(<type>)" holds the exact bytes of any other type or size. Inside quotes and key paths,
// text is UTF-8, and "%XX" (two hex digits) stands for a character below U+0100 that must be
// escaped (controls, '%', '"'), "%{X...}" for any other code unit that is not a Unicode scalar
// value (lone surrogates, values above U+10FFFF). Blank lines do not matter; lines are read
// with surrounding blanks and a carriage return trimmed, and a leading byte-order mark is
// skipped.
//
// Lines that cannot be read (garbage, a hand edit gone wrong, a header that does not parse and
// every line under it) are treated as absent and kept as they are: every rewrite writes them
// back in their place, so a damaged file never loses what it still holds. Sections of one key
// that repeat are read as one (and written back as one); a value name that repeats within a
// key counts once, the first, since a key cannot hold two such values, and the shadowed
// copies are not written back.
//
// Every change takes an exclusive flock on "<hive>.lock", reads the file afresh, applies the
// change, writes "<hive>.tmp", syncs it and renames it over the hive, then syncs the folder.
// Every read takes a shared lock and reads the file afresh. So values are shared between
// processes, and a writer that dies part-way leaves the old file in place (its half-written
// temporary file is simply overwritten by the next writer). Within the process, one mutex
// serialises all registry calls.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "flock.h"
#include "handle.h"
#include "platform/testing.h"

namespace platform {
namespace {

enum class Hive { ClassesRoot, CurrentUser, LocalMachine };

const char* HiveName(Hive hive)
{
    switch (hive) {
        case Hive::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case Hive::CurrentUser:
            return "HKEY_CURRENT_USER";
        case Hive::LocalMachine:
            break;
    }
    return "HKEY_LOCAL_MACHINE";
}

// ---------------------------------------------------------------------------------------------
// Names without regard to case: compared after mapping each character to upper case, with
// Unicode's simple mappings (ASCII only if the C.UTF-8 locale is missing).

locale_t CaseLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return locale;
}

wchar_t UpperCase(wchar_t c)
{
    uint32_t u = uint32_t(c);
    if (u < 0x80)
        return (u >= 'a' && u <= 'z') ? wchar_t(u - 'a' + 'A') : c;
    if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return c;
    locale_t locale = CaseLocale();
    return locale ? wchar_t(towupper_l(wint_t(u), locale)) : c;
}

std::wstring Folded(const std::wstring& name)
{
    std::wstring folded(name);
    for (wchar_t& c : folded)
        c = UpperCase(c);
    return folded;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperCase(a[i]) != UpperCase(b[i]))
            return false;
    return true;
}

// A key path folded into one string, for maps ('\' cannot occur in a key name).
std::wstring FoldedPath(const std::vector<std::wstring>& path)
{
    std::wstring joined;
    for (const auto& part : path) {
        joined += Folded(part);
        joined += L'\\';
    }
    return joined;
}

bool SamePath(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b, size_t count)
{
    if (a.size() < count || b.size() < count)
        return false;
    for (size_t i = 0; i < count; ++i)
        if (!SameName(a[i], b[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Text in the file

void AppendUtf8(std::string& out, uint32_t u)
{
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xF0 | (u >> 18));
        out += char(0x80 | ((u >> 12) & 0x3F));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

const char kHex[] = "0123456789abcdef";
const char kHexUpper[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        uint32_t u = uint32_t(text[i]);
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == '%' || u == '"') {
            out += '%';
            out += kHexUpper[u >> 4];
            out += kHexUpper[u & 15];
        } else if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
            char escape[16];
            std::snprintf(escape, sizeof escape, "%%{%X}", unsigned(u));
            out += escape;
        } else {
            AppendUtf8(out, u);
        }
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes one UTF-8 sequence at text[*at] (strictly: no overlong forms, no encoded
// surrogates, nothing above U+10FFFF).
bool DecodeUtf8(std::string_view text, size_t* at, uint32_t* out)
{
    unsigned char lead = static_cast<unsigned char>(text[*at]);
    size_t length;
    uint32_t u, minimum;
    if (lead < 0x80) {
        *out = lead;
        ++*at;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, u = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, u = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, u = lead & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - *at < length)
        return false;
    for (size_t i = 1; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[*at + i]);
        if ((c & 0xC0) != 0x80)
            return false;
        u = (u << 6) | (c & 0x3F);
    }
    if (u < minimum || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return false;
    *out = u;
    *at += length;
    return true;
}

// Decodes escaped text (without its quotes) into *out.
bool Unescape(std::string_view text, std::wstring* out)
{
    out->clear();
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '%') {
            uint32_t u;
            if (!DecodeUtf8(text, &at, &u))
                return false;
            *out += wchar_t(u);
            continue;
        }
        ++at;
        if (at < text.size() && text[at] == '{') {
            size_t close = text.find('}', at);
            if (close == std::string_view::npos || close == at + 1 || close - at - 1 > 8)
                return false;
            uint32_t u = 0;
            for (size_t i = at + 1; i < close; ++i) {
                int digit = HexDigit(text[i]);
                if (digit < 0)
                    return false;
                u = (u << 4) | uint32_t(digit);
            }
            *out += wchar_t(u);
            at = close + 1;
            continue;
        }
        if (text.size() - at < 2)
            return false;
        int high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        *out += wchar_t(high * 16 + low);
        at += 2;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The document: what a hive file holds, with every line it could not read kept verbatim.

struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::string data;  // the bytes as the caller passed them
};

struct Item {
    bool isValue = false;
    Value value;      // when isValue
    std::string raw;  // otherwise: the line as it stood in the file
};

struct Section {
    bool isKey = false;
    std::vector<std::wstring> path;  // when isKey: the names in the case first written
    std::string rawHeader;           // otherwise: the unreadable header line
    std::vector<Item> items;
};

struct Document {
    std::vector<std::string> preamble;  // unreadable lines before the first section
    std::vector<Section> sections;
};

const char kSignature[] = "# kvplatform registry hive ";

std::string_view Trimmed(std::string_view line)
{
    size_t begin = 0, end = line.size();
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r'))
        --end;
    return line.substr(begin, end - begin);
}

// "[A\B]" to {"A", "B"}; "[]" is the root. Empty names, and names holding a zero or an
// escaped '\' (which no key name can hold), are refused.
bool ParseHeader(std::string_view line, std::vector<std::wstring>* path)
{
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    std::string_view inner = line.substr(1, line.size() - 2);
    path->clear();
    if (inner.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t slash = inner.find('\\', start);
        std::string_view part =
            inner.substr(start, slash == std::string_view::npos ? inner.npos : slash - start);
        std::wstring name;
        if (part.empty() || !Unescape(part, &name) || name.empty() ||
            name.find(L'\0') != std::wstring::npos || name.find(L'\\') != std::wstring::npos)
            return false;
        path->push_back(std::move(name));
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

class LineReader {
public:
    explicit LineReader(std::string_view line) : m_line(line) {}

    bool AtEnd() const { return m_at == m_line.size(); }
    void SkipBlanks()
    {
        while (m_at < m_line.size() && (m_line[m_at] == ' ' || m_line[m_at] == '\t'))
            ++m_at;
    }
    bool Take(char c)
    {
        if (m_at < m_line.size() && m_line[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    // A quoted string; escapes are '%'-based, so the first '"' ends it.
    bool Quoted(std::wstring* out)
    {
        if (!Take('"'))
            return false;
        size_t close = m_line.find('"', m_at);
        if (close == std::string_view::npos)
            return false;
        bool ok = Unescape(m_line.substr(m_at, close - m_at), out);
        m_at = close + 1;
        return ok;
    }
    // A run of characters other than blanks.
    std::string_view Word()
    {
        size_t start = m_at;
        while (m_at < m_line.size() && m_line[m_at] != ' ' && m_line[m_at] != '\t')
            ++m_at;
        return m_line.substr(start, m_at - start);
    }

private:
    std::string_view m_line;
    size_t m_at = 0;
};

bool ParseHexBytes(std::string_view hex, std::string* out)
{
    if (hex.size() % 2)
        return false;
    out->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        *out += char(high * 16 + low);
    }
    return true;
}

bool ParseNumber(std::string_view text, int digits, uint64_t* out)
{
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    text.remove_prefix(2);
    if (text.empty() || text.size() > size_t(digits))
        return false;
    uint64_t number = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        number = (number << 4) | uint64_t(digit);
    }
    *out = number;
    return true;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

const char* StringTypeWord(DWORD type)
{
    return type == REG_SZ ? "sz" : type == REG_EXPAND_SZ ? "expand_sz" : "multi_sz";
}

// `"name" = <type word> <data>`.
bool ParseValue(std::string_view line, Value* value)
{
    LineReader reader(line);
    if (!reader.Quoted(&value->name) || value->name.find(L'\0') != std::wstring::npos)
        return false;
    reader.SkipBlanks();
    if (!reader.Take('='))
        return false;
    reader.SkipBlanks();
    std::string_view type = reader.Word();
    reader.SkipBlanks();
    value->data.clear();

    DWORD stringType = type == "sz"          ? REG_SZ
                       : type == "expand_sz" ? REG_EXPAND_SZ
                       : type == "multi_sz"  ? REG_MULTI_SZ
                                             : REG_NONE;
    if (stringType != REG_NONE) {
        std::wstring text;
        if (!reader.Quoted(&text))
            return false;
        reader.SkipBlanks();
        bool terminated = true;
        if (!reader.AtEnd()) {
            if (reader.Word() != "nozero")
                return false;
            terminated = false;
            reader.SkipBlanks();
        }
        if (terminated)
            text += L'\0';
        value->type = stringType;
        value->data.assign(reinterpret_cast<const char*>(text.data()),
                           text.size() * sizeof(wchar_t));
    } else if (type == "dword" || type == "qword") {
        bool dword = type == "dword";
        uint64_t number;
        if (!ParseNumber(reader.Word(), dword ? 8 : 16, &number))
            return false;
        value->type = dword ? REG_DWORD : REG_QWORD;
        if (dword) {
            DWORD small = DWORD(number);
            value->data.assign(reinterpret_cast<const char*>(&small), sizeof small);
        } else {
            value->data.assign(reinterpret_cast<const char*>(&number), sizeof number);
        }
    } else if (type == "binary") {
        value->type = REG_BINARY;
        if (!ParseHexBytes(reader.Word(), &value->data))
            return false;
    } else if (type.size() > 5 && type.substr(0, 4) == "hex(" && type.back() == ')') {
        std::string_view digits = type.substr(4, type.size() - 5);
        if (digits.empty() || digits.size() > 10)
            return false;
        uint64_t number = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return false;
            number = number * 10 + uint64_t(c - '0');
        }
        if (number > 0xFFFFFFFFu)
            return false;
        value->type = DWORD(number);
        if (!ParseHexBytes(reader.Word(), &value->data))
            return false;
    } else {
        return false;
    }
    reader.SkipBlanks();
    return reader.AtEnd();
}

void AppendHex(std::string& out, const std::string& bytes)
{
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
}

void AppendValue(std::string& out, const Value& value)
{
    out += '"';
    AppendEscaped(out, value.name.data(), value.name.size());
    out += "\" = ";
    const std::string& data = value.data;
    char number[40];
    if (IsStringType(value.type) && data.size() % sizeof(wchar_t) == 0) {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!data.empty())
            std::memcpy(text.data(), data.data(), data.size());
        bool terminated = !text.empty() && text.back() == L'\0';
        if (terminated)
            text.pop_back();
        out += StringTypeWord(value.type);
        out += " \"";
        AppendEscaped(out, text.data(), text.size());
        out += '"';
        if (!terminated)
            out += " nozero";
    } else if (value.type == REG_DWORD && data.size() == 4) {
        DWORD small;
        std::memcpy(&small, data.data(), 4);
        std::snprintf(number, sizeof number, "dword 0x%08x", unsigned(small));
        out += number;
    } else if (value.type == REG_QWORD && data.size() == 8) {
        uint64_t big;
        std::memcpy(&big, data.data(), 8);
        std::snprintf(number, sizeof number, "qword 0x%016llx",
                      static_cast<unsigned long long>(big));
        out += number;
    } else if (value.type == REG_BINARY) {
        out += "binary";
        if (!data.empty())
            out += ' ';
        AppendHex(out, data);
    } else {
        std::snprintf(number, sizeof number, "hex(%u)", unsigned(value.type));
        out += number;
        if (!data.empty())
            out += ' ';
        AppendHex(out, data);
    }
}

Document Parse(std::string_view text)
{
    Document document;
    std::unordered_map<std::wstring, size_t> keys;  // folded path -> section index
    const size_t none = size_t(-1);
    size_t current = none;  // index of the section the lines belong to
    // A byte-order mark that an editor put in front is not part of the first line.
    size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        std::string_view line = Trimmed(raw);
        if (line.empty())
            continue;

        std::vector<std::wstring> path;
        if (line[0] == '[') {
            if (ParseHeader(line, &path)) {
                std::wstring folded = FoldedPath(path);
                auto found = keys.find(folded);
                if (found != keys.end()) {
                    current = found->second;
                } else {
                    current = document.sections.size();
                    keys.emplace(std::move(folded), current);
                    document.sections.push_back(Section{true, std::move(path), {}, {}});
                }
            } else {
                current = document.sections.size();
                document.sections.push_back(Section{false, {}, std::string(raw), {}});
            }
            continue;
        }
        if (current == none) {
            // Our own first line is written afresh each time.
            if (line.substr(0, sizeof kSignature - 1) != kSignature)
                document.preamble.emplace_back(raw);
            continue;
        }
        Section& section = document.sections[current];
        Item item;
        if (section.isKey && ParseValue(line, &item.value)) {
            bool repeated =
                std::any_of(section.items.begin(), section.items.end(), [&](const Item& other) {
                    return other.isValue && SameName(other.value.name, item.value.name);
                });
            if (repeated)
                continue;
            item.isValue = true;
        } else {
            item.raw = std::string(raw);
        }
        section.items.push_back(std::move(item));
    }
    return document;
}

std::string Serialise(const Document& document, Hive hive)
{
    std::string out = kSignature;
    out += HiveName(hive);
    out += '\n';
    for (const auto& line : document.preamble) {
        out += line;
        out += '\n';
    }
    for (const auto& section : document.sections) {
        out += '\n';
        if (section.isKey) {
            out += '[';
            for (size_t i = 0; i < section.path.size(); ++i) {
                if (i)
                    out += '\\';
                AppendEscaped(out, section.path[i].data(), section.path[i].size());
            }
            out += "]\n";
        } else {
            out += section.rawHeader;
            out += '\n';
        }
        for (const auto& item : section.items) {
            if (item.isValue)
                AppendValue(out, item.value);
            else
                out += item.raw;
            out += '\n';
        }
    }
    return out;
}

Section* FindKey(Document& document, const std::vector<std::wstring>& path)
{
    for (auto& section : document.sections)
        if (section.isKey && section.path.size() == path.size() &&
            SamePath(section.path, path, path.size()))
            return &section;
    return nullptr;
}

// A key exists when it has a section or some key below it has one; the root always exists.
// *stored receives the path in the case first written, as far as it exists.
bool KeyExists(const Document& document, const std::vector<std::wstring>& path,
               std::vector<std::wstring>* stored = nullptr)
{
    if (path.empty())
        return true;
    size_t best = 0;
    const Section* bestSection = nullptr;
    for (const auto& section : document.sections) {
        if (!section.isKey)
            continue;
        size_t common = 0;
        while (common < path.size() && common < section.path.size() &&
               SameName(section.path[common], path[common]))
            ++common;
        if (common > best) {
            best = common;
            bestSection = &section;
        }
    }
    if (stored) {
        *stored = path;
        for (size_t i = 0; i < best; ++i)
            (*stored)[i] = bestSection->path[i];
    }
    return best == path.size();
}

Value* FindValue(Section& key, const std::wstring& name)
{
    for (auto& item : key.items)
        if (item.isValue && SameName(item.value.name, name))
            return &item.value;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// The files

std::mutex g_lock;              // serialises every registry call within the process
std::string g_homeOverride;     // guarded by g_lock; set by testing::SetHomeFolder
bool g_homeOverridden = false;  // guarded by g_lock
// Guarded by g_lock; set by testing::DieDuringNextRegistryWrite: the bytes of the next
// rewrite written before the process kills itself, SIZE_MAX for none.
size_t g_dieAfterBytes = SIZE_MAX;

std::string HomeFolder()
{
    if (g_homeOverridden)
        return g_homeOverride;
    const char* home = std::getenv("PLATFORM_HOME");
    if (home && home[0])
        return home;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/kvplatform";
    const char* user = std::getenv("HOME");
    if (user && user[0])
        return std::string(user) + "/.config/kvplatform";
    if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return std::string(entry->pw_dir) + "/.config/kvplatform";
    return std::string();
}

LSTATUS ErrorFromErrno(int error, LSTATUS otherwise)
{
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return otherwise;
    }
}

// Closes a descriptor when it goes out of scope.
struct FileCloser {
    int fd = -1;
    ~FileCloser()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The hive file's bytes; a missing file is an empty hive.
LSTATUS ReadFileText(const std::string& path, std::string* text)
{
    text->clear();
    FileCloser file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return errno == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(errno, ERROR_CANTREAD);
    char buffer[65536];
    for (;;) {
        ssize_t got = read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ErrorFromErrno(errno, ERROR_CANTREAD);
        if (got == 0)
            return ERROR_SUCCESS;
        text->append(buffer, size_t(got));
    }
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += size_t(wrote);
    }
    return true;
}

// Creates the folder and its parents, private to the user.
bool MakeFolders(const std::string& folder)
{
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/')
            continue;
        std::string prefix = folder.substr(0, at);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Reads one hive under a shared lock. A folder that does not exist yet is an empty store.
LSTATUS ReadHive(Hive hive, Document* document)
{
    std::string folder = HomeFolder();
    if (folder.empty())
        return ERROR_CANTREAD;
    std::string base = folder + "/" + HiveName(hive);
    FileCloser lock{open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0 && errno == ENOENT) {
        *document = Document();
        return ERROR_SUCCESS;
    }
    // A store that cannot be locked (read-only files) is still read: writers replace the
    // file by renaming, so a reader sees either the old file or the new one, whole.
    if (lock.fd < 0)
        lock.fd = open((base + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (lock.fd >= 0 && FlockRetrying(lock.fd, LOCK_SH) != 0)
        return ERROR_CANTREAD;
    std::string text;
    LSTATUS status = ReadFileText(base, &text);
    if (status != ERROR_SUCCESS)
        return status;
    *document = Parse(text);
    return ERROR_SUCCESS;
}

// Applies `change` to one hive under the exclusive lock and writes the result when `change`
// succeeds and reports that something changed. A hive that cannot be read is not written,
// so nothing it holds is lost.
LSTATUS ModifyHive(Hive hive, const std::function<LSTATUS(Document&, bool*)>& change)
{
    std::string folder = HomeFolder();
    if (folder.empty())
        return ERROR_CANTWRITE;
    if (!MakeFolders(folder))
        return ErrorFromErrno(errno, ERROR_CANTWRITE);
    std::string base = folder + "/" + HiveName(hive);
    FileCloser lock{open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0)
        return ErrorFromErrno(errno, ERROR_CANTWRITE);
    if (FlockRetrying(lock.fd, LOCK_EX) != 0)
        return ERROR_CANTWRITE;

    std::string text;
    LSTATUS status = ReadFileText(base, &text);
    if (status != ERROR_SUCCESS)
        return status;
    Document document = Parse(text);
    bool changed = false;
    status = change(document, &changed);
    if (status != ERROR_SUCCESS || !changed)
        return status;

    std::string temporary = base + ".tmp";
    std::string output = Serialise(document, hive);
    {
        FileCloser file{
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600)};
        if (file.fd < 0)
            return ErrorFromErrno(errno, ERROR_CANTWRITE);
        if (g_dieAfterBytes != SIZE_MAX) {
            WriteAll(file.fd, output.substr(0, std::min(g_dieAfterBytes, output.size())));
            kill(getpid(), SIGKILL);
        }
        if (!WriteAll(file.fd, output) || fsync(file.fd) != 0) {
            LSTATUS failure = ErrorFromErrno(errno, ERROR_CANTWRITE);
            unlink(temporary.c_str());
            return failure;
        }
    }
    if (rename(temporary.c_str(), base.c_str()) != 0) {
        LSTATUS failure = ErrorFromErrno(errno, ERROR_CANTWRITE);
        unlink(temporary.c_str());
        return failure;
    }
    // The rename itself reaches the disk with the folder.
    FileCloser directory{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (directory.fd >= 0)
        fsync(directory.fd);
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Keys

// An open key: which hive, the path as the caller named it, and the access it was opened with.
class RegistryKey : public KernelObject {
public:
    RegistryKey(Hive hive, std::vector<std::wstring> path, REGSAM access)
        : m_hive(hive), m_path(std::move(path)), m_access(access)
    {
    }
    const Hive m_hive;
    const std::vector<std::wstring> m_path;
    const REGSAM m_access;
};

struct KeyRef {
    Hive hive;
    std::vector<std::wstring> path;
    REGSAM access;
    bool root;  // a predefined key, which always exists
};

LSTATUS Resolve(HKEY key, KeyRef* ref)
{
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        ref->hive = key == HKEY_CLASSES_ROOT   ? Hive::ClassesRoot
                    : key == HKEY_CURRENT_USER ? Hive::CurrentUser
                                               : Hive::LocalMachine;
        ref->path.clear();
        ref->access = KEY_ALL_ACCESS;
        ref->root = true;
        return ERROR_SUCCESS;
    }
    DWORD lastError = GetLastError();  // registry calls report through their result only
    auto object = HandleAs<RegistryKey>(reinterpret_cast<HANDLE>(key));
    SetLastError(lastError);
    if (!object)
        return ERROR_INVALID_HANDLE;
    ref->hive = object->m_hive;
    ref->path = object->m_path;
    ref->access = object->m_access;
    ref->root = false;
    return ERROR_SUCCESS;
}

// Appends the names of a sub-key path ("A\B", a final '\' allowed) to *path.
LSTATUS AppendSubKey(LPCWSTR subKey, std::vector<std::wstring>* path)
{
    if (!subKey || !subKey[0])
        return ERROR_SUCCESS;
    if (subKey[0] == L'\\')
        return ERROR_BAD_PATHNAME;
    std::wstring text(subKey);
    if (text.back() == L'\\')
        text.pop_back();
    size_t start = 0;
    for (;;) {
        size_t slash = text.find(L'\\', start);
        std::wstring part =
            text.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        if (part.empty())
            return ERROR_BAD_PATHNAME;
        path->push_back(std::move(part));
        if (slash == std::wstring::npos)
            return ERROR_SUCCESS;
        start = slash + 1;
    }
}

// Resolves `key` for a call that needs all of the `needed` access rights: ERROR_ACCESS_DENIED
// when the handle was opened without one of them.
LSTATUS ResolveFor(HKEY key, REGSAM needed, KeyRef* ref)
{
    LSTATUS status = Resolve(key, ref);
    if (status != ERROR_SUCCESS)
        return status;
    return (ref->access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// With g_lock held: resolves `key`, the sub-key path below it into `*path`, and reads the hive
// into `*document`. Fails with the first error met, or ERROR_KEY_DELETED when `key` itself is
// no longer in the hive.
LSTATUS ReadSubKey(HKEY key, LPCWSTR subKey, KeyRef* ref, std::vector<std::wstring>* path,
                   Document* document)
{
    LSTATUS status = Resolve(key, ref);
    if (status != ERROR_SUCCESS)
        return status;
    *path = ref->path;
    status = AppendSubKey(subKey, path);
    if (status != ERROR_SUCCESS)
        return status;
    status = ReadHive(ref->hive, document);
    if (status != ERROR_SUCCESS)
        return status;
    if (!KeyExists(*document, ref->path))
        return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

HKEY NewKeyHandle(Hive hive, std::vector<std::wstring> path, REGSAM access)
{
    return reinterpret_cast<HKEY>(
        NewHandle(std::make_shared<RegistryKey>(hive, std::move(path), access)));
}

}  // namespace

namespace testing {

void SetHomeFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_homeOverride = folder;
    g_homeOverridden = true;
}

void DieDuringNextRegistryWrite(size_t bytes)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_dieAfterBytes = bytes;
}

}  // namespace testing
}  // namespace platform

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD options, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    using namespace platform;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!subKey || options != REG_OPTION_NON_VOLATILE)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    std::vector<std::wstring> path;
    // Most calls open a key that exists; they need no write.
    Document document;
    LSTATUS status = ReadSubKey(key, subKey, &ref, &path, &document);
    if (status != ERROR_SUCCESS)
        return status;
    bool created = false;
    if (!KeyExists(document, path)) {
        status = ModifyHive(ref.hive, [&](Document& current, bool* changed) -> LSTATUS {
            if (!KeyExists(current, ref.path))
                return ERROR_KEY_DELETED;
            std::vector<std::wstring> stored;
            if (KeyExists(current, path, &stored))
                return ERROR_SUCCESS;  // made meanwhile
            // The levels above exist through this section; a deletion below one of them gives
            // it a section of its own first (RegDeleteTreeW).
            current.sections.push_back(Section{true, std::move(stored), {}, {}});
            created = true;
            *changed = true;
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS)
            return status;
    }
    *result = NewKeyHandle(ref.hive, std::move(path), samDesired);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result)
{
    using namespace platform;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options != 0)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    std::vector<std::wstring> path;
    Document document;
    LSTATUS status = ReadSubKey(key, subKey, &ref, &path, &document);
    if (status != ERROR_SUCCESS)
        return status;
    if (!KeyExists(document, path))
        return ERROR_FILE_NOT_FOUND;
    *result = NewKeyHandle(ref.hive, std::move(path), samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD cbData)
{
    using namespace platform;
    if (reserved || (data && !cbData))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    LSTATUS status = ResolveFor(key, KEY_QUERY_VALUE, &ref);
    if (status != ERROR_SUCCESS)
        return status;
    Document document;
    status = ReadHive(ref.hive, &document);
    if (status != ERROR_SUCCESS)
        return status;
    if (!KeyExists(document, ref.path))
        return ERROR_KEY_DELETED;
    Section* section = FindKey(document, ref.path);
    Value* value = section ? FindValue(*section, valueName ? valueName : L"") : nullptr;
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    if (type)
        *type = value->type;
    if (!cbData)
        return ERROR_SUCCESS;
    DWORD size = DWORD(value->data.size());
    if (data && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data && size)
        std::memcpy(data, value->data.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD cbData)
{
    using namespace platform;
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    LSTATUS status = ResolveFor(key, KEY_SET_VALUE, &ref);
    if (status != ERROR_SUCCESS)
        return status;
    std::wstring name = valueName ? valueName : L"";
    std::string bytes(reinterpret_cast<const char*>(data), data ? cbData : 0);
    return ModifyHive(ref.hive, [&](Document& document, bool* changed) -> LSTATUS {
        if (!KeyExists(document, ref.path))
            return ERROR_KEY_DELETED;
        Section* section = FindKey(document, ref.path);
        if (!section) {
            // The key existed only as the ancestor of another; it gets its own section now.
            std::vector<std::wstring> stored;
            KeyExists(document, ref.path, &stored);
            document.sections.push_back(Section{true, std::move(stored), {}, {}});
            section = &document.sections.back();
        }
        if (Value* value = FindValue(*section, name)) {
            value->type = type;  // the name keeps the case it was first written in
            value->data = bytes;
        } else {
            Item item;
            item.isValue = true;
            item.value = Value{name, type, bytes};
            section->items.push_back(std::move(item));
        }
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName)
{
    using namespace platform;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    LSTATUS status = ResolveFor(key, KEY_SET_VALUE, &ref);
    if (status != ERROR_SUCCESS)
        return status;
    std::wstring name = valueName ? valueName : L"";
    return ModifyHive(ref.hive, [&](Document& document, bool* changed) -> LSTATUS {
        if (!KeyExists(document, ref.path))
            return ERROR_KEY_DELETED;
        Section* section = FindKey(document, ref.path);
        if (!section)
            return ERROR_FILE_NOT_FOUND;
        auto it = std::find_if(section->items.begin(), section->items.end(), [&](const Item& item) {
            return item.isValue && SameName(item.value.name, name);
        });
        if (it == section->items.end())
            return ERROR_FILE_NOT_FOUND;
        section->items.erase(it);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey)
{
    using namespace platform;
    std::lock_guard<std::mutex> guard(g_lock);
    KeyRef ref;
    LSTATUS status = ResolveFor(key, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &ref);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> path = ref.path;
    status = AppendSubKey(subKey, &path);
    if (status != ERROR_SUCCESS)
        return status;
    const bool keepKey = path.size() == ref.path.size();
    return ModifyHive(ref.hive, [&](Document& document, bool* changed) -> LSTATUS {
        if (!KeyExists(document, ref.path))
            return ERROR_KEY_DELETED;
        if (!KeyExists(document, path))
            return ERROR_FILE_NOT_FOUND;
        if (keepKey) {
            // The key stays, emptied of its values; lines under it that could not be read are
            // not values and stay too.
            if (Section* section = FindKey(document, path)) {
                bool hasValues = std::any_of(section->items.begin(), section->items.end(),
                                             [](const Item& item) { return item.isValue; });
                if (hasValues && !(ref.access & KEY_SET_VALUE))
                    return ERROR_ACCESS_DENIED;
                auto end = std::remove_if(section->items.begin(), section->items.end(),
                                          [](const Item& item) { return item.isValue; });
                section->items.erase(end, section->items.end());
            } else if (!path.empty()) {
                // It existed only as the ancestor of the keys about to go.
                std::vector<std::wstring> stored;
                KeyExists(document, path, &stored);
                document.sections.push_back(Section{true, std::move(stored), {}, {}});
            }
        } else {
            // The parent may exist only as the ancestor of the doomed key: it keeps existing
            // through a section of its own.
            std::vector<std::wstring> parent(path.begin(), path.end() - 1);
            if (!parent.empty() && !FindKey(document, parent)) {
                std::vector<std::wstring> stored;
                KeyExists(document, parent, &stored);
                document.sections.push_back(Section{true, std::move(stored), {}, {}});
            }
        }
        // Every key below (and, without keepKey, the key itself) goes with all its lines.
        const size_t depth = keepKey ? path.size() + 1 : path.size();
        auto end = std::remove_if(document.sections.begin(), document.sections.end(),
                                  [&](const Section& section) {
                                      return section.isKey && section.path.size() >= depth &&
                                             SamePath(section.path, path, path.size());
                                  });
        document.sections.erase(end, document.sections.end());
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY key)
{
    using namespace platform;
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    DWORD lastError = GetLastError();
    auto object = HandleAs<RegistryKey>(reinterpret_cast<HANDLE>(key));
    bool closed = object && ReleaseHandle(reinterpret_cast<HANDLE>(key));
    SetLastError(lastError);
    return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
