// Windows paths onto the Linux tree, and the drive table.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "../../../platform/kernel/drives.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder for one test, removed afterwards.
fs::path MakeTempFolder(const char* tag)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
    fs::create_directories(base);
    std::string pattern = (base / (std::string(tag) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "mkdtemp failed under " << base;
    return fs::canonical(pattern);
}

void Touch(const fs::path& path, const std::string& content = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

std::vector<std::wstring> DriveStrings()
{
    std::vector<wchar_t> buffer(GetLogicalDriveStringsW(0, nullptr));
    DWORD length = GetLogicalDriveStringsW(DWORD(buffer.size()), buffer.data());
    std::vector<std::wstring> roots;
    for (size_t i = 0; i < length; i += roots.back().size() + 1)
        roots.emplace_back(&buffer[i]);
    return roots;
}

// A letter that no drive uses.
std::wstring UnusedRoot()
{
    for (wchar_t letter = L'Z'; letter > L'C'; --letter) {
        std::wstring root{letter, L':', L'\\'};
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            return root;
    }
    ADD_FAILURE() << "every letter is in use";
    return L"";
}

// A memory card: a folder with recordings under mixed-case names, added as a removable drive.
class CardPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_card = MakeTempFolder("card");
        Touch(m_card / "Cont_Rec" / "REC_2018_09_10_12_30_45_F.MP4");
        Touch(m_card / "setting" / "setup.cfg");
        m_root = platform::testing::AddRemovableDrive(m_card.string());
        ASSERT_EQ(m_root.size(), 3u);
    }
    void TearDown() override
    {
        platform::testing::RemoveRemovableDrive(m_root);
        fs::remove_all(m_card);
    }
    std::string Native(const char* below) const { return (m_card / below).string(); }

    fs::path m_card;
    std::wstring m_root;  // "E:\" or whichever letter the card got
};

