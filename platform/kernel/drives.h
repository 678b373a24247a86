// The drive table: which Linux folder each drive letter names.
//
// "C:" is the Linux root "/" and is fixed. Removable volumes (mounted partitions of block
// devices that /sys reports as removable, and SD cards) get D:, E:, ... in mount order, then
// the existing folders named in PLATFORM_REMOVABLE_DRIVES (colon-separated), then the folders
// tests add through platform::testing::AddRemovableDrive. A folder keeps its letter when the
// table is rebuilt; a new one takes the lowest free letter. A folder that no longer exists
// leaves the table (a card pulled out) and comes back with the lowest free letter. The table is process-wide and
// guarded by its own lock, so any thread may read it while another rebuilds it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace platform {

struct Drive {
    WCHAR letter = 0;           // 'C'..'Z', upper case
    std::string folder;         // absolute Linux folder that is the drive's root: "/" for C:
    UINT type = DRIVE_UNKNOWN;  // DRIVE_FIXED for C:, DRIVE_REMOVABLE for every other drive

    bool operator==(const Drive& other) const
    {
        return letter == other.letter && folder == other.folder && type == other.type;
    }
    bool operator!=(const Drive& other) const { return !(*this == other); }
};

// Told of every change of the table, with the drives before and after it, on the thread that
// made the change (a test hook, RefreshDriveTable, or the layer's watcher thread, which rebuilds
// the table when the mounts change or a drive's folder appears or goes away). Changes and their
// notices are serialised: the listener runs under the table's change lock and must not change
// the table itself. The shell installs the one listener.
using DriveChangeListener = void (*)(const std::vector<Drive>& before,
                                     const std::vector<Drive>& after);
PLATFORM_API void SetDriveChangeListener(DriveChangeListener listener);

// A copy of the table, ordered by letter.
std::vector<Drive> Drives();

// The drive with that letter (either case); false when the table has none.
bool FindDrive(WCHAR letter, Drive* drive);

// The drive whose folder holds `path`, an absolute Linux path without ".", ".." or doubled
// separators: the removable drive with the longest folder that is `path` or one of its parents,
// else C:. *rest receives the part of `path` below that folder, without a leading "/".
Drive DriveOfNativePath(const std::string& path, std::string* rest);

// Block devices whose volumes count as removable: device numbers ("8:17") and kernel names
// ("sdb1"), for the disks and their partitions.
struct RemovableDevices {
    std::set<std::string> numbers;
    std::set<std::string> names;
};

// The mount points, in mount order, of the removable volumes listed in `mountinfo` (the text of
// /proc/self/mountinfo): each device once (its first mount), the root "/" never, with the
// kernel's octal escapes ("\040" for a space) decoded. Lines that do not parse are skipped.
PLATFORM_API std::vector<std::string> RemovableMountPoints(const std::string& mountinfo,
                                                           const RemovableDevices& devices);

}  // namespace platform
