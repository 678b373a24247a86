// Removable drives as the viewer looks for its card: the drive calls on a card folder, and the
// notices a window gets when a card comes or goes.
#include <sys/statvfs.h>

#include <cstring>
#include <fstream>

#include "shell_harness.h"

using namespace shelltest;

namespace {

constexpr UINT kMediaMessage = WM_USER + 0x58;  // the message the viewer registers
constexpr int kViewerSources = 0x2381F;

class MediaNotices : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_received.clear();
        g_inspect = [](Received& got) {
            if (got.message == WM_DEVICECHANGE && got.lParam) {
                auto* volume = reinterpret_cast<DEV_BROADCAST_VOLUME*>(got.lParam);
                if (volume->dbcv_devicetype == DBT_DEVTYP_VOLUME)
                    got.unitMask = volume->dbcv_unitmask;
            }
            if (got.message == kMediaMessage && got.wParam) {
                auto* items = reinterpret_cast<LPITEMIDLIST*>(got.wParam);
                // The item's text is the drive's root, as the layer's items hold it.
                const BYTE* bytes = reinterpret_cast<const BYTE*>(items[0]);
                USHORT cb;
                std::memcpy(&cb, bytes, sizeof cb);
                if (cb > sizeof(USHORT))
                    got.item.assign(reinterpret_cast<const wchar_t*>(bytes + sizeof(USHORT)));
                EXPECT_EQ(items[1], nullptr);
            }
        };
        m_window = MakeWindow(L"Media", 10, 10, 100, 80);
        ASSERT_NE(m_window, nullptr);
        ASSERT_EQ(SHGetSpecialFolderLocation(m_window, CSIDL_DESKTOP, &m_desktop), S_OK);
        SHChangeNotifyEntry entry = {m_desktop, TRUE};
        m_id = SHChangeNotifyRegister(m_window, kViewerSources,
                                      SHCNE_MEDIAINSERTED | SHCNE_MEDIAREMOVED, kMediaMessage, 1,
                                      &entry);
        ASSERT_NE(m_id, 0u);
        m_card = MakeTempFolder("card");
    }
    void TearDown() override
    {
        SHChangeNotifyDeregister(m_id);
        ILFree(m_desktop);
        DestroyWindow(m_window);
        platform::testing::PumpMessages();
        fs::remove_all(m_card);
        g_inspect = nullptr;
    }

    static DWORD MaskOf(const std::wstring& root) { return DWORD(1) << (root[0] - L'A'); }

    HWND m_window = nullptr;
    PIDLIST_ABSOLUTE m_desktop = nullptr;
    ULONG m_id = 0;
    fs::path m_card;
};

TEST_F(MediaNotices, CardAddedAndRemovedReachEveryWindowAndTheRegisteredOne)
{
    HWND other = MakeWindow(L"Other", 200, 10, 50, 50);
    std::wstring root = platform::testing::AddRemovableDrive(m_card.string());
    ASSERT_EQ(root.size(), 3u);
    platform::testing::PumpMessages();

    // Both top-level windows hear of the volume; only the registered one gets the shell notice.
    auto devices = ReceivedOf(WM_DEVICECHANGE);
    ASSERT_EQ(devices.size(), 2u);
    for (const Received& got : devices) {
        EXPECT_EQ(got.wParam, WPARAM(DBT_DEVICEARRIVAL));
        EXPECT_EQ(got.unitMask, MaskOf(root));
    }
    auto media = ReceivedOf(kMediaMessage);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].window, m_window);
    EXPECT_EQ(media[0].lParam, LPARAM(SHCNE_MEDIAINSERTED));
    EXPECT_EQ(media[0].item, root);
    EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT(DRIVE_REMOVABLE));

    g_received.clear();
    ASSERT_TRUE(platform::testing::RemoveRemovableDrive(root));
    platform::testing::PumpMessages();
    devices = ReceivedOf(WM_DEVICECHANGE);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].wParam, WPARAM(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(devices[0].unitMask, MaskOf(root));
    media = ReceivedOf(kMediaMessage);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].lParam, LPARAM(SHCNE_MEDIAREMOVED));
    EXPECT_EQ(media[0].item, root);

    // Deregistered: the device notices still come, the shell's no longer.
    g_received.clear();
    EXPECT_TRUE(SHChangeNotifyDeregister(m_id));
    EXPECT_FALSE(SHChangeNotifyDeregister(m_id));
    m_id = 0;
    root = platform::testing::AddRemovableDrive(m_card.string());
    platform::testing::PumpMessages();
    EXPECT_EQ(ReceivedOf(WM_DEVICECHANGE).size(), 2u);
    EXPECT_TRUE(ReceivedOf(kMediaMessage).empty());
    platform::testing::RemoveRemovableDrive(root);
    DestroyWindow(other);
}

