// The PNG helper, and a picture of text in the viewer's scripts to look at: Latin, Cyrillic,
// Korean, Chinese and Japanese through DrawTextW with the faces the language texts name.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "canvas.h"

using gditest::Canvas;

namespace {

std::string OutputPath(const char* name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return std::string(build ? build : "/tmp") + "/" + name;
}

uint32_t BigEndian(const std::vector<unsigned char>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
           uint32_t(bytes[at + 2]) << 8 | uint32_t(bytes[at + 3]);
}

TEST(GdiPng, SavesTextInEveryScriptAsAPicture)
{
    platform::testing::PinFontFile("");
    Canvas canvas(420, 200, true);
    RECT all = {0, 0, 420, 200};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(canvas.Dc(), &all, white);
    DeleteObject(white);
    SetBkMode(canvas.Dc(), TRANSPARENT);
    SetTextColor(canvas.Dc(), RGB(20, 30, 40));
    struct Line {
        const wchar_t* face;
        BYTE charset;
        const wchar_t* text;
    } lines[] = {
        {L"Verdana", DEFAULT_CHARSET, L"Latin: The quick brown fox (x1.0) &&"},
        {L"Verdana", DEFAULT_CHARSET, L"Cyrillic: Быстрая коричневая лиса"},
        {L"dotum", HANGUL_CHARSET, L"Korean: 재생 일시정지 전체 화면"},
        {L"simsun", GB2312_CHARSET, L"Chinese: 播放 暂停 全屏 设置"},
        {L"MS Gothic", DEFAULT_CHARSET, L"Japanese: 再生 一時停止 全画面"},
        {L"tahoma", ANSI_CHARSET, L"00:59:59 / 100:00:00"},
    };
    int y = 6;
    for (const Line& line : lines) {
        HFONT font = gditest::MakeFont(15, line.face, FW_NORMAL, false, line.charset);
        HGDIOBJ previous = SelectObject(canvas.Dc(), font);
        RECT rect = {8, y, 412, y + 30};
        EXPECT_GT(DrawTextW(canvas.Dc(), line.text, -1, &rect, DT_SINGLELINE | DT_VCENTER), 0);
        SelectObject(canvas.Dc(), previous);
        DeleteObject(font);
        y += 31;
    }
    std::string path = OutputPath("gdi_text_scripts.png");
    ASSERT_TRUE(platform::testing::SaveBitmapPng(canvas.Bitmap(), path)) << path;

    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 33u);
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(std::begin(signature), std::end(signature), bytes.begin()));
    EXPECT_EQ(BigEndian(bytes, 16), 420u);  // IHDR width
    EXPECT_EQ(BigEndian(bytes, 20), 200u);  // IHDR height
    EXPECT_EQ(bytes[24], 8);                // bits per channel
    EXPECT_EQ(bytes[25], 2);                // RGB
}

TEST(GdiPng, RefusesBadBitmapsAndPaths)
{
    Canvas canvas(4, 4);
    EXPECT_FALSE(platform::testing::SaveBitmapPng(nullptr, OutputPath("none.png")));
    EXPECT_FALSE(platform::testing::SaveBitmapPng(canvas.Bitmap(), "/nonexistent/dir/x.png"));
}

}  // namespace
