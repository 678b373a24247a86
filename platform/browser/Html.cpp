// A forgiving reader of the few parts of HTML the browser uses.
#include "Html.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace platform::browser {

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

void AppendUtf8(std::string* out, unsigned long code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        *out += char(code);
    } else if (code < 0x800) {
        *out += char(0xC0 | (code >> 6));
        *out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += char(0xE0 | (code >> 12));
        *out += char(0x80 | ((code >> 6) & 0x3F));
        *out += char(0x80 | (code & 0x3F));
    } else {
        *out += char(0xF0 | (code >> 18));
        *out += char(0x80 | ((code >> 12) & 0x3F));
        *out += char(0x80 | ((code >> 6) & 0x3F));
        *out += char(0x80 | (code & 0x3F));
    }
}

struct Tag {
    std::string name;  // lower case; starts with '/' for an end tag
    std::map<std::string, std::string> attributes;
};

// Reads the tag that starts at text[pos] == '<'; pos moves past its '>' (or to the end).
Tag ReadTag(std::string_view text, size_t* pos)
{
    Tag tag;
    size_t i = *pos + 1;
    size_t start = i;
    if (i < text.size() && text[i] == '/')
        ++i;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '-'))
        ++i;
    tag.name = Lower(text.substr(start, i - start));
    while (i < text.size() && text[i] != '>') {
        if (IsSpace(text[i]) || text[i] == '/') {
            ++i;
            continue;
        }
        size_t nameStart = i;
        while (i < text.size() && !IsSpace(text[i]) && text[i] != '=' && text[i] != '>' &&
               text[i] != '/')
            ++i;
        std::string name = Lower(text.substr(nameStart, i - nameStart));
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        std::string value;
        if (i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && IsSpace(text[i]))
                ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                char quote = text[i++];
                size_t end = text.find(quote, i);
                if (end == std::string_view::npos)
                    end = text.size();
                value = DecodeEntities(text.substr(i, end - i));
                i = std::min(end + 1, text.size());
            } else {
                size_t valueStart = i;
                while (i < text.size() && !IsSpace(text[i]) && text[i] != '>')
                    ++i;
                value = DecodeEntities(text.substr(valueStart, i - valueStart));
            }
        }
        if (name.empty()) {
            ++i;
            continue;
        }
        tag.attributes.emplace(name, value);
    }
    *pos = std::min(i + 1, text.size());
    return tag;
}

std::string Attribute(const Tag& tag, const char* name)
{
    auto found = tag.attributes.find(name);
    return found == tag.attributes.end() ? std::string() : found->second;
}

int Dimension(const Tag& tag, const char* name, int fallback)
{
    std::string text = Attribute(tag, name);
    if (text.empty())
        return fallback;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value < 0)
        return fallback;
    return int(std::min(value, 8192L));
}

}  // namespace

std::string DecodeEntities(std::string_view text)
{
    static const std::pair<const char*, unsigned long> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 10) {
            out += text[i++];
            continue;
        }
        std::string_view name = text.substr(i + 1, semicolon - i - 1);
        bool done = false;
        if (name.size() > 1 && name[0] == '#') {
            bool hex = name[1] == 'x' || name[1] == 'X';
            std::string digits(name.substr(hex ? 2 : 1));
            char* end = nullptr;
            unsigned long code =
                digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && end && *end == 0 &&
                std::all_of(digits.begin(), digits.end(), [&](char c) {
                    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                               : std::isdigit(static_cast<unsigned char>(c)) != 0;
                })) {
                AppendUtf8(&out, code);
                done = true;
            }
        } else {
            for (auto& [entity, code] : named)
                if (name == entity) {
                    AppendUtf8(&out, code);
                    done = true;
                }
        }
        if (done)
            i = semicolon + 1;
        else
            out += text[i++];
    }
    return out;
}

HtmlPage ParseHtml(std::string_view text)
{
    HtmlPage page;
    HtmlForm* form = nullptr;
    const std::string lowerText = Lower(text);
    size_t pos = 0;
    size_t linePos = 0;  // lines counted up to here
    int line = 1;
    while (pos < text.size()) {
        size_t open = text.find('<', pos);
        if (open == std::string_view::npos)
            break;
        if (text.compare(open, 4, "<!--") == 0) {
            size_t end = text.find("-->", open + 4);
            pos = end == std::string_view::npos ? text.size() : end + 3;
            continue;
        }
        if (open + 1 < text.size() && (text[open + 1] == '!' || text[open + 1] == '?')) {
            size_t end = text.find('>', open);
            pos = end == std::string_view::npos ? text.size() : end + 1;
            continue;
        }
        pos = open;
        Tag tag = ReadTag(text, &pos);
        if (tag.name == "script" || tag.name == "style" || tag.name == "title" ||
            tag.name == "textarea") {
            size_t end = lowerText.find("</" + tag.name, pos);
            std::string_view body =
                text.substr(pos, (end == std::string_view::npos ? text.size() : end) - pos);
            if (tag.name == "script") {
                std::string type = Lower(Attribute(tag, "type"));
                bool runnable = type.empty() || type == "text/javascript" ||
                                type == "application/javascript" || type == "text/jscript";
                if (runnable) {
                    HtmlScript script;
                    script.src = Attribute(tag, "src");
                    if (script.src.empty())
                        script.code = std::string(body);
                    line += int(std::count(text.begin() + linePos, text.begin() + pos, '\n'));
                    linePos = pos;
                    script.line = line;
                    page.scripts.push_back(std::move(script));
                }
            } else if (tag.name == "title") {
                page.title = DecodeEntities(body);
            }
            if (end == std::string_view::npos)
                break;
            pos = end;
            size_t close = text.find('>', pos);
            pos = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        if (tag.name == "body") {
            auto onload = tag.attributes.find("onload");
            if (onload != tag.attributes.end() && !page.hasBodyOnload) {
                page.hasBodyOnload = true;
                page.bodyOnload = onload->second;
                page.scriptsBeforeBody = page.scripts.size();
            }
        } else if (tag.name == "form") {
            page.forms.push_back({Attribute(tag, "name"), Attribute(tag, "id"), {}});
            form = &page.forms.back();
        } else if (tag.name == "/form") {
            form = nullptr;
        } else if (tag.name == "input" && form) {
            std::string type = Lower(Attribute(tag, "type"));
            form->fields.push_back({Attribute(tag, "name"), Attribute(tag, "id"),
                                    type.empty() ? "text" : type, Attribute(tag, "value")});
        } else if (tag.name == "canvas") {
            page.canvases.push_back({Attribute(tag, "id"), Dimension(tag, "width", 300),
                                     Dimension(tag, "height", 150)});
        }
    }
    return page;
}

}  // namespace platform::browser
