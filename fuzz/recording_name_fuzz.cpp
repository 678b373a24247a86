// Parses arbitrary text as a recording path; whatever parses must compose back to a name that
// parses to the same fields.
#include <cstdint>
#include <string>

#include "filtercore/FindPartnerRecording.h"
#include "filtercore/RecordingName.h"
#include "platform/kernel.h"

using FilterCore::RecordingName;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring path =
        platform::AnsiToWide(std::string(reinterpret_cast<const char*>(data), size));
    RecordingName name;
    if (!name.Parse(path)) return 0;
    std::wstring composed;
    name.Compose(composed);
    RecordingName again;
    if (!again.Parse(composed)) __builtin_trap();
    if (again.channel != name.channel || again.prefix != name.prefix ||
        again.extension != name.extension || again.folder != name.folder ||
        again.time.tm_year != name.time.tm_year || again.time.tm_mon != name.time.tm_mon ||
        again.time.tm_mday != name.time.tm_mday || again.time.tm_hour != name.time.tm_hour ||
        again.time.tm_min != name.time.tm_min || again.time.tm_sec != name.time.tm_sec) {
        __builtin_trap();
    }
    std::wstring partner;
    int isRear = 0;
    FilterCore::FindPartnerRecording(path, &partner, &isRear, 0);
    return 0;
}
