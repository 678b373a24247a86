// The card's device record on arbitrary bytes: building the record, reading each of its text
// fields, the settings program's path and the launcher record must stay within the record.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/DeviceData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto record = DeviceRecordFromBytes(data, size);
    if (FieldText(record->szModel).size() > sizeof record->szModel ||
        FieldText(record->szModel).find('(') != std::string::npos)
        std::abort();
    FieldTextW(record->szFirmware);
    FieldTextW(record->szMicomVersion);
    // A card folder that does not exist: the path is checked, never found.
    if (!ResolveSettingsProgram(L"Q:\\", *record).empty())
        std::abort();
    LauncherInfo info = MakeLauncherInfo(record.get(), L"Q:\\");
    if (std::memcmp(info.szModel, record->szModel, sizeof info.szModel) != 0)
        std::abort();
    return 0;
}
