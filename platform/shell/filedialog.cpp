// The open and save file dialogs: zenity's, or the answers tests script.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "programs.h"
#include "platform/shell.h"
#include "platform/testing.h"
#include "platform/user.h"

extern char** environ;

namespace platform::shell {
namespace {

using platform::testing::FileDialogAnswer;
using platform::testing::ShownFileDialog;

thread_local DWORD t_lastError = 0;

struct Script {
    std::mutex lock;
    bool scripted = false;                  // guarded by lock
    std::deque<FileDialogAnswer> answers;   // guarded by lock
    std::vector<ShownFileDialog> shown;     // guarded by lock
};

Script& Scripted()
{
    static Script* script = new Script;  // lives until the process ends
    return *script;
}

std::vector<std::pair<std::wstring, std::wstring>> Filters(LPCWSTR filter)
{
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    if (!filter)
        return pairs;
    while (*filter) {
        std::wstring description = filter;
        filter += description.size() + 1;
        if (!*filter)
            break;
        std::wstring patterns = filter;
        filter += patterns.size() + 1;
        pairs.emplace_back(description, patterns);
    }
    return pairs;
}

std::wstring Field(LPCWSTR text)
{
    return text ? std::wstring(text) : std::wstring();
}

// A zenity pattern list for Windows patterns ("*.avi;*.mp4"): GTK matches letter case, so each
// pattern also goes in upper case.
std::string ZenityPatterns(const std::wstring& patterns)
{
    std::string out;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(L';', start);
        if (end == std::wstring::npos)
            end = patterns.size();
        std::wstring pattern = patterns.substr(start, end - start);
        if (!pattern.empty()) {
            std::wstring upper = pattern;
            for (WCHAR& c : upper)
                c = static_cast<WCHAR>(std::towupper(c));
            out += " " + WideToAnsi(pattern);
            if (upper != pattern)
                out += " " + WideToAnsi(upper);
        }
        start = end + 1;
    }
    return out;
}

// Runs zenity for the dialog, keeping the calling thread's windows served. Returns the
// chosen files (Windows paths), an empty list for a cancel, or nullopt when zenity cannot run.
std::optional<std::vector<std::wstring>> RunZenity(const ShownFileDialog& dialog,
                                                   bool multiple)
{
    std::string zenity = FindOnPath("zenity");
    if (zenity.empty())
        return std::nullopt;
    std::vector<std::string> args = {zenity, "--file-selection"};
    if (dialog.save)
        args.push_back("--save");
    if (multiple)
        args.push_back("--multiple");
    args.push_back("--separator=\n");
    if (!dialog.title.empty())
        args.push_back("--title=" + WideToAnsi(dialog.title));
    std::string folder = dialog.initialFolder.empty() ? std::string()
                                                      : ToNativePath(dialog.initialFolder);
    bool pattern = dialog.fileName.find_first_of(L"*?") != std::wstring::npos;
    std::string start = folder.empty() ? std::string(".") : folder;
    if (!dialog.fileName.empty() && !pattern) {
        std::string named = ToNativePath(dialog.fileName);
        start = dialog.fileName.find_first_of(L"\\/:") != std::wstring::npos
                    ? named
                    : start + "/" + WideToAnsi(dialog.fileName);
    } else {
        start += "/";
    }
    args.push_back("--filename=" + start);
    size_t count = dialog.filters.size();
    size_t first = dialog.filterIndex >= 1 && dialog.filterIndex <= count ? dialog.filterIndex - 1
                                                                           : 0;
    for (size_t i = 0; i < count; ++i) {
        const auto& [description, patterns] = dialog.filters[(first + i) % count];
        args.push_back("--file-filter=" + WideToAnsi(description) + " |" +
                       ZenityPatterns(patterns));
    }

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int error = posix_spawn(&pid, zenity.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (error != 0) {
        close(out[0]);
        return std::nullopt;
    }

    // Modal: the owner is disabled and the thread's messages are handled until zenity ends.
    HWND owner = dialog.owner ? GetAncestor(dialog.owner, GA_ROOT) : nullptr;
    bool disabled = owner && IsWindowEnabled(owner);
    if (disabled)
        EnableWindow(owner, FALSE);
    std::string text;
    for (;;) {
        pollfd wait = {out[0], POLLIN, 0};
        int ready = poll(&wait, 1, 20);
        if (ready > 0) {
            char chunk[4096];
            ssize_t got = read(out[0], chunk, sizeof chunk);
            if (got > 0) {
                text.append(chunk, size_t(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            break;  // zenity closed its output: it is ending
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));  // for the loop outside, after the dialog
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (disabled)
        EnableWindow(owner, TRUE);

    std::vector<std::wstring> files;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return files;  // cancelled
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        if (end > begin)
            files.push_back(ToWindowsPath(text.substr(begin, end - begin)));
        begin = end + 1;
    }
    return files;
}

// The next answer: scripted, or from zenity; nullopt when no dialog can be shown.
std::optional<FileDialogAnswer> Ask(ShownFileDialog& dialog, bool multiple)
{
    Script& script = Scripted();
    {
        std::lock_guard<std::mutex> guard(script.lock);
        if (script.scripted) {
            FileDialogAnswer answer;
            if (!script.answers.empty()) {
                answer = std::move(script.answers.front());
                script.answers.pop_front();
            }
            if (!answer.ok)
                answer.files.clear();
            dialog.answer = answer;
            script.shown.push_back(dialog);
            return answer;
        }
    }
    std::optional<std::vector<std::wstring>> files = RunZenity(dialog, multiple);
    if (!files)
        return std::nullopt;
    FileDialogAnswer answer;
    answer.ok = !files->empty();
    answer.files = std::move(*files);
    return answer;
}

std::wstring NameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return std::wstring();
    return path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);  // "E:\" keeps its slash
}

// Writes the result into the caller's buffer; false (FNERR_BUFFERTOOSMALL) when it does not fit.
bool WriteResult(LPOPENFILENAMEW ofn, const std::vector<std::wstring>& files)
{
    std::wstring result;
    size_t nameStart = 0;
    if (files.size() == 1) {
        result = files[0];
        size_t slash = result.find_last_of(L"\\/");
        nameStart = slash == std::wstring::npos ? 0 : slash + 1;
        result.push_back(L'\0');
    } else {
        // The folder that holds them all, then each name below it.
        std::wstring folder = FolderOf(files[0]);
        for (const std::wstring& file : files) {
            while (!folder.empty() &&
                   !(file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 &&
                     (folder.back() == L'\\' || file[folder.size()] == L'\\'))) {
                std::wstring parent = FolderOf(folder);
                folder = parent == folder ? std::wstring() : parent;
            }
        }
        result = folder;
        result.push_back(L'\0');
        nameStart = result.size();
        for (const std::wstring& file : files) {
            size_t skip = folder.size() + (folder.empty() || folder.back() == L'\\' ? 0 : 1);
            result += file.substr(skip);
            result.push_back(L'\0');
        }
        result.push_back(L'\0');
    }
    if (!ofn->lpstrFile || result.size() > ofn->nMaxFile) {
        if (ofn->lpstrFile && ofn->nMaxFile > 0)
            ofn->lpstrFile[0] = static_cast<WCHAR>(std::min<size_t>(result.size(), 0xFFFF));
        t_lastError = FNERR_BUFFERTOOSMALL;
        return false;
    }
    std::wmemcpy(ofn->lpstrFile, result.data(), result.size());
    ofn->nFileOffset = static_cast<WORD>(std::min<size_t>(nameStart, 0xFFFF));
    std::wstring first = files.size() == 1 ? NameOf(files[0]) : std::wstring(result.c_str() + nameStart);
    size_t dot = first.rfind(L'.');
    size_t extension = dot == std::wstring::npos ? first.size() : dot + 1;
    ofn->nFileExtension = files.size() == 1 ? static_cast<WORD>(nameStart + extension) : 0;
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        size_t n = std::min<size_t>(first.size(), ofn->nMaxFileTitle - 1);
        std::wmemcpy(ofn->lpstrFileTitle, first.data(), n);
        ofn->lpstrFileTitle[n] = L'\0';
    }
    return true;
}

BOOL RunDialog(LPOPENFILENAMEW ofn, bool save)
{
    t_lastError = 0;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAMEW)) {
        t_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    ShownFileDialog dialog;
    dialog.save = save;
    dialog.owner = ofn->hwndOwner;
    dialog.title = Field(ofn->lpstrTitle);
    if (dialog.title.empty())
        dialog.title = save ? L"Save As" : L"Open";
    dialog.filters = Filters(ofn->lpstrFilter);
    dialog.filterIndex = ofn->nFilterIndex;
    if (ofn->lpstrFile && ofn->nMaxFile > 0)
        dialog.fileName.assign(ofn->lpstrFile, wcsnlen(ofn->lpstrFile, ofn->nMaxFile));
    dialog.defaultExtension = Field(ofn->lpstrDefExt);
    dialog.initialFolder = Field(ofn->lpstrInitialDir);
    dialog.flags = ofn->Flags;
    bool multiple = !save && (ofn->Flags & OFN_ALLOWMULTISELECT);

    for (;;) {
        std::optional<FileDialogAnswer> answer = Ask(dialog, multiple);
        if (!answer) {
            MessageBoxW(ofn->hwndOwner,
                        L"No file dialog can be shown: the program zenity is not installed.",
                        dialog.title.c_str(), MB_OK | MB_ICONERROR);
            t_lastError = CDERR_INITIALIZATION;
            return FALSE;
        }
        if (!answer->ok || answer->files.empty())
            return FALSE;  // cancelled
        std::vector<std::wstring> files = answer->files;
        if (!multiple)
            files.resize(1);
        if (save) {
            std::wstring& file = files[0];
            if (!dialog.defaultExtension.empty() && NameOf(file).find(L'.') == std::wstring::npos)
                file += L"." + dialog.defaultExtension;
            if ((ofn->Flags & OFN_OVERWRITEPROMPT) && GetFileAttributesW(file.c_str()) !=
                                                          INVALID_FILE_ATTRIBUTES) {
                std::wstring question =
                    NameOf(file) + L" already exists.\nDo you want to replace it?";
                if (MessageBoxW(ofn->hwndOwner, question.c_str(), dialog.title.c_str(),
                                MB_YESNO | MB_ICONWARNING) != IDYES) {
                    continue;  // the dialog again
                }
            }
        }
        return WriteResult(ofn, files) ? TRUE : FALSE;
    }
}

}  // namespace
}  // namespace platform::shell

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn)
{
    return platform::shell::RunDialog(ofn, false);
}

BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn)
{
    return platform::shell::RunDialog(ofn, true);
}

DWORD CommDlgExtendedError()
{
    return platform::shell::t_lastError;
}

namespace platform::testing {

void AnswerFileDialogs(std::vector<FileDialogAnswer> answers)
{
    platform::shell::Script& script = platform::shell::Scripted();
    std::lock_guard<std::mutex> guard(script.lock);
    script.scripted = true;
    script.answers.assign(answers.begin(), answers.end());
}

std::vector<ShownFileDialog> ShownFileDialogs()
{
    platform::shell::Script& script = platform::shell::Scripted();
    std::lock_guard<std::mutex> guard(script.lock);
    return script.shown;
}

void ClearShownFileDialogs()
{
    platform::shell::Script& script = platform::shell::Scripted();
    std::lock_guard<std::mutex> guard(script.lock);
    script.shown.clear();
}

}  // namespace platform::testing
