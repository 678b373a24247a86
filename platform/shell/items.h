// Item lists as the layer makes them: one item holding a Windows path in wide characters with
// its zero, or no item at all for the desktop.
#pragma once

#include <string>

#include "platform/shell.h"

namespace platform::shell {

// A new list (CoTaskMemAlloc) for a path; an empty path gives the desktop's empty list. Null
// when memory runs out.
PIDLIST_ABSOLUTE MakeItemList(const std::wstring& path);

// The path a list names; empty for the desktop, a null list or one the layer did not make.
std::wstring ItemListPath(PCIDLIST_ABSOLUTE list);

}  // namespace platform::shell
