// The file dialogs when nobody scripts them: zenity is run, here a stand-in on PATH that notes
// how it was asked and answers as the test tells it. Its arguments, its answers turned into
// Windows paths, a cancel, and the caller's windows served while it runs.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/mfc.h"
#include "shell_harness.h"

using namespace shelltest;

namespace {

constexpr const wchar_t* kOpenFilter =
    L"All (*.avi, *.mp4)|*.avi;*.mp4|AVI (*.avi)|*.avi|MP4 (*.mp4)|*.mp4||";
constexpr UINT kWhileOpen = WM_USER + 7;

// Call n writes its arguments to args.n, prints answer.n and ends with status.n (0 unless set).
constexpr const char* kStandIn =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "n=$(cat \"$dir/calls\" 2>/dev/null || echo 0); n=$((n + 1)); echo $n > \"$dir/calls\"\n"
    "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$dir/args.$n\"\n"
    "sleep 0.2\n"
    "[ -f \"$dir/answer.$n\" ] && cat \"$dir/answer.$n\"\n"
    "exit $(cat \"$dir/status.$n\" 2>/dev/null || echo 0)\n";

class ZenityDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_bin = MakeTempFolder("zenity");
        m_files = MakeTempFolder("chosen");
        std::ofstream(m_bin / "zenity") << kStandIn;
        chmod((m_bin / "zenity").c_str(), 0755);
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", (m_bin.string() + ":" + m_path).c_str(), 1);
        m_owner = MakeWindow(L"Owner", 0, 0, 100, 100);
        g_received.clear();
        // What the owner looks like while a message reaches it during the dialog.
        g_inspect = [this](Received& got) {
            if (got.message == kWhileOpen)
                got.unitMask = IsWindowEnabled(m_owner) ? 1 : 0;
        };
    }
    void TearDown() override
    {
        g_inspect = nullptr;
        DestroyWindow(m_owner);
        setenv("PATH", m_path.c_str(), 1);
        fs::remove_all(m_bin);
        fs::remove_all(m_files);
    }
    void Answer(int call, const std::string& text, int status = 0)
    {
        std::ofstream(m_bin / ("answer." + std::to_string(call))) << text;
        std::ofstream(m_bin / ("status." + std::to_string(call))) << status;
    }
    std::vector<std::string> Arguments(int call)
    {
        std::ifstream in(m_bin / ("args." + std::to_string(call)), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::vector<std::string> args;
        std::string arg;
        while (std::getline(all, arg, '\0'))
            args.push_back(arg);
        return args;
    }
    int Calls()
    {
        int calls = 0;
        std::ifstream(m_bin / "calls") >> calls;
        return calls;
    }

    fs::path m_bin, m_files;
    std::string m_path;
    HWND m_owner = nullptr;
};

TEST_F(ZenityDialogs, OpenAsksForSeveralFilesWithTheFiltersAndKeepsTheOwnerServed)
{
    const fs::path front = m_files / "REC_1_F.mp4", rear = m_files / "REC_1_R.mp4";
    Answer(1, front.string() + "\n" + rear.string() + "\n");
    CWnd parent;
    parent.m_hWnd = m_owner;
    PostMessageW(m_owner, kWhileOpen, 0, 0);
    CFileDialog dialog(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                       kOpenFilter, &parent);
    ASSERT_EQ(dialog.DoModal(), IDOK);
    parent.m_hWnd = nullptr;
    std::vector<std::wstring> got;
    for (POSITION pos = dialog.GetStartPosition(); pos;)
        got.push_back(dialog.GetNextPathName(pos));
    EXPECT_EQ(got, (std::vector<std::wstring>{platform::ToWindowsPath(front.string()),
                                              platform::ToWindowsPath(rear.string())}));
    EXPECT_EQ(Arguments(1),
              (std::vector<std::string>{"--file-selection", "--multiple", "--separator=\n",
                                        "--title=Open", "--filename=./",
                                        "--file-filter=All (*.avi, *.mp4) | *.avi *.AVI *.mp4 *.MP4",
                                        "--file-filter=AVI (*.avi) | *.avi *.AVI",
                                        "--file-filter=MP4 (*.mp4) | *.mp4 *.MP4"}));
    // The owner's messages were handled while zenity ran, with the owner disabled, and it is
    // enabled again afterwards.
    std::vector<Received> during = ReceivedOf(kWhileOpen);
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].unitMask, 0u);
    EXPECT_TRUE(IsWindowEnabled(m_owner));
}

TEST_F(ZenityDialogs, ACancelChoosesNothing)
{
    Answer(1, "", 1);
    CFileDialog dialog(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT, kOpenFilter);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.GetStartPosition(), nullptr);
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(Calls(), 1);
}

TEST_F(ZenityDialogs, SaveStartsAtTheTitleAddsTheExtensionAndAsksAgainAfterARefusal)
{
    std::ofstream(m_files / "taken.mp4") << "old";
    Answer(1, (m_files / "taken").string() + "\n");
    Answer(2, (m_files / "fresh").string() + "\n");
    platform::testing::ClearShownMessageBoxes();
    platform::testing::AnswerMessageBoxes({IDNO});
    CFileDialog dialog(FALSE, L"mp4", L"REC_1_F", OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY,
                       L"mp4 (*.mp4)|*.mp4||");
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), platform::ToWindowsPath((m_files / "fresh.mp4").string()));
    EXPECT_EQ(Calls(), 2);
    EXPECT_EQ(Arguments(1), (std::vector<std::string>{"--file-selection", "--save", "--separator=\n",
                                                      "--title=Save As", "--filename=./REC_1_F",
                                                      "--file-filter=mp4 (*.mp4) | *.mp4 *.MP4"}));
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"taken.mp4 already exists.\nDo you want to replace it?");
}

}  // namespace