TEST_F(MediaNotices, CardFolderDeletedUnderTheProgramIsACardPulledOut)
{
    std::wstring root = platform::testing::AddRemovableDrive(m_card.string());
    ASSERT_EQ(root.size(), 3u);
    platform::testing::PumpMessages();
    g_received.clear();

    fs::remove_all(m_card);
    ASSERT_TRUE(PumpUntil([] { return !ReceivedOf(kMediaMessage).empty(); }))
        << "the watcher did not see the folder go";
    EXPECT_EQ(ReceivedOf(kMediaMessage)[0].lParam, LPARAM(SHCNE_MEDIAREMOVED));
    EXPECT_EQ(ReceivedOf(WM_DEVICECHANGE)[0].wParam, WPARAM(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT(DRIVE_NO_ROOT_DIR));

    // The card comes back: the same folder is a drive again.
    g_received.clear();
    fs::create_directories(m_card);
    ASSERT_TRUE(PumpUntil([] { return !ReceivedOf(kMediaMessage).empty(); }));
    EXPECT_EQ(ReceivedOf(kMediaMessage)[0].lParam, LPARAM(SHCNE_MEDIAINSERTED));
    std::wstring again = platform::ToWindowsPath(m_card.string());
    EXPECT_EQ(again.substr(0, 3), ReceivedOf(kMediaMessage)[0].item);
    EXPECT_EQ(GetDriveTypeW(again.substr(0, 3).c_str()), UINT(DRIVE_REMOVABLE));
    platform::testing::RemoveRemovableDrive(again.substr(0, 3));
}

TEST_F(MediaNotices, RegistrationsThatCannotBeServedAreRefused)
{
    SHChangeNotifyEntry entry = {m_desktop, TRUE};
    EXPECT_EQ(SHChangeNotifyRegister(nullptr, kViewerSources, SHCNE_MEDIAINSERTED, kMediaMessage,
                                     1, &entry),
              0u);
    EXPECT_EQ(SHChangeNotifyRegister(m_window, SHCNRF_ShellLevel | SHCNRF_NewDelivery,
                                     SHCNE_MEDIAINSERTED, kMediaMessage, 1, &entry),
              0u);
    EXPECT_EQ(SHChangeNotifyRegister(m_window, kViewerSources, SHCNE_MEDIAINSERTED,
                                     kMediaMessage, 0, &entry),
              0u);
    PIDLIST_ABSOLUTE other = nullptr;
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x0011, &other), E_INVALIDARG);
    EXPECT_EQ(other, nullptr);

    // A registration for one drive hears only of that drive.
    std::wstring root = platform::testing::AddRemovableDrive(m_card.string());
    ASSERT_EQ(root.size(), 3u);
    fs::path second = MakeTempFolder("card2");
    std::wstring secondRoot = platform::testing::AddRemovableDrive(second.string());
    platform::testing::PumpMessages();
    g_received.clear();
    SHChangeNotifyDeregister(m_id);
    PIDLIST_ABSOLUTE drive = nullptr;
    {
        // An item list of the layer's own form for the second drive's root.
        std::vector<BYTE> bytes(2 + (secondRoot.size() + 1) * sizeof(wchar_t) + 2, 0);
        USHORT cb = USHORT(2 + (secondRoot.size() + 1) * sizeof(wchar_t));
        std::memcpy(bytes.data(), &cb, 2);
        std::memcpy(bytes.data() + 2, secondRoot.c_str(), (secondRoot.size() + 1) * sizeof(wchar_t));
        drive = static_cast<PIDLIST_ABSOLUTE>(CoTaskMemAlloc(bytes.size()));
        std::memcpy(drive, bytes.data(), bytes.size());
    }
    SHChangeNotifyEntry driveEntry = {drive, FALSE};
    m_id = SHChangeNotifyRegister(m_window, kViewerSources, SHCNE_MEDIAREMOVED, kMediaMessage, 1,
                                  &driveEntry);
    ASSERT_NE(m_id, 0u);
    platform::testing::RemoveRemovableDrive(root);
    platform::testing::RemoveRemovableDrive(secondRoot);
    platform::testing::PumpMessages();
    auto media = ReceivedOf(kMediaMessage);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].item, secondRoot);
    CoTaskMemFree(drive);
    fs::remove_all(second);
}

TEST(CardSpace, SizesComeFromTheCardsFileSystem)
{
    fs::path card = MakeTempFolder("space");
    std::wstring root = platform::testing::AddRemovableDrive(card.string());
    ASSERT_EQ(root.size(), 3u);
    fs::create_directories(card / "cont_rec");
    struct statvfs vfs;
    ASSERT_EQ(statvfs(card.c_str(), &vfs), 0);
    uint64_t block = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;

    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW((root + L"CONT_REC").c_str(), &available, &total, &free));
    EXPECT_EQ(total.QuadPart, uint64_t(vfs.f_blocks) * block);
    EXPECT_LE(available.QuadPart, free.QuadPart);
    EXPECT_GT(free.QuadPart, 0u);

    // The viewer's capacity: sectors per cluster x bytes per sector x clusters is the volume.
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(root.c_str(), &sectors, &bytes, &freeClusters, &clusters));
    uint64_t product = uint64_t(sectors) * bytes * clusters;
    EXPECT_LE(product, total.QuadPart);
    EXPECT_GT(product, total.QuadPart - uint64_t(sectors) * bytes);

    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExW((root + L"missing\\deeper").c_str(), &available, nullptr,
                                     nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    platform::testing::RemoveRemovableDrive(root);
    EXPECT_FALSE(GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free));
    fs::remove_all(card);
}

}  // namespace
