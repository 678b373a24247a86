// The text form of dialog templates (described with CDialog in mfc.h), read into a structure.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base.h"

namespace platform::mfc {

struct DialogControl {
    std::wstring text;
    int id = 0;  // 0 to 65535; -1 in the text stands for 65535
    std::wstring className;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct DialogTemplate {
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring caption;
    bool hasFont = false;
    int pointSize = 0;
    std::wstring face;
    std::vector<DialogControl> controls;
};

// Reads a template. False for anything that is not one, with *error (when given) naming the
// line and what is wrong with it; *out is then unspecified.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error);

}  // namespace platform::mfc
