#include "filtercore/RecordingName.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

namespace FilterCore {

RecordingName::RecordingName() : channel(RECORDING_FRONT), prefix(L"REC")
{
    std::memset(&time, 0, sizeof time);
}

bool RecordingName::Parse(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    std::wstring name;
    if (slash == std::wstring::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, slash);
        name = path.substr(slash + 1);
    }

    size_t underscore = name.find(L'_');
    if (underscore == std::wstring::npos) {
        prefix.clear();
    } else {
        prefix = name.substr(0, underscore);
        name.erase(0, underscore + 1);
    }

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    wchar_t letter = 0;
    wchar_t ext[kMaxExtension + 1] = {};
    int consumed = 0;
    // %n after the extension tells where the scan stopped, to detect an extension that the
    // width cut short.
    int fields = std::swscanf(name.c_str(), L"%4d_%02d_%02d_%02d_%02d_%02d_%lc.%19ls%n", &year,
                              &month, &day, &hour, &minute, &second, &letter, ext, &consumed);

    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    extension = ext;
    channel = letter == L'F' ? RECORDING_FRONT : RECORDING_REAR;

    if (fields != 8) return false;
    if (consumed > 0 && static_cast<size_t>(consumed) < name.size() &&
        !std::iswspace(static_cast<wint_t>(name[consumed]))) {
        return false;
    }
    return true;
}

int RecordingName::Compose(std::wstring& out) const
{
    wchar_t numbers[96];
    std::swprintf(numbers, sizeof numbers / sizeof numbers[0], L"_%4d_%02d_%02d_%02d_%02d_%02d_%lc.",
                  time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min,
                  time.tm_sec, channel == RECORDING_REAR ? L'R' : L'F');
    std::wstring name = prefix + numbers + extension;
    out = folder.empty() ? name : folder + L"\\" + name;
    return 1;
}

}  // namespace FilterCore