TEST_F(CardPaths, ResolvesEachComponentWithoutRegardToCase)
{
    struct Case {
        std::wstring path;
        std::string native;
    };
    const std::wstring r = m_root;
    const std::wstring lower{wchar_t(towlower(r[0])), L':', L'\\'};
    const Case cases[] = {
        {r + L"Cont_Rec\\REC_2018_09_10_12_30_45_F.MP4",
         Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4")},
        {r + L"cont_rec\\rec_2018_09_10_12_30_45_f.mp4",
         Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4")},
        {lower + L"CONT_REC/Rec_2018_09_10_12_30_45_F.Mp4",
         Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4")},
        {r + L"SETTING\\SETUP.CFG", Native("setting/setup.cfg")},
        {r + L".\\x\\..\\Cont_Rec\\.\\", Native("Cont_Rec") + "/"},
        {r + L"Cont_Rec\\\\\\REC_2018_09_10_12_30_45_F.MP4",
         Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4")},
        // Names that exist in no form are kept as written, and so is all that follows them.
        {r + L"cont_rec\\New.MP4", Native("Cont_Rec/New.MP4")},
        {r + L"Missing\\cont_rec\\A.mp4", Native("Missing/cont_rec/A.mp4")},
        // The root cannot be left upwards.
        {r, m_card.string()},
        {r + L"..\\..\\setting", Native("setting")},
        // A path ends at its first zero, as the Win32 calls see it.
        {r + L"setting" + L'\0' + L"\\setup.cfg", Native("setting")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToNativePath(c.path), c.native)
            << std::string(c.path.begin(), c.path.end());
    }
}

TEST_F(CardPaths, ResolvesRelativeRootedAndDriveRelativePathsFromTheCurrentFolder)
{
    fs::path before = fs::current_path();
    fs::current_path(m_card / "Cont_Rec");
    std::wstring drive = m_root.substr(0, 2);
    EXPECT_EQ(platform::ToNativePath(L"rec_2018_09_10_12_30_45_f.mp4"),
              Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4"));
    EXPECT_EQ(platform::ToNativePath(L"..\\Setting\\setup.cfg"), Native("setting/setup.cfg"));
    EXPECT_EQ(platform::ToNativePath(L"\\setting"), Native("setting"));  // the current drive's root
    EXPECT_EQ(platform::ToNativePath(drive + L"rec_2018_09_10_12_30_45_f.mp4"),
              Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4"));
    EXPECT_EQ(platform::ToNativePath(L"C:tmp"), "/tmp");  // another drive: from its root
    EXPECT_EQ(GetDriveTypeW(nullptr), UINT(DRIVE_REMOVABLE));
    fs::current_path(before);
    EXPECT_EQ(GetDriveTypeW(nullptr), UINT(DRIVE_FIXED));
}

TEST_F(CardPaths, TurnsLinuxPathsIntoWindowsForm)
{
    fs::path sibling = m_card.string() + "-other";  // shares the card folder's name as a prefix
    fs::path link = m_card.string() + "-link";
    fs::create_directories(sibling);
    fs::create_symlink(m_card / "Cont_Rec", link);
    struct Case {
        std::string native;
        std::wstring windows;
    };
    std::wstring siblingWindows = L"C:" + sibling.wstring();
    for (wchar_t& c : siblingWindows) {
        if (c == L'/')
            c = L'\\';
    }
    const Case cases[] = {
        {Native("Cont_Rec/REC_2018_09_10_12_30_45_F.MP4"),
         m_root + L"Cont_Rec\\REC_2018_09_10_12_30_45_F.MP4"},
        {m_card.string(), m_root},
        {m_card.string() + "/", m_root},
        {Native("setting/../Cont_Rec/./x"), m_root + L"Cont_Rec\\x"},
        {sibling.string(), siblingWindows},
        {(link / "REC_2018_09_10_12_30_45_F.MP4").string(),
         m_root + L"Cont_Rec\\REC_2018_09_10_12_30_45_F.MP4"},
        {"/", L"C:\\"},
        {"/usr//lib/../bin", L"C:\\usr\\bin"},
        {"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToWindowsPath(c.native), c.windows) << c.native;
    }
    fs::remove(link);
    fs::remove_all(sibling);
}

TEST_F(CardPaths, OddBytesInLinuxNamesLeadBackToTheSameFile)
{
    const std::string name = "REC_\xFF\xC3(.mp4";  // not valid UTF-8
    Touch(m_card / name, "abc");
    std::wstring windows = platform::ToWindowsPath((m_card / name).string());
    EXPECT_EQ(windows, m_root + L"REC_\xDCFF\xDCC3(.mp4");
    EXPECT_EQ(platform::ToNativePath(windows), (m_card / name).string());
    EXPECT_TRUE(PathFileExistsW(windows.c_str()));
}

TEST_F(CardPaths, PathsThatNameNoPlaceGiveAnEmptyResult)
{
    EXPECT_EQ(platform::ToNativePath(UnusedRoot() + L"Cont_Rec"), "");
    EXPECT_EQ(platform::ToNativePath(L"\\\\server\\share\\a.mp4"), "");
    EXPECT_EQ(platform::ToNativePath(L""), "");
}

TEST_F(CardPaths, TheCardIsARemovableDriveWithItsSizeInClusters)
{
    std::vector<std::wstring> roots = DriveStrings();
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.front(), L"C:\\");
    EXPECT_NE(std::find(roots.begin(), roots.end(), m_root), roots.end());

    struct Case {
        std::wstring root;
        UINT type;
    };
    const Case cases[] = {
        {m_root, DRIVE_REMOVABLE},
        {m_root.substr(0, 2), DRIVE_REMOVABLE},
        {L"C:\\", DRIVE_FIXED},
        {L"c:", DRIVE_FIXED},
        {m_root + L"Cont_Rec\\", DRIVE_NO_ROOT_DIR},
        {UnusedRoot(), DRIVE_NO_ROOT_DIR},
        {L"", DRIVE_NO_ROOT_DIR},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetDriveTypeW(c.root.c_str()), c.type)
            << std::string(c.root.begin(), c.root.end());
    }

    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(m_root.c_str(), &sectors, &bytes, &freeClusters, &clusters));
    struct statvfs vfs;
    ASSERT_EQ(statvfs(m_card.c_str(), &vfs), 0);
    EXPECT_EQ(bytes, 512u);
    EXPECT_GE(sectors, 1u);
    EXPECT_LE(freeClusters, clusters);
    uint64_t clusterBytes = uint64_t(sectors) * bytes;
    uint64_t volumeBytes = uint64_t(vfs.f_blocks) * vfs.f_frsize;
    EXPECT_EQ(uint64_t(clusters), volumeBytes / clusterBytes);
    EXPECT_LT(volumeBytes - uint64_t(clusters) * clusterBytes, clusterBytes);

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(
        GetDiskFreeSpaceW(UnusedRoot().c_str(), &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(DriveStrings, FollowTheBufferProtocol)
{
    DWORD needed = GetLogicalDriveStringsW(0, nullptr);
    ASSERT_GE(needed, 5u);  // at least "C:\", its zero and the final zero
    ASSERT_EQ((needed - 1) % 4, 0u);
    std::vector<wchar_t> buffer(needed, L'#');
    EXPECT_EQ(GetLogicalDriveStringsW(needed - 1, buffer.data()), needed);  // one too small
    EXPECT_EQ(buffer[0], L'#');                                             // untouched
    EXPECT_EQ(GetLogicalDriveStringsW(needed, buffer.data()), needed - 1);
    EXPECT_EQ(std::wstring(buffer.data()), L"C:\\");
    EXPECT_EQ(buffer[needed - 1], L'\0');
    EXPECT_EQ(buffer[needed - 2], L'\0');
}

TEST(DriveTable, FoldersOfTheVariableJoinAndKeepTheirLetters)
{
    fs::path first = MakeTempFolder("env-a");
    fs::path second = MakeTempFolder("env-b");
    fs::path missing = first.string() + "-missing";
    auto rootOf = [](const fs::path& folder) { return platform::ToWindowsPath(folder.string()); };

    std::string value = first.string() + ":" + missing.string() + "::" + second.string();
    setenv("PLATFORM_REMOVABLE_DRIVES", value.c_str(), 1);
    platform::RefreshDriveTable();
    std::wstring firstRoot = rootOf(first), secondRoot = rootOf(second);
    ASSERT_EQ(firstRoot.size(), 3u) << "the folder did not become a drive";
    EXPECT_EQ(secondRoot.size(), 3u);
    EXPECT_LT(firstRoot, secondRoot);  // listed order gives the letters
    EXPECT_EQ(GetDriveTypeW(firstRoot.c_str()), UINT(DRIVE_REMOVABLE));
    EXPECT_EQ(rootOf(missing)[0], L'C');  // a folder that does not exist is no drive

    // The first folder leaves, a new one arrives ahead of the second: the second keeps its
    // letter and the newcomer takes the lowest free one.
    fs::path third = MakeTempFolder("env-c");
    value = third.string() + ":" + second.string();
    setenv("PLATFORM_REMOVABLE_DRIVES", value.c_str(), 1);
    platform::RefreshDriveTable();
    EXPECT_EQ(rootOf(second), secondRoot);
    EXPECT_EQ(rootOf(third), firstRoot);
    EXPECT_EQ(rootOf(first)[0], L'C');

    unsetenv("PLATFORM_REMOVABLE_DRIVES");
    platform::RefreshDriveTable();
    EXPECT_EQ(GetDriveTypeW(secondRoot.c_str()), UINT(DRIVE_NO_ROOT_DIR));
    for (const fs::path& folder : {first, second, third})
        fs::remove_all(folder);
}

TEST(DriveTable, TestDrivesComeAndGo)
{
    fs::path folder = MakeTempFolder("added");
    std::wstring root = platform::testing::AddRemovableDrive(folder.string());
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(platform::testing::AddRemovableDrive(folder.string() + "/."), root);  // same folder
    platform::RefreshDriveTable();  // an added drive outlives a rebuild
    EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT(DRIVE_REMOVABLE));

    EXPECT_FALSE(platform::testing::RemoveRemovableDrive(L"C:\\"));
    EXPECT_FALSE(platform::testing::RemoveRemovableDrive(UnusedRoot()));
    EXPECT_TRUE(platform::testing::RemoveRemovableDrive(root.substr(0, 2)));
    EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(platform::ToNativePath(root), "");
    platform::RefreshDriveTable();
    EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT(DRIVE_NO_ROOT_DIR));
    fs::remove_all(folder);
}

TEST(DriveTable, FindsRemovableVolumesInMountOrder)
{
    const std::string mountinfo =
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "28 1 254:1 / / rw,relatime - ext4 /dev/vda1 rw\n"
        "40 28 8:17 / /media/kim/MY\\040CARD rw,nosuid shared:7 master:1 - vfat /dev/sdb1 rw\n"
        "41 28 8:1 / /mnt/data rw - ext4 /dev/sda1 rw\n"
        "42 28 8:17 /DCIM /srv/bind rw - vfat /dev/sdb1 rw\n"
        "43 28 179:1 / /media/kim/SD rw - exfat /dev/mmcblk0p1 rw\n"
        "44 28 0:55 / /media/kim/fuse rw - fuseblk /dev/sdc1 rw\n"
        "45 28 8:33 / /broken rw\n"
        "46 1 8:48 / / rw - vfat /dev/sdd rw\n";
    platform::RemovableDevices devices;
    devices.numbers = {"8:16", "8:17", "179:0", "179:1", "8:48"};
    devices.names = {"sdb", "sdb1", "mmcblk0", "mmcblk0p1", "sdc", "sdc1", "sdd"};
    std::vector<std::string> expected = {"/media/kim/MY CARD", "/media/kim/SD", "/media/kim/fuse"};
    EXPECT_EQ(platform::RemovableMountPoints(mountinfo, devices), expected);
    EXPECT_TRUE(platform::RemovableMountPoints("", devices).empty());
    EXPECT_TRUE(platform::RemovableMountPoints("garbage\n\n- - -\n", devices).empty());
}

TEST(DriveTable, ReadersSeeAWholeTableWhileItChanges)
{
    fs::path folder = MakeTempFolder("busy");
    Touch(folder / "A.MP4");
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                std::wstring root = platform::ToWindowsPath(folder.string());
                std::string native = platform::ToNativePath(root + L"\\a.mp4");
                // Either the drive is there and leads to the file, or the folder is on C:.
                if (root[0] != L'C') {
                    EXPECT_TRUE(native.empty() || native == (folder / "A.MP4").string()) << native;
                }
                GetDriveTypeW(root.substr(0, 3).c_str());
                GetLogicalDriveStringsW(0, nullptr);
                ++reads;
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        std::wstring root = platform::testing::AddRemovableDrive(folder.string());
        platform::RefreshDriveTable();
        platform::testing::RemoveRemovableDrive(root);
    }
    while (reads < 3)
        std::this_thread::yield();
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    fs::remove_all(folder);
}

}  // namespace
