// Text between the script engine, Cairo and COM.
#pragma once

#include <string>

namespace platform::browser {

// UTF-8 (also with surrogates encoded one by one, as the script engine keeps them) to wide text
// and back; bytes that are no such text, and lone surrogates, become U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace platform::browser
