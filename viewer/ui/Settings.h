// The settings file "tessaly.ini" and the built-in language texts, reached through ten free
// functions; no window touches the two managers directly.
//
// The settings file lives in one place, the program's folder: it is read from there at
// start-up and written back there, and when it does not exist yet the first change creates
// it.
#pragma once

#include <mutex>
#include <string>

#include "ui/IniManager.h"

// The language texts (resources of type "LANGUAGE"); the fallback is always English. Loaded
// on the user-interface thread, read from any thread.
extern CIniManager g_LanguageIni;
// The settings file; loaded, changed and saved on the user-interface thread.
extern CIniManager g_SettingIni;
// The name of the language loaded last, as it was passed to LoadLanguage (for instance
// "english"); empty until the first successful load. Guarded by g_csLanguageName; read it
// through GetLanguageName.
extern std::wstring g_strLanguage;
extern std::mutex g_csLanguageName;

// The settings file's name, in the folder that holds it.
inline constexpr const WCHAR* kSettingIniName = L"tessaly.ini";

// Reads "tessaly.ini" from the folder (empty: the program's folder) and remembers that place
// for SaveSettingIni. TRUE when the file was read. Without a file there, FALSE, and the
// settings start empty and still accept changes, so the first save creates the file; a file
// that exists but cannot be read is left alone (FALSE, changes are not stored).
BOOL LoadSettingIni(const std::wstring& folder = std::wstring());
// Writes the settings to "tessaly.ini" in the folder; an empty folder means the place
// LoadSettingIni read from (the program's folder when it has not run). FALSE when nothing
// could be stored or the save failed; the previous file is then unchanged.
BOOL SaveSettingIni(const std::wstring& folder = std::wstring());
// A value of the section "install": "Error Loading" when there are no settings, empty when
// the key is missing.
std::wstring GetInstallValue(LPCWSTR key);
BOOL SetInstallValue(LPCWSTR key, LPCWSTR value);

// Loads the named language's texts over the current ones, with English answering what it
// lacks. FALSE when no such language is built in: every text then reads "Error Loading" until
// a later load succeeds.
BOOL LoadLanguage(const std::wstring& name);
std::wstring GetLanguageName();
// A text of the current language; a null section means "[text]".
std::wstring GetLangText(LPCWSTR key, LPCWSTR section = nullptr);
// The face name of the current language's user-interface font.
std::wstring GetUIFaceName();
// Numbers of the sections "[font]" and "[menu]": the leading decimal digits of the value, 0
// for an empty or non-numeric value or a missing key.
int GetFontValue(LPCWSTR key);
int GetMenuValue(LPCWSTR key);
