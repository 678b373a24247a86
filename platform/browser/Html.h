// Reading a page's HTML: what the browser uses of it. Scripts (inline or from a file beside the
// page), forms with their <input> fields, canvases, the body's onload text and the title.
// Everything else (layout, styles, other elements' content) is skipped. Text stays UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::browser {

struct HtmlField {
    std::string name;
    std::string id;
    std::string type;
    std::string value;
};

struct HtmlForm {
    std::string name;
    std::string id;
    std::vector<HtmlField> fields;
};

struct HtmlCanvas {
    std::string id;
    int width = 300;
    int height = 150;
};

struct HtmlScript {
    std::string code;  // inline text, empty when src is given
    std::string src;   // the src attribute, as written
    int line = 1;      // the line of the page where the code starts
};

struct HtmlPage {
    std::vector<HtmlScript> scripts;
    std::vector<HtmlForm> forms;
    std::vector<HtmlCanvas> canvases;
    std::string title;
    bool hasBodyOnload = false;
    std::string bodyOnload;
    // How many scripts come before the <body> tag, whose onload replaces window.onload there.
    size_t scriptsBeforeBody = 0;
};

// Never fails: malformed markup is read as far as it makes sense, the rest is skipped.
HtmlPage ParseHtml(std::string_view text);

// Replaces character references (&amp; &lt; &gt; &quot; &apos; &nbsp; &#n; &#xh;) by UTF-8.
std::string DecodeEntities(std::string_view text);

}  // namespace platform::browser
