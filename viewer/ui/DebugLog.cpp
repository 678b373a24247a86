#include "ui/DebugLog.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

// Constructed in this order, so the path is built from the empty folder.
std::wstring g_strLogFolder;
std::wstring g_strLogPath = g_strLogFolder + L"Tessaly.log";

int LogOpen()
{
    return 1;
}

int LogClose()
{
    return 1;
}

int LogWrite(std::wstring line)
{
    // A line is complete with its line feed; the sink keeps nothing, so no shared state is
    // touched and any thread may call this.
    line.push_back(L'\n');
    return 1;
}

std::wstring FormatText(const wchar_t* format, ...)
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list args;
        va_start(args, format);
        int written = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (written >= 0)
            return std::wstring(buffer.data(), size_t(written));
        if (buffer.size() >= 65536) {
            buffer.back() = 0;
            return buffer.data();
        }
        buffer.resize(buffer.size() * 2);
    }
}
