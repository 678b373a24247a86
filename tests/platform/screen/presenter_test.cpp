// Which presenter PLATFORM_PRESENTER chooses, and dropped files kept until the shell takes them.
#include <gtest/gtest.h>

#include "screen/drop.h"
#include "screen/presenter.h"

using platform::screen::ChoosePresenter;
using platform::screen::FileDrop;
using platform::screen::PresenterKind;

namespace {

TEST(ScreenPresenterChoice, SdlOnlyWhereADisplayExists)
{
    struct Case {
        const char* setting;
        bool display;
        PresenterKind kind;
        bool noted;  // the user hears why the setting was not followed as written
    } cases[] = {
        {nullptr, true, PresenterKind::Sdl, false},
        {nullptr, false, PresenterKind::Headless, false},
        {"", true, PresenterKind::Sdl, false},
        {"headless", true, PresenterKind::Headless, false},
        {"headless", false, PresenterKind::Headless, false},
        {"sdl", true, PresenterKind::Sdl, false},
        {"SDL", true, PresenterKind::Sdl, false},
        {"sdl", false, PresenterKind::Headless, true},
        {"x11", true, PresenterKind::Sdl, true},
        {"x11", false, PresenterKind::Headless, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting ? c.setting : "(unset)") +
                     (c.display ? " with a display" : " without a display"));
        platform::screen::PresenterChoice choice = ChoosePresenter(c.setting, c.display);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(!choice.note.empty(), c.noted) << choice.note;
    }
}

TEST(ScreenFileDrops, KeptInOrderUntilAReceiverTakesThem)
{
    platform::screen::DeliverFileDrop(FileDrop{{1, 2}, {L"C:\\a.mp4"}});
    platform::screen::DeliverFileDrop(FileDrop{{3, 4}, {}});  // nothing dropped: no drop
    platform::screen::DeliverFileDrop(FileDrop{{5, 6}, {L"C:\\b.mp4", L"C:\\c.mp4"}});
    std::vector<FileDrop> got;
    platform::screen::SetFileDropReceiver([&](const FileDrop& drop) { got.push_back(drop); });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].point.x, 1);
    EXPECT_EQ(got[0].files, std::vector<std::wstring>{L"C:\\a.mp4"});
    EXPECT_EQ(got[1].point.y, 6);
    EXPECT_EQ(got[1].files, (std::vector<std::wstring>{L"C:\\b.mp4", L"C:\\c.mp4"}));
    platform::screen::DeliverFileDrop(FileDrop{{7, 8}, {L"C:\\d.mp4"}});
    EXPECT_EQ(got.size(), 3u);
    platform::screen::SetFileDropReceiver(nullptr);
    platform::screen::DeliverFileDrop(FileDrop{{9, 9}, {L"C:\\e.mp4"}});
    EXPECT_EQ(got.size(), 3u);
    platform::screen::SetFileDropReceiver([&](const FileDrop& drop) { got.push_back(drop); });
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[3].files, std::vector<std::wstring>{L"C:\\e.mp4"});
    platform::screen::SetFileDropReceiver(nullptr);
}

}  // namespace
