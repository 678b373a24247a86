// Reading the text form of dialog templates.
#include "DialogTemplate.h"

#include <cstring>
#include <cwctype>

#include "platform/kernel.h"
#include "platform/mfc.h"

namespace platform::mfc {

namespace {

// Templates are a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxBytes = 1 << 20;
constexpr size_t kMaxControls = 1000;
constexpr long long kMaxCoordinate = 32767;

struct Flag {
    const wchar_t* name;
    DWORD value;
};

const Flag kFlags[] = {
    {L"WS_OVERLAPPED", WS_OVERLAPPED},
    {L"WS_POPUP", DWORD(WS_POPUP)},
    {L"WS_CHILD", WS_CHILD},
    {L"WS_MINIMIZE", WS_MINIMIZE},
    {L"WS_VISIBLE", WS_VISIBLE},
    {L"WS_DISABLED", WS_DISABLED},
    {L"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
    {L"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
    {L"WS_MAXIMIZE", WS_MAXIMIZE},
    {L"WS_CAPTION", WS_CAPTION},
    {L"WS_BORDER", WS_BORDER},
    {L"WS_DLGFRAME", WS_DLGFRAME},
    {L"WS_VSCROLL", WS_VSCROLL},
    {L"WS_HSCROLL", WS_HSCROLL},
    {L"WS_SYSMENU", WS_SYSMENU},
    {L"WS_THICKFRAME", WS_THICKFRAME},
    {L"WS_GROUP", WS_GROUP},
    {L"WS_TABSTOP", WS_TABSTOP},
    {L"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
    {L"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {L"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
    {L"WS_EX_TOPMOST", WS_EX_TOPMOST},
    {L"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
    {L"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
    {L"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
    {L"WS_EX_LAYERED", WS_EX_LAYERED},
    {L"WS_EX_NOACTIVATE", WS_EX_NOACTIVATE},
    {L"SS_LEFT", SS_LEFT},
    {L"SS_CENTER", SS_CENTER},
    {L"SS_RIGHT", SS_RIGHT},
    {L"SS_SIMPLE", SS_SIMPLE},
    {L"SS_NOPREFIX", SS_NOPREFIX},
    {L"SS_NOTIFY", SS_NOTIFY},
    {L"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {L"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {L"BS_GROUPBOX", BS_GROUPBOX},
    {L"ES_LEFT", ES_LEFT},
    {L"ES_CENTER", ES_CENTER},
    {L"ES_RIGHT", ES_RIGHT},
    {L"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {L"ES_READONLY", ES_READONLY},
    {L"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
    {L"DS_SETFONT", 0x40},
    {L"DS_MODALFRAME", 0x80},
};

struct Token {
    bool quoted = false;
    std::wstring text;
};

class LineReader {
public:
    LineReader(int line, std::string* error) : m_line(line), m_error(error) {}

    bool Fail(const char* what)
    {
        if (m_error)
            *m_error = "line " + std::to_string(m_line) + ": " + what;
        return false;
    }

    bool Tokenize(const std::wstring& text, std::vector<Token>* tokens)
    {
        size_t i = 0;
        while (i < text.size()) {
            wchar_t c = text[i];
            if (c == L' ' || c == L'\t' || c == L'|') {
                ++i;
                continue;
            }
            Token token;
            if (c == L'"') {
                token.quoted = true;
                ++i;
                bool closed = false;
                while (i < text.size()) {
                    wchar_t d = text[i++];
                    if (d == L'"') {
                        closed = true;
                        break;
                    }
                    if (d == L'\\' && i < text.size()) {
                        wchar_t e = text[i];
                        if (e == L'"' || e == L'\\') {
                            token.text += e;
                            ++i;
                            continue;
                        }
                        if (e == L'n') {
                            token.text += L'\n';
                            ++i;
                            continue;
                        }
                    }
                    token.text += d;
                }
                if (!closed)
                    return Fail("a text without its closing quote");
            } else {
                while (i < text.size() && text[i] != L' ' && text[i] != L'\t' && text[i] != L'|' &&
                       text[i] != L'"')
                    token.text += text[i++];
            }
            tokens->push_back(std::move(token));
        }
        return true;
    }

    bool Number(const Token& token, long long low, long long high, int* value)
    {
        if (token.quoted || token.text.empty())
            return Fail("a number is missing");
        const std::wstring& t = token.text;
        size_t i = 0;
        bool negative = false;
        if (t[0] == L'-') {
            negative = true;
            i = 1;
        }
        int base = 10;
        if (t.size() >= i + 2 && t[i] == L'0' && (t[i + 1] == L'x' || t[i + 1] == L'X')) {
            base = 16;
            i += 2;
        }
        if (i >= t.size())
            return Fail("a number without digits");
        long long result = 0;
        for (; i < t.size(); ++i) {
            int digit;
            wchar_t c = t[i];
            if (c >= L'0' && c <= L'9')
                digit = c - L'0';
            else if (base == 16 && c >= L'a' && c <= L'f')
                digit = c - L'a' + 10;
            else if (base == 16 && c >= L'A' && c <= L'F')
                digit = c - L'A' + 10;
            else
                return Fail("not a number");
            result = result * base + digit;
            if (result > 0xFFFFFFFFll)
                return Fail("a number out of range");
        }
        if (negative)
            result = -result;
        if (result < low || result > high)
            return Fail("a number out of range");
        *value = int(result);
        return true;
    }

    // Flags from tokens[from] up to (not including) tokens[to].
    bool Flags(const std::vector<Token>& tokens, size_t from, size_t to, DWORD* flags)
    {
        if (from >= to)
            return Fail("flags are missing");
        DWORD result = 0;
        for (size_t i = from; i < to; ++i) {
            const Token& token = tokens[i];
            if (token.quoted)
                return Fail("a text where flags belong");
            bool named = false;
            for (const Flag& flag : kFlags) {
                if (token.text == flag.name) {
                    result |= flag.value;
                    named = true;
                    break;
                }
            }
            if (named)
                continue;
            int value = 0;
            if (!Number(token, 0, 0xFFFFFFFFll, &value))
                return Fail("an unknown flag");
            result |= DWORD(value);
        }
        *flags = result;
        return true;
    }

    bool Rect(const std::vector<Token>& tokens, size_t at, int* x, int* y, int* width, int* height)
    {
        if (tokens.size() < at + 4)
            return Fail("a place needs x, y, width and height");
        return Number(tokens[at], -kMaxCoordinate - 1, kMaxCoordinate, x) &&
               Number(tokens[at + 1], -kMaxCoordinate - 1, kMaxCoordinate, y) &&
               Number(tokens[at + 2], 0, kMaxCoordinate, width) &&
               Number(tokens[at + 3], 0, kMaxCoordinate, height);
    }

private:
    int m_line;
    std::string* m_error;
};

bool Fail(std::string* error, const char* what)
{
    if (error)
        *error = what;
    return false;
}

}  // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error)
{
    if (!data || !out)
        return Fail(error, "no template");
    if (size == 0)
        return Fail(error, "an empty template");
    if (size > kMaxBytes)
        return Fail(error, "a template too large to be one");
    const char* bytes = static_cast<const char*>(data);
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        bytes += 3;
        size -= 3;
    }
    std::wstring text;
    if (size > 0) {
        int length = MultiByteToWideChar(CP_UTF8, 0, bytes, int(size), nullptr, 0);
        if (length <= 0)
            return Fail(error, "the template is not text");
        text.resize(size_t(length));
        MultiByteToWideChar(CP_UTF8, 0, bytes, int(size), text.data(), length);
    }

    *out = DialogTemplate();
    bool haveDialog = false;
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (line.find(L'\0') != std::wstring::npos)
            return Fail(error, "the template is not text");

        LineReader reader(lineNumber, error);
        std::vector<Token> tokens;
        size_t first = line.find_first_not_of(L" \t");
        if (first == std::wstring::npos || line[first] == L'#')
            continue;
        if (!reader.Tokenize(line, &tokens))
            return false;
        if (tokens.empty())
            continue;
        const std::wstring& keyword = tokens[0].text;
        if (tokens[0].quoted)
            return reader.Fail("a statement starts with a keyword");

        if (keyword == L"DIALOG") {
            if (haveDialog)
                return reader.Fail("a second DIALOG");
            if (tokens.size() != 5)
                return reader.Fail("DIALOG takes x, y, width and height");
            if (!reader.Rect(tokens, 1, &out->x, &out->y, &out->width, &out->height))
                return false;
            haveDialog = true;
            continue;
        }
        if (!haveDialog)
            return reader.Fail("DIALOG must come first");
        if (keyword == L"STYLE") {
            if (!reader.Flags(tokens, 1, tokens.size(), &out->style))
                return false;
        } else if (keyword == L"EXSTYLE") {
            if (!reader.Flags(tokens, 1, tokens.size(), &out->exStyle))
                return false;
        } else if (keyword == L"CAPTION") {
            if (tokens.size() != 2 || !tokens[1].quoted)
                return reader.Fail("CAPTION takes one quoted text");
            out->caption = tokens[1].text;
        } else if (keyword == L"FONT") {
            if (tokens.size() != 3 || !tokens[2].quoted || tokens[2].text.empty())
                return reader.Fail("FONT takes a size in points and a quoted face name");
            if (!reader.Number(tokens[1], 1, 200, &out->pointSize))
                return false;
            out->face = tokens[2].text;
            out->hasFont = true;
        } else if (keyword == L"CONTROL") {
            if (out->controls.size() >= kMaxControls)
                return reader.Fail("too many controls");
            if (tokens.size() < 8 || !tokens[1].quoted)
                return reader.Fail("CONTROL takes a quoted text, an id, a class and a place");
            DialogControl control;
            control.text = tokens[1].text;
            if (!reader.Number(tokens[2], -1, 65535, &control.id))
                return false;
            if (control.id < 0)
                control.id = 65535;
            if (tokens[3].text.empty())
                return reader.Fail("a control without a class");
            control.className = tokens[3].text;
            if (!reader.Rect(tokens, 4, &control.x, &control.y, &control.width, &control.height))
                return false;
            size_t exAt = tokens.size();
            for (size_t i = 8; i < tokens.size(); ++i)
                if (!tokens[i].quoted && tokens[i].text == L"EXSTYLE") {
                    exAt = i;
                    break;
                }
            if (exAt > 8 && !reader.Flags(tokens, 8, exAt, &control.style))
                return false;
            if (exAt < tokens.size() &&
                !reader.Flags(tokens, exAt + 1, tokens.size(), &control.exStyle))
                return false;
            out->controls.push_back(std::move(control));
        } else {
            return reader.Fail("an unknown statement");
        }
    }
    if (!haveDialog)
        return Fail(error, "no DIALOG statement");
    return true;
}

}  // namespace platform::mfc
