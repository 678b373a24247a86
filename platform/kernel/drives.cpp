// The drive table and the drive calls.
#include "drives.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <sstream>

#include "paths.h"
#include "platform/testing.h"

namespace platform {
namespace {

constexpr WCHAR kFirstRemovableLetter = L'D';
constexpr WCHAR kLastLetter = L'Z';
constexpr DWORD kBytesPerSector = 512;

struct DriveTable {
    std::shared_mutex lock;
    bool built = false;         // guarded by `lock`
    std::vector<Drive> drives;  // guarded by `lock`; ordered by letter, C: first
    // Folders added by tests, in the order they were added; guarded by `lock`. They stay in the
    // table across rebuilds until removed.
    std::vector<std::string> added;
};

DriveTable& Table()
{
    static DriveTable* table = new DriveTable;  // lives until the process ends
    return *table;
}

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder as the table keeps it: absolute, normalised, links resolved when it exists.
std::string CanonicalFolder(const std::string& folder)
{
    std::string absolute = NormalizeNativePath(folder);
    std::unique_ptr<char, decltype(&std::free)> real(realpath(absolute.c_str(), nullptr),
                                                     &std::free);
    return real ? std::string(real.get()) : absolute;
}

// Disks that /sys marks removable, and SD cards (which the kernel does not mark removable
// although Windows treats them so), with their partitions.
RemovableDevices ReadRemovableDevices()
{
    RemovableDevices devices;
    DIR* dir = opendir("/sys/block");
    if (!dir)
        return devices;
    while (dirent* entry = readdir(dir)) {
        std::string disk = entry->d_name;
        if (disk == "." || disk == "..")
            continue;
        std::string base = "/sys/block/" + disk;
        bool removable = ReadSmallFile(base + "/removable") == "1";
        bool sdCard = disk.rfind("mmcblk", 0) == 0 && ReadSmallFile(base + "/device/type") == "SD";
        if (!removable && !sdCard)
            continue;
        devices.names.insert(disk);
        std::string number = ReadSmallFile(base + "/dev");
        if (!number.empty())
            devices.numbers.insert(number);
        DIR* parts = opendir(base.c_str());
        if (!parts)
            continue;
        while (dirent* part = readdir(parts)) {
            std::string name = part->d_name;
            if (name == "." || name == "..")
                continue;
            std::string partBase = base + "/" + name;
            if (access((partBase + "/partition").c_str(), F_OK) != 0)
                continue;
            devices.names.insert(name);
            std::string partNumber = ReadSmallFile(partBase + "/dev");
            if (!partNumber.empty())
                devices.numbers.insert(partNumber);
        }
        closedir(parts);
    }
    closedir(dir);
    return devices;
}

// Decodes the octal escapes ("\040") with which mountinfo writes spaces, tabs, newlines and
// backslashes inside paths.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char* digits = field.c_str() + i + 1;
            bool octal = true;
            for (int k = 0; k < 3; ++k)
                octal = octal && digits[k] >= '0' && digits[k] <= '7';
            if (octal) {
                out.push_back(static_cast<char>(((digits[0] - '0') << 6) |
                                                ((digits[1] - '0') << 3) | (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// Builds the table anew. Folders already in `previous` keep their letters while those are
// free; the others take the lowest free letters, in the order they are listed.
std::vector<Drive> BuildDrives(const std::vector<Drive>& previous,
                               const std::vector<std::string>& added)
{
    std::vector<std::string> folders;
    auto addFolder = [&folders](const std::string& folder) {
        if (folder == "/")
            return;
        for (const std::string& known : folders) {
            if (known == folder)
                return;
        }
        folders.push_back(folder);
    };

    std::ifstream mountinfo("/proc/self/mountinfo");
    std::stringstream text;
    text << mountinfo.rdbuf();
    for (const std::string& mount : RemovableMountPoints(text.str(), ReadRemovableDevices())) {
        addFolder(mount);
    }
    if (const char* list = std::getenv("PLATFORM_REMOVABLE_DRIVES")) {
        std::string value = list;
        size_t start = 0;
        while (start <= value.size()) {
            size_t end = value.find(':', start);
            if (end == std::string::npos)
                end = value.size();
            std::string folder = value.substr(start, end - start);
            if (!folder.empty() && IsDirectory(folder))
                addFolder(CanonicalFolder(folder));
            start = end + 1;
        }
    }
    for (const std::string& folder : added)
        addFolder(folder);

    std::map<WCHAR, std::string> letters;
    std::vector<const std::string*> waiting;
    for (const std::string& folder : folders) {
        WCHAR kept = 0;
        for (const Drive& drive : previous) {
            if (drive.type == DRIVE_REMOVABLE && drive.folder == folder)
                kept = drive.letter;
        }
        if (kept && !letters.count(kept)) {
            letters[kept] = folder;
        } else {
            waiting.push_back(&folder);
        }
    }
    WCHAR next = kFirstRemovableLetter;
    for (const std::string* folder : waiting) {
        while (next <= kLastLetter && letters.count(next))
            ++next;
        if (next > kLastLetter)
            break;  // no letters left: the volume gets none, as on Windows
        letters[next] = *folder;
    }

    std::vector<Drive> drives;
    drives.push_back(Drive{L'C', "/", DRIVE_FIXED});
    for (const auto& [letter, folder] : letters) {
        drives.push_back(Drive{letter, folder, DRIVE_REMOVABLE});
    }
    return drives;
}

// Runs `read` on the table under the shared lock, building the table first if needed.
template <class Read>
auto WithTable(Read read)
{
    DriveTable& table = Table();
    {
        std::shared_lock<std::shared_mutex> guard(table.lock);
        if (table.built)
            return read(table.drives);
    }
    std::unique_lock<std::shared_mutex> guard(table.lock);
    if (!table.built) {
        table.drives = BuildDrives({}, table.added);
        table.built = true;
    }
    return read(table.drives);
}

// "E:", "E:\" or "E:/" (either case): the letter; 0 for anything else.
WCHAR RootLetter(LPCWSTR root)
{
    if (!root || !root[0] || root[1] != L':')
        return 0;
    WCHAR c = root[0];
    if (c >= L'a' && c <= L'z')
        c = WCHAR(c - L'a' + L'A');
    if (c < L'A' || c > L'Z')
        return 0;
    if (root[2] == 0 || ((root[2] == L'\\' || root[2] == L'/') && root[3] == 0))
        return c;
    return 0;
}

WCHAR CurrentDriveLetter()
{
    return ToWindowsPath(".")[0];
}

}  // namespace

std::vector<std::string> RemovableMountPoints(const std::string& mountinfo,
                                              const RemovableDevices& devices)
{
    std::vector<std::string> mounts;
    std::set<std::string> seen;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream words(line);
        std::string word;
        while (words >> word)
            fields.push_back(word);
        // id, parent id, major:minor, root, mount point, options, optional fields..., "-",
        // file system type, source, super options.
        size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-")
            ++separator;
        if (separator + 2 >= fields.size())
            continue;
        const std::string& number = fields[2];
        std::string source = UnescapeMountField(fields[separator + 2]);
        std::string sourceName;
        if (source.rfind("/dev/", 0) == 0)
            sourceName = source.substr(source.rfind('/') + 1);
        bool removable = devices.numbers.count(number) ||
                         (!sourceName.empty() && devices.names.count(sourceName));
        if (!removable)
            continue;
        // Volumes without a device of their own (major 0, as FUSE gives) are told apart by source.
        std::string device = number.rfind("0:", 0) == 0 ? source : number;
        if (!seen.insert(device).second)
            continue;
        std::string mountPoint = UnescapeMountField(fields[4]);
        if (mountPoint.empty() || mountPoint[0] != '/' || mountPoint == "/")
            continue;
        mounts.push_back(mountPoint);
    }
    return mounts;
}

std::vector<Drive> Drives()
{
    return WithTable([](const std::vector<Drive>& drives) { return drives; });
}

bool FindDrive(WCHAR letter, Drive* drive)
{
    if (letter >= L'a' && letter <= L'z')
        letter = WCHAR(letter - L'a' + L'A');
    return WithTable([&](const std::vector<Drive>& drives) {
        for (const Drive& candidate : drives) {
            if (candidate.letter == letter) {
                *drive = candidate;
                return true;
            }
        }
        return false;
    });
}

Drive DriveOfNativePath(const std::string& path, std::string* rest)
{
    return WithTable([&](const std::vector<Drive>& drives) {
        const Drive* best = nullptr;
        for (const Drive& drive : drives) {
            const std::string& folder = drive.folder;
            if (drive.type != DRIVE_REMOVABLE || (best && folder.size() <= best->folder.size())) {
                continue;
            }
            if (path == folder ||
                (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                 path[folder.size()] == '/')) {
                best = &drive;
            }
        }
        if (!best)
            best = &drives.front();  // C:, the root
        if (best->folder == "/") {
            *rest = path.size() > 1 ? path.substr(1) : std::string();
        } else {
            *rest = path.size() > best->folder.size() ? path.substr(best->folder.size() + 1)
                                                      : std::string();
        }
        return *best;
    });
}

void RefreshDriveTable()
{
    DriveTable& table = Table();
    std::unique_lock<std::shared_mutex> guard(table.lock);
    table.drives = BuildDrives(table.built ? table.drives : std::vector<Drive>(), table.added);
    table.built = true;
}

namespace testing {

std::wstring AddRemovableDrive(const std::string& folder)
{
    std::string canonical = CanonicalFolder(folder);
    if (canonical == "/")
        return std::wstring();  // the root is C: and cannot be removable
    auto rootOf = [](WCHAR letter) { return std::wstring{letter, L':', L'\\'}; };
    DriveTable& table = Table();
    std::unique_lock<std::shared_mutex> guard(table.lock);
    if (!table.built) {
        table.drives = BuildDrives({}, table.added);
        table.built = true;
    }
    for (const Drive& drive : table.drives) {
        if (drive.type == DRIVE_REMOVABLE && drive.folder == canonical)
            return rootOf(drive.letter);
    }
    table.added.push_back(canonical);
    table.drives = BuildDrives(table.drives, table.added);
    for (const Drive& drive : table.drives) {
        if (drive.folder == canonical)
            return rootOf(drive.letter);
    }
    table.added.pop_back();  // every letter is taken
    return std::wstring();
}

bool RemoveRemovableDrive(const std::wstring& root)
{
    WCHAR letter = RootLetter(root.c_str());
    if (!letter)
        return false;
    DriveTable& table = Table();
    std::unique_lock<std::shared_mutex> guard(table.lock);
    for (auto it = table.drives.begin(); it != table.drives.end(); ++it) {
        if (it->letter != letter || it->type != DRIVE_REMOVABLE)
            continue;
        for (auto added = table.added.begin(); added != table.added.end(); ++added) {
            if (*added == it->folder) {
                table.added.erase(added);
                break;
            }
        }
        table.drives.erase(it);
        return true;
    }
    return false;
}

}  // namespace testing
}  // namespace platform

DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer)
{
    std::wstring strings;
    for (const platform::Drive& drive : platform::Drives()) {
        strings.push_back(drive.letter);
        strings += L":\\";
        strings.push_back(L'\0');
    }
    DWORD length = static_cast<DWORD>(strings.size());
    if (!buffer || bufferLength < length + 1)
        return length + 1;
    std::memcpy(buffer, strings.data(), strings.size() * sizeof(WCHAR));
    buffer[length] = L'\0';
    return length;
}

UINT GetDriveTypeW(LPCWSTR rootPathName)
{
    WCHAR letter;
    if (!rootPathName ||
        ((rootPathName[0] == L'\\' || rootPathName[0] == L'/') && !rootPathName[1])) {
        letter = platform::CurrentDriveLetter();
    } else {
        letter = platform::RootLetter(rootPathName);
    }
    platform::Drive drive;
    if (!letter || !platform::FindDrive(letter, &drive))
        return DRIVE_NO_ROOT_DIR;
    return drive.type;
}

BOOL GetDiskFreeSpaceW(LPCWSTR rootPathName, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD numberOfFreeClusters, LPDWORD totalNumberOfClusters)
{
    std::string folder;
    if (!rootPathName) {
        folder = ".";
    } else {
        platform::ResolvedPath resolved;
        DWORD error = platform::ResolvePath(rootPathName, platform::kCheckNames, &resolved);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        folder = resolved.native;
    }
    struct statvfs vfs;
    if (statvfs(folder.c_str(), &vfs) != 0) {
        int error = errno;
        SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : platform::Win32ErrorFromErrno(error));
        return FALSE;
    }
    // Clusters are whole multiples of 512-byte sectors. A cluster grows (in powers of two) until
    // the counts fit in 32 bits, so that sectors x bytes x clusters stays the volume's size.
    uint64_t blockSize = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    uint64_t sectors =
        blockSize >= platform::kBytesPerSector ? blockSize / platform::kBytesPerSector : 1;
    uint64_t clusterBytes = sectors * platform::kBytesPerSector;
    uint64_t totalBytes = uint64_t(vfs.f_blocks) * blockSize;
    uint64_t freeBytes = uint64_t(vfs.f_bavail) * blockSize;
    while (totalBytes / clusterBytes > 0xFFFFFFFFull) {
        sectors *= 2;
        clusterBytes *= 2;
    }
    if (sectorsPerCluster)
        *sectorsPerCluster = static_cast<DWORD>(sectors);
    if (bytesPerSector)
        *bytesPerSector = platform::kBytesPerSector;
    if (numberOfFreeClusters)
        *numberOfFreeClusters = static_cast<DWORD>(freeBytes / clusterBytes);
    if (totalNumberOfClusters)
        *totalNumberOfClusters = static_cast<DWORD>(totalBytes / clusterBytes);
    return TRUE;
}
