// The drive table: which Linux folder each drive letter names.
//
// "C:" is the Linux root "/" and is fixed. Removable volumes (mounted partitions of block
// devices that /sys reports as removable, and SD cards) get D:, E:, ... in mount order, then
// the existing folders named in PLATFORM_REMOVABLE_DRIVES (colon-separated), then the folders
// tests add through platform::testing::AddRemovableDrive. A folder keeps its letter when the
// table is rebuilt; a new one takes the lowest free letter. The table is process-wide and
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
};

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
