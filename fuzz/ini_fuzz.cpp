// The ini parser on arbitrary bytes, read both ways: as given (ANSI text, or UTF-16LE when the
// bytes begin with FF FE) and forced to UTF-16LE behind a byte-order mark. The parse must not
// crash or read outside the block, and the document it builds must keep its invariants.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ui/IniFile.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Exercise(const uint8_t* data, size_t size)
{
    CIniFile ini;
    ini.LoadMemory(data, size);
    // Every spelling of "text" is one section, and it is the default section.
    Check(ini.FindSection(nullptr) == ini.FindSection(L"TEXT"));
    Check(ini.FindSection(L"text") == ini.FindSection(L"TeXt"));
    for (LPCWSTR name : {L"text", L"install", L"font", L"menu", L"s"}) {
        if (CIniFile::Section* section = ini.FindSection(name)) {
            for (const auto& [key, value] : *section)
                Check(!key.empty());
        }
    }
    std::wstring value;
    ini.GetValue(nullptr, L"IDS_STRING_K_001", value, L"default");
    ini.GetInt(L"font", L"TEXTSIZE_TESSALY_3", 0, 0);
    ini.GetInt(L"install", L"language", 0, 16);
    ini.SetValue(L"install", L"unit", L"mph");
    Check(ini.GetValue(L"INSTALL", L"UNIT") == L"mph");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Copies of exactly the input's size, so that any read past the block is caught.
    std::unique_ptr<uint8_t[]> asGiven(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(asGiven.get(), data, size);
    Exercise(asGiven.get(), size);

    std::unique_ptr<uint8_t[]> asUtf16(new uint8_t[size + 2]);
    asUtf16[0] = 0xFF;
    asUtf16[1] = 0xFE;
    if (size)
        std::memcpy(asUtf16.get() + 2, data, size);
    Exercise(asUtf16.get(), size + 2);
    return 0;
}
