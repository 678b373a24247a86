// The text form of dialog templates: what a template reads as, and the lines that are refused
// with the line and the reason.
#include <gtest/gtest.h>

#include <string>

#include "mfc/DialogTemplate.h"
#include "platform/mfc.h"

using platform::mfc::DialogTemplate;
using platform::mfc::ParseDialogTemplate;

namespace {

bool Parse(const std::string& text, DialogTemplate* out, std::string* error)
{
    return ParseDialogTemplate(text.data(), text.size(), out, error);
}

TEST(MfcDialogTemplate, ReadsEveryStatement)
{
    const std::string text =
        "\xEF\xBB\xBF# The update dialog.\r\n"
        "DIALOG -5 0x10 269 118\r\n"
        "STYLE WS_POPUP|WS_CAPTION | WS_SYSMENU DS_MODALFRAME\r\n"
        "EXSTYLE WS_EX_APPWINDOW\r\n"
        "CAPTION \"Update \\\"now\\\" \\\\ \xEC\x97\x85\xEB\x8D\xB0\xEC\x9D\xB4\xED\x8A\xB8\"\r\n"
        "\r\n"
        "  FONT 8 \"MS Shell Dlg\"\r\n"
        "CONTROL \"Two\\nlines\" -1 Static 30 27 76 16\r\n"
        "CONTROL \"\" 1007 \"My Class\" 156 62 89 25 WS_TABSTOP 0x1 EXSTYLE 0x20\r\n"
        "CONTROL \"OK\" 1 Button 195 95 50 14 WS_VISIBLE EXSTYLE WS_EX_TRANSPARENT";
    DialogTemplate t;
    std::string error;
    ASSERT_TRUE(Parse(text, &t, &error)) << error;
    EXPECT_EQ(t.x, -5);
    EXPECT_EQ(t.y, 16);
    EXPECT_EQ(t.width, 269);
    EXPECT_EQ(t.height, 118);
    EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | 0x80));
    EXPECT_EQ(t.exStyle, DWORD(WS_EX_APPWINDOW));
    EXPECT_EQ(t.caption, L"Update \"now\" \\ \uC5C5\uB370\uC774\uD2B8");
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, L"MS Shell Dlg");
    ASSERT_EQ(t.controls.size(), 3u);
    EXPECT_EQ(t.controls[0].text, L"Two\nlines");
    EXPECT_EQ(t.controls[0].id, 65535);
    EXPECT_EQ(t.controls[0].className, L"Static");
    EXPECT_EQ(t.controls[0].style, 0u);
    EXPECT_EQ(t.controls[1].className, L"My Class");
    EXPECT_EQ(t.controls[1].style, DWORD(WS_TABSTOP | 1));
    EXPECT_EQ(t.controls[1].exStyle, 0x20u);
    EXPECT_EQ(t.controls[2].x, 195);
    EXPECT_EQ(t.controls[2].height, 14);
    EXPECT_EQ(t.controls[2].style, DWORD(WS_VISIBLE));
    EXPECT_EQ(t.controls[2].exStyle, DWORD(WS_EX_TRANSPARENT));
}

TEST(MfcDialogTemplate, RefusesWhatIsNotATemplate)
{
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"", "an empty template"},
        {"# only a comment\n", "no DIALOG statement"},
        {"STYLE WS_POPUP\nDIALOG 0 0 1 1\n", "line 1: DIALOG must come first"},
        {"DIALOG 0 0 10\n", "line 1: DIALOG takes x, y, width and height"},
        {"DIALOG 0 0 10 -1\n", "line 1: a number out of range"},
        {"DIALOG 0 0 40000 1\n", "line 1: a number out of range"},
        {"DIALOG 0 0 1 1\nDIALOG 0 0 1 1\n", "line 2: a second DIALOG"},
        {"DIALOG 0 0 1 1\nSTYLE WS_NOSUCH\n", "line 2: an unknown flag"},
        {"DIALOG 0 0 1 1\nSTYLE\n", "line 2: flags are missing"},
        {"DIALOG 0 0 1 1\nCAPTION \"open\n", "line 2: a text without its closing quote"},
        {"DIALOG 0 0 1 1\nCAPTION Test\n", "line 2: CAPTION takes one quoted text"},
        {"DIALOG 0 0 1 1\nFONT 0 \"x\"\n", "line 2: a number out of range"},
        {"DIALOG 0 0 1 1\nFONT 8 \"\"\n",
         "line 2: FONT takes a size in points and a quoted face name"},
        {"DIALOG 0 0 1 1\nCONTROL \"a\" 70000 Static 0 0 1 1\n", "line 2: a number out of range"},
        {"DIALOG 0 0 1 1\nCONTROL \"a\" 1 Static 0 0 1\n",
         "line 2: CONTROL takes a quoted text, an id, a class and a place"},
        {"DIALOG 0 0 1 1\nCONTROL \"a\" 1 Static 0 0 1 1 EXSTYLE\n", "line 2: flags are missing"},
        {"DIALOG 0 0 1 1\nCONTROL \"a\" 1 Static 0 0 1 1 \"text\"\n",
         "line 2: a text where flags belong"},
        {"DIALOG 0 0 1 1\nMENU 5\n", "line 2: an unknown statement"},
        {"DIALOG 0x 0 1 1\n", "line 1: a number without digits"},
        {std::string("DIALOG 0 0 1 1\0\n", 16), "the template is not text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DialogTemplate t;
        std::string error;
        EXPECT_FALSE(Parse(c.text, &t, &error));
        EXPECT_EQ(error, c.error);
    }
    // More controls than any dialog has is refused rather than built.
    std::string many = "DIALOG 0 0 1 1\n";
    for (int i = 0; i < 1001; ++i)
        many += "CONTROL \"\" 1 Static 0 0 1 1\n";
    DialogTemplate t;
    std::string error;
    EXPECT_FALSE(Parse(many, &t, &error));
    EXPECT_EQ(error, "line 1002: too many controls");
}

}  // namespace
