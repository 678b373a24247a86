// CIniFile: the in-memory form of one ini text (named sections of named string values), read
// from a file or a block of bytes and written back as UTF-16LE text.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/kernel.h"

// Hashing and equality that ignore the case of the ASCII letters only; every other character
// must match exactly. Section names and keys compare this way.
struct CIniNameHash {
    size_t operator()(const std::wstring& name) const;
};
struct CIniNameEqual {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// Not thread-safe: even lookups update the last-section cache. CIniManager guards its
// documents.
class CIniFile {
public:
    // A section: key to value. Keys keep the case in which they were first stored.
    typedef std::unordered_map<std::wstring, std::wstring, CIniNameHash, CIniNameEqual> Section;

    // The largest file LoadFile accepts, in bytes.
    static constexpr LONGLONG kMaxFileSize = 1000000;

    CIniFile();
    explicit CIniFile(LPCWSTR path);
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Clears the document, then reads the whole file. 1 when the file was read and its text
    // parsed (a file of 0 bytes is an empty document); 0 when it cannot be opened or read,
    // exceeds kMaxFileSize, or holds no text that LoadMemory accepts, and the document is
    // empty then.
    BOOL LoadFile(LPCWSTR path);

    // Adds the text in data[0, length) to the document: FF FE starts UTF-16LE text, anything
    // else is text in the ANSI code page up to its first zero byte. Nothing beyond length is
    // read. Non-zero when the text was parsed; 0 (nothing parsed) for fewer than two bytes or
    // a failed conversion.
    BOOL LoadMemory(const void* data, size_t length);

    // A null section means the default section (the first "[text]" that parsing met); with
    // none, or when the section or the key is missing, the result is FALSE and out holds the
    // default (empty for a null default).
    BOOL GetValue(LPCWSTR section, LPCWSTR key, std::wstring& out, LPCWSTR defaultValue = nullptr);
    std::wstring GetValue(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue = nullptr);

    // The value as an unsigned 32-bit number in the radix (0, or 2 to 36), returned as int, so
    // "-1" gives -1 and an existing empty value gives 0. A missing section or key gives the
    // default.
    int GetInt(LPCWSTR section, LPCWSTR key, int defaultValue, int radix = 10);
    // The same conversion into *out with TRUE; *out gets the default and the result is FALSE
    // when the section or the key is missing.
    BOOL GetInt(LPCWSTR section, LPCWSTR key, int* out, int defaultValue, int radix = 10);

    // Stores a copy of the value, creating the section and the key as needed. 0 and nothing
    // stored when the section is null and there is no default section, or the key is null or
    // empty; 1 otherwise.
    BOOL SetValue(LPCWSTR section, LPCWSTR key, LPCWSTR value);
    BOOL SetInt(LPCWSTR section, LPCWSTR key, int value);

    // Writes the document as UTF-16LE with a byte-order mark: first to a temporary file beside
    // the target, then renamed over it. 1 when the whole file reached its place; 0 when any
    // step failed, and the file that was there before is then unchanged.
    BOOL Save(LPCWSTR path);

    // Frees every section and resets the default section and the cache.
    void Clear();

    // The section or null; a null name means the default section. A section found by name
    // becomes the cached one. The pointer stays valid until Clear or destruction.
    Section* FindSection(LPCWSTR name);
    // The existing section or a new empty one; a null name means the default section (null
    // when there is none). Reads the cache but does not fill it.
    Section* GetOrCreateSection(LPCWSTR name);

    // True when the document holds no section.
    bool IsEmpty() const { return m_sections.empty(); }

private:
    // The text Save writes, without the byte-order mark.
    std::wstring Serialize() const;
    void Parse();
    // Next line of the parse cursor, trimmed; false when the text has no more lines.
    bool ReadLine();
    static bool ParseKeyValue(const std::wstring& line, std::wstring& key, std::wstring& value);

    std::unordered_map<std::wstring, std::unique_ptr<Section>, CIniNameHash, CIniNameEqual>
        m_sections;
    Section* m_defaultSection = nullptr;
    std::wstring m_cachedName;
    Section* m_cachedSection = nullptr;

    // Parse cursor, meaningful only during Parse.
    std::wstring m_text;
    size_t m_position = 0;
    std::wstring m_line;
};
