// The camera's device data read from its memory card.
#include "app/DeviceData.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kernel.h"
#include "platform/mfc.h"

namespace {

constexpr const wchar_t* kSetupCfg = L"setting\\setup.cfg";
constexpr const wchar_t* kBlackboxCfg = L"SETTING\\blackbox.cfg";
constexpr const char* kOldSettingsProgram = "SETTING\\R208_Setting.exe";

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<BlackBoxData> NewRecord()
{
    auto record = std::make_unique<BlackBoxData>();
    std::memset(record.get(), 0, sizeof(BlackBoxData));
    return record;
}

// The real location of a native path, or empty when it does not exist.
std::string RealPath(const std::string& native)
{
    char* resolved = realpath(native.c_str(), nullptr);
    if (!resolved)
        return std::string();
    std::string result(resolved);
    free(resolved);
    return result;
}

}  // namespace

std::string FieldText(const char* field, size_t size)
{
    const char* end = static_cast<const char*>(std::memchr(field, 0, size));
    return std::string(field, end ? size_t(end - field) : size);
}

std::wstring AnsiFieldToWide(const std::string& bytes)
{
    return platform::AnsiToWide(bytes);
}

std::unique_ptr<BlackBoxData> ReadSetupCfg(const std::wstring& drive)
{
    std::wstring path = drive + kSetupCfg;
    if (!IsFile(path))
        return nullptr;
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return nullptr;
    BYTE bytes[sizeof(BlackBoxData)] = {};
    size_t filled = 0;
    try {
        // A longer file holds more than the record: only the record's bytes are read.
        while (filled < sizeof bytes) {
            UINT n = file.Read(bytes + filled, UINT(sizeof bytes - filled));
            if (n == 0)
                break;
            filled += n;
        }
        file.Close();
    } catch (CException* error) {
        // The card went away in the middle of the read: no record.
        error->Delete();
        file.Abort();
        return nullptr;
    }
    return DeviceRecordFromBytes(bytes, filled);
}

std::unique_ptr<BlackBoxData> DeviceRecordFromBytes(const void* data, size_t size)
{
    auto record = NewRecord();
    if (size > 0)
        std::memcpy(record.get(), data, std::min(size, sizeof(BlackBoxData)));
    // The model text ends at its first "(", looked for within the model's text only.
    size_t length = FieldText(record->szModel).size();
    if (char* open = static_cast<char*>(std::memchr(record->szModel, '(', length)))
        *open = 0;
    return record;
}

std::unique_ptr<BlackBoxData> ReadBlackboxCfg(const std::wstring& drive)
{
    std::wstring path = drive + kBlackboxCfg;
    if (!IsFile(path))
        return nullptr;
    {
        CFile probe;
        if (!probe.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone))
            return nullptr;
    }
    auto record = NewRecord();
    std::string ansiPath = platform::WideToAnsi(path);
    // At most 9 and 14 characters, and always a zero after them inside the field.
    GetPrivateProfileStringA("blackbox", "version", "0", record->szFirmware, 10, ansiPath.c_str());
    GetPrivateProfileStringA("blackbox", "model", "0", record->szModel, 15, ansiPath.c_str());
    std::memcpy(record->szSettingProgram, kOldSettingsProgram, std::strlen(kOldSettingsProgram));
    return record;
}

CameraCard SearchCameraCard()
{
    CameraCard card;
    WCHAR buffer[260] = {};
    DWORD length = GetLogicalDriveStringsW(260, buffer);
    // Too small a buffer is left as it was (zero): nothing to walk.
    length = std::min<DWORD>(length, 259);
    std::vector<std::wstring> removable;
    for (size_t pos = 0; pos < length && buffer[pos];) {
        std::wstring drive(buffer + pos);
        pos += drive.size() + 1;
        if (GetDriveTypeW(drive.c_str()) == DRIVE_REMOVABLE)
            removable.push_back(drive);
    }
    for (const std::wstring& drive : removable) {
        if (auto record = ReadSetupCfg(drive)) {
            card.kind = CardKind::SetupCfg;
            card.drive = drive;
            card.record = std::move(record);
            return card;
        }
        if (auto record = ReadBlackboxCfg(drive)) {
            card.kind = CardKind::BlackboxCfg;
            card.drive = drive;
            card.record = std::move(record);
            return card;
        }
    }
    return card;
}

ULONGLONG CardCapacityMB(const std::wstring& root)
{
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return (ULONGLONG(sectorsPerCluster) * bytesPerSector * totalClusters) >> 20;
}

std::wstring ResolveSettingsProgram(const std::wstring& drive, const BlackBoxData& record)
{
    std::wstring relative = FieldTextW(record.szSettingProgram);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    if (relative.empty() || relative[0] == L'\\' || relative.find(L':') != std::wstring::npos)
        return std::wstring();
    // Every component is a plain name.
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos)
            end = relative.size();
        std::wstring part = relative.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..")
            return std::wstring();
        start = end + 1;
    }
    std::wstring path = drive + relative;
    if (!IsFile(path))
        return std::wstring();
    // A link on the card may still point elsewhere: the real file must lie under the card.
    std::string root = RealPath(platform::ToNativePath(drive));
    std::string target = RealPath(platform::ToNativePath(path));
    if (root.empty() || target.size() <= root.size() ||
        target.compare(0, root.size(), root) != 0 || (root != "/" && target[root.size()] != '/'))
        return std::wstring();
    return path;
}

LauncherInfo MakeLauncherInfo(const BlackBoxData* record, const std::wstring& drive)
{
    LauncherInfo info;
    std::memset(&info, 0, sizeof info);
    if (!record)
        return info;
    std::memcpy(info.szFirmware, record->szFirmware, sizeof info.szFirmware);
    std::memcpy(info.szModel, record->szModel, sizeof info.szModel);
    std::string root = platform::WideToAnsi(drive);
    std::memcpy(info.szDrive, root.data(), std::min(root.size(), sizeof info.szDrive));
    return info;
}
