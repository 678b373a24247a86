// CIniManager: a primary ini document and a fallback document that answers what the primary
// lacks, with a loaded flag; the settings file and the language texts each have one.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "ui/IniFile.h"

// Every operation takes m_lock for its whole length, so a reader on another thread (the
// file-parsing thread reads language texts) sees a load, a language switch or a change either
// completely or not at all.
class CIniManager {
public:
    // The text every Get answers while nothing is loaded.
    static constexpr const WCHAR* kErrorLoading = L"Error Loading";

    CIniManager() = default;
    CIniManager(const CIniManager&) = delete;
    CIniManager& operator=(const CIniManager&) = delete;

    // Reads the primary file and, when fallbackPath is not empty, the fallback file. TRUE (and
    // loaded) when either was read.
    BOOL Load(const std::wstring& primaryPath, const std::wstring& fallbackPath);

    // Adds the program's resources of type "LANGUAGE" with these names (names compared without
    // regard to case; an empty name is skipped) to the two documents, without clearing them.
    // FALSE and not loaded as soon as a named resource does not exist; TRUE and loaded when
    // either text was parsed.
    BOOL LoadFromResource(const std::wstring& primaryName, const std::wstring& fallbackName);

    // Adds the text to the primary document; loaded whatever the text held, so an empty block
    // starts an empty document that accepts changes.
    BOOL LoadFromMemory(const void* data, size_t length);

    // The primary's value, or the fallback's when the primary lacks the key or holds it empty;
    // empty when both lack it; kErrorLoading when not loaded. The two-character sequences
    // backslash-n and then backslash-r become line breaks. A null section means each
    // document's default section. The result is the caller's copy.
    std::wstring Get(LPCWSTR key, LPCWSTR section = nullptr);

    // Stores the value in the primary document. FALSE, and nothing stored, when not loaded or
    // when the document refuses it (a null section without a default section).
    BOOL Set(LPCWSTR section, LPCWSTR key, LPCWSTR value);

    // Writes the primary document to the path (CIniFile::Save: the old file survives a failed
    // save). FALSE, and nothing written, when not loaded or when the save failed.
    BOOL Save(const std::wstring& path);

    BOOL IsLoaded();

    // Fill the symbol table from C-header text: each "#define NAME VALUE" whose name does not
    // begin with "_" maps VALUE to NAME. The table is emptied first. 1 when the text was read,
    // 0 when the resource or the file is missing. From a resource (8-bit text) a repeated
    // value keeps its last name; from a file (read as text, lines of at most 1023 characters)
    // the names of a repeated value are joined with ",".
    BOOL LoadSymbolsFromResource(LPCWSTR name, LPCWSTR type);
    BOOL LoadSymbolsFromFile(const std::wstring& path);
    // The name mapped to a value; FALSE when the table has none.
    BOOL LookupSymbol(const std::wstring& value, std::wstring& name);

private:
    std::mutex m_lock;
    CIniFile m_primary;   // guarded by m_lock
    CIniFile m_fallback;  // guarded by m_lock
    int m_loaded = 0;     // guarded by m_lock; 1 once a load brought in a document
    std::map<std::wstring, std::wstring> m_symbols;  // guarded by m_lock; value to name
};
