// The drive table and the drive calls.
#include "drives.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
#include <thread>

#include "paths.h"
#include "platform/testing.h"

namespace platform {
namespace {

constexpr WCHAR kFirstRemovableLetter = L'D';
constexpr WCHAR kLastLetter = L'Z';
constexpr DWORD kBytesPerSector = 512;

struct DriveTable {
    // Serialises every change of the table with the notice of it, so that listeners hear the
    // changes one at a time and in order. Taken before `lock`, never while `lock` is held.
    std::mutex changeLock;
    DriveChangeListener listener = nullptr;  // guarded by changeLock
    bool watching = false;                   // guarded by changeLock
    std::shared_mutex lock;
    bool built = false;         // guarded by `lock`
    std::vector<Drive> drives;  // guarded by `lock`; ordered by letter, C: first
    // Folders added by tests, in the order they were added; guarded by `lock`. They stay in the
    // table across rebuilds until removed.
    std::vector<std::string> added;
    // Folders of mounts or of PLATFORM_REMOVABLE_DRIVES that tests removed: left out of the
    // table until a test adds them again; guarded by `lock`.
    std::set<std::string> hidden;
    // The folders of PLATFORM_REMOVABLE_DRIVES as last read; guarded by `lock`.
    std::vector<std::string> environment;
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

// The folders named in PLATFORM_REMOVABLE_DRIVES, as written, existing or not.
std::vector<std::string> EnvironmentFolders()
{
    std::vector<std::string> folders;
    const char* list = std::getenv("PLATFORM_REMOVABLE_DRIVES");
    if (!list)
        return folders;
    std::string value = list;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(':', start);
        if (end == std::string::npos)
            end = value.size();
        if (end > start)
            folders.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

// Builds the table anew. Folders already in `previous` keep their letters while those are
// free; the others take the lowest free letters, in the order they are listed.
std::vector<Drive> BuildDrives(const std::vector<Drive>& previous,
                               const std::vector<std::string>& environment,
                               const std::vector<std::string>& added,
                               const std::set<std::string>& hidden)
{
    std::vector<std::string> folders;
    auto addFolder = [&folders, &hidden](const std::string& folder) {
        if (folder == "/" || hidden.count(folder))
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
    for (const std::string& folder : environment) {
        if (IsDirectory(folder))
            addFolder(CanonicalFolder(folder));
    }
    for (const std::string& folder : added) {
        if (IsDirectory(folder))  // a test's card folder that was deleted is a card pulled out
            addFolder(folder);
    }

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

void StartWatching();

// Builds the table when it was never built; call with `table.lock` held exclusively.
void BuildFirstL(DriveTable& table)
{
    if (table.built)
        return;
    table.environment = EnvironmentFolders();
    table.drives = BuildDrives({}, table.environment, table.added, table.hidden);
    table.built = true;
    StartWatching();
}

// Runs `change` on the table (built first if needed) under both locks, then tells the listener
// when the drives changed.
template <class Change>
void ChangeTable(Change change)
{
    DriveTable& table = Table();
    std::lock_guard<std::mutex> serial(table.changeLock);
    std::vector<Drive> before, after;
    {
        std::unique_lock<std::shared_mutex> guard(table.lock);
        BuildFirstL(table);
        before = table.drives;
        change(table);
        after = table.drives;
    }
    if (table.listener && before != after)
        table.listener(before, after);
}

// Rebuilds the table, from the environment read afresh or (for the watcher, which must not
// read the environment while a test may be changing it) from the folders read last time.
void Rebuild(bool readEnvironment)
{
    ChangeTable([readEnvironment](DriveTable& table) {
        if (readEnvironment)
            table.environment = EnvironmentFolders();
        table.drives = BuildDrives(table.drives, table.environment, table.added, table.hidden);
    });
}

// Which of the folders that may become drives (those of PLATFORM_REMOVABLE_DRIVES and those
// tests added) exist now, one character each.
std::string FolderPresence()
{
    DriveTable& table = Table();
    std::vector<std::string> folders;
    {
        std::shared_lock<std::shared_mutex> guard(table.lock);
        folders = table.environment;
        folders.insert(folders.end(), table.added.begin(), table.added.end());
    }
    std::string presence;
    for (const std::string& folder : folders)
        presence.push_back(IsDirectory(folder) ? '1' : '0');
    return presence;
}

// The watcher: a thread of the layer that rebuilds the table when the mount table changes
// (the kernel marks /proc/self/mountinfo with POLLPRI) or when a drive's folder appears or
// goes away (looked at every kFolderCheckMs). It waits only in poll and runs until the process
// ends.
constexpr int kFolderCheckMs = 500;

void WatchDrives()
{
    pthread_setname_np(pthread_self(), "drive watcher");
    int mounts = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    // Nothing is taken as seen: the table was built before this thread ran, and a folder may
    // have gone in between, so the first look always rebuilds (a rebuild that changes nothing
    // tells nobody).
    std::string presence;
    for (;;) {
        bool changed = false;
        if (mounts >= 0) {
            pollfd wait = {mounts, POLLPRI, 0};
            int ready = poll(&wait, 1, kFolderCheckMs);
            if (ready > 0 && (wait.revents & (POLLPRI | POLLERR))) {
                // Reading the file to its end acknowledges the change.
                char buffer[4096];
                lseek(mounts, 0, SEEK_SET);
                while (read(mounts, buffer, sizeof buffer) > 0) {
                }
                changed = true;
            }
        } else {
            poll(nullptr, 0, kFolderCheckMs);
        }
        std::string now = FolderPresence();
        if (now != presence) {
            presence = now;
            changed = true;
        }
        if (changed)
            Rebuild(false);
    }
}

void StartWatching()
{
    static std::once_flag started;
    std::call_once(started, [] { std::thread(WatchDrives).detach(); });
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
    BuildFirstL(table);
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
    Rebuild(true);
}

void SetDriveChangeListener(DriveChangeListener listener)
{
    DriveTable& table = Table();
    std::lock_guard<std::mutex> serial(table.changeLock);
    table.listener = listener;
}

namespace testing {

std::wstring AddRemovableDrive(const std::string& folder)
{
    std::string canonical = CanonicalFolder(folder);
    if (canonical == "/")
        return std::wstring();  // the root is C: and cannot be removable
    WCHAR letter = 0;
    ChangeTable([&](DriveTable& table) {
        for (const Drive& drive : table.drives) {
            if (drive.type == DRIVE_REMOVABLE && drive.folder == canonical) {
                letter = drive.letter;
                return;
            }
        }
        table.hidden.erase(canonical);
        bool known = false;
        for (const std::string& added : table.added)
            known = known || added == canonical;
        if (!known)
            table.added.push_back(canonical);
        table.drives = BuildDrives(table.drives, table.environment, table.added, table.hidden);
        for (const Drive& drive : table.drives) {
            if (drive.folder == canonical)
                letter = drive.letter;
        }
        if (!letter && !known)
            table.added.pop_back();  // every letter is taken, or the folder does not exist
    });
    return letter ? std::wstring{letter, L':', L'\\'} : std::wstring();
}

bool RemoveRemovableDrive(const std::wstring& root)
{
    WCHAR letter = RootLetter(root.c_str());
    if (!letter)
        return false;
    bool removed = false;
    ChangeTable([&](DriveTable& table) {
        for (auto it = table.drives.begin(); it != table.drives.end(); ++it) {
            if (it->letter != letter || it->type != DRIVE_REMOVABLE)
                continue;
            bool wasAdded = false;
            for (auto added = table.added.begin(); added != table.added.end(); ++added) {
                if (*added == it->folder) {
                    table.added.erase(added);
                    wasAdded = true;
                    break;
                }
            }
            if (!wasAdded)
                table.hidden.insert(it->folder);  // a mount or a folder of the variable
            table.drives.erase(it);
            removed = true;
            return;
        }
    });
    return removed;
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

namespace platform {
namespace {

// statvfs of the volume that holds a Windows path (a root or any folder on it; null: the
// current folder). False with the last error set when the path does not resolve.
bool VolumeStatus(LPCWSTR path, struct statvfs* vfs)
{
    std::string folder;
    if (!path) {
        folder = ".";
    } else {
        ResolvedPath resolved;
        DWORD error = ResolvePath(path, kCheckNames, &resolved);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return false;
        }
        folder = resolved.native;
    }
    if (statvfs(folder.c_str(), vfs) != 0) {
        int error = errno;
        SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(error));
        return false;
    }
    return true;
}

}  // namespace
}  // namespace platform

BOOL GetDiskFreeSpaceW(LPCWSTR rootPathName, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD numberOfFreeClusters, LPDWORD totalNumberOfClusters)
{
    struct statvfs vfs;
    if (!platform::VolumeStatus(rootPathName, &vfs))
        return FALSE;
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

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes)
{
    struct statvfs vfs;
    if (!platform::VolumeStatus(directoryName, &vfs))
        return FALSE;
    uint64_t blockSize = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    if (freeBytesAvailableToCaller)
        freeBytesAvailableToCaller->QuadPart = uint64_t(vfs.f_bavail) * blockSize;
    if (totalNumberOfBytes)
        totalNumberOfBytes->QuadPart = uint64_t(vfs.f_blocks) * blockSize;
    if (totalNumberOfFreeBytes)
        totalNumberOfFreeBytes->QuadPart = uint64_t(vfs.f_bfree) * blockSize;
    return TRUE;
}
