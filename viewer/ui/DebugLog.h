// The debug log: the one sink of every trace line of the viewer. The lines are built and
// then discarded; no log file is written and nothing is shown.
#pragma once

#include <string>

// The log folder: the program's folder with a trailing backslash, set by the main dialog on
// the user-interface thread; empty until then.
extern std::wstring g_strLogFolder;
// The log file's name, built once from the still empty folder, so "Tessaly.log"; nothing
// opens it.
extern std::wstring g_strLogPath;

// Both return 1 and do nothing else.
int LogOpen();
int LogClose();
// Takes one trace line (any thread); returns 1.
int LogWrite(std::wstring line);

// printf-style formatting into a wide string ("%ls" for wide strings), for trace lines and
// the texts shown beside them. A result beyond 64 K characters is cut there.
std::wstring FormatText(const wchar_t* format, ...);
