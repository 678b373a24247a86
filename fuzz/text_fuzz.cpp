// Code-page conversion and UTF-16LE on arbitrary bytes: every byte string survives the trip
// through wide text, through the Win32 calls as through the helpers, and UTF-16LE text comes
// back unit for unit.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/kernel.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckCodePage(UINT codePage, const std::string& bytes, const std::wstring& expected)
{
    int wideSize = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    Check(wideSize == int(expected.size()));
    std::wstring text(size_t(wideSize), L'\0');
    Check(MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), text.data(),
                              wideSize) == wideSize);
    Check(text == expected);
    int byteSize = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0,
                                       nullptr, nullptr);
    Check(byteSize == int(bytes.size()));
    std::string back(size_t(byteSize), '\0');
    Check(WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), back.data(), byteSize,
                              nullptr, nullptr) == byteSize);
    Check(back == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::wstring text = platform::AnsiToWide(bytes);
    Check(platform::WideToAnsi(text) == bytes);
    if (!bytes.empty()) {
        CheckCodePage(CP_ACP, bytes, text);
        CheckCodePage(CP_UTF8, bytes, text);
        // Strict decoding fails exactly when some byte had to be escaped.
        bool escaped = false;
        for (WCHAR c : text)
            escaped = escaped || (c >= 0xDC80 && c <= 0xDCFF);
        int strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         int(bytes.size()), nullptr, 0);
        Check((strict == 0) == escaped);
    }

    std::wstring utf16 = platform::Utf16LeToWide(data, size);
    Check(platform::WideToUtf16Le(utf16) == bytes.substr(0, size & ~size_t(1)));
    // Whatever the wide text holds, the 8-bit side never fails without the strict flag.
    std::string narrow = platform::WideToAnsi(utf16);
    Check(platform::WideToAnsi(platform::AnsiToWide(narrow)) == narrow);
    return 0;
}
