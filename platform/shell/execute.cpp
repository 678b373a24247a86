// ShellExecuteW: an executable file runs, any other file or a web address goes to xdg-open.
#include <errno.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "programs.h"
#include "platform/shell.h"

extern char** environ;

namespace platform::shell {
namespace {

HINSTANCE Code(INT_PTR code)
{
    return reinterpret_cast<HINSTANCE>(code);
}

// Parameters split at blanks; double quotes group blanks into one argument and are removed.
std::vector<std::string> SplitParameters(const std::wstring& text)
{
    std::vector<std::string> arguments;
    std::wstring current;
    bool inQuotes = false, any = false;
    for (WCHAR c : text) {
        if (c == L'"') {
            inQuotes = !inQuotes;
            any = true;
        } else if ((c == L' ' || c == L'\t') && !inQuotes) {
            if (any)
                arguments.push_back(WideToAnsi(current));
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any)
        arguments.push_back(WideToAnsi(current));
    return arguments;
}

// An address such as "https://host/page" or "mailto:someone": a scheme of two or more letters,
// digits, '+', '-' or '.', starting with a letter, then ':'. A drive letter ("E:") is one
// character, so no path is taken for an address.
bool IsAddress(const WCHAR* text)
{
    auto letter = [](WCHAR c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); };
    if (!letter(text[0]))
        return false;
    size_t i = 1;
    while (letter(text[i]) || (text[i] >= L'0' && text[i] <= L'9') || text[i] == L'+' ||
           text[i] == L'-' || text[i] == L'.')
        ++i;
    return i >= 2 && text[i] == L':';
}

std::string Folder(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Starts the program in `folder` without waiting for it; a thread of the layer collects it
// when it ends. Returns 0 or the errno of the failed start.
int Start(const std::string& program, const std::vector<std::string>& arguments,
          const std::string& folder)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return error;
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

}  // namespace

std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string candidate = list.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

}  // namespace platform::shell

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT)
{
    using namespace platform::shell;
    if (verb && *verb && std::wcscmp(verb, L"open") != 0)
        return Code(SE_ERR_NOASSOC);
    if (!file || !*file)
        return Code(SE_ERR_FNF);
    if (IsAddress(file)) {
        // The desktop's opener takes the address as it stands (the user's web browser for a
        // web page); it runs in the given folder, else in the current one.
        std::string folder = ".";
        if (directory && *directory) {
            folder = platform::ToNativePath(directory);
            struct stat dir;
            if (folder.empty() || stat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode))
                return Code(SE_ERR_PNF);
        }
        std::string opener = FindOnPath("xdg-open");
        if (opener.empty() || Start(opener, {platform::WideToAnsi(file)}, folder) != 0)
            return Code(SE_ERR_NOASSOC);
        return Code(42);
    }
    std::string native = platform::ToNativePath(file);
    struct stat st;
    if (native.empty() || stat(native.c_str(), &st) != 0) {
        int error = errno;
        if (error == EACCES)
            return Code(SE_ERR_ACCESSDENIED);
        struct stat parent;
        bool folderExists = !native.empty() && stat(Folder(native).c_str(), &parent) == 0 &&
                            S_ISDIR(parent.st_mode);
        return Code(folderExists ? SE_ERR_FNF : SE_ERR_PNF);
    }
    std::string folder = Folder(native);
    if (directory && *directory) {
        folder = platform::ToNativePath(directory);
        struct stat dir;
        if (folder.empty() || stat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode))
            return Code(SE_ERR_PNF);
    }
    std::vector<std::string> arguments = SplitParameters(parameters ? parameters : L"");

    int error = ENOEXEC;
    if (S_ISREG(st.st_mode) && access(native.c_str(), X_OK) == 0)
        error = Start(native, arguments, folder);
    if (error == ENOEXEC || error == EACCES) {
        // Not a program this system runs: the desktop's opener decides.
        std::string opener = FindOnPath("xdg-open");
        if (opener.empty())
            return Code(SE_ERR_NOASSOC);
        error = Start(opener, {native}, folder);
        if (error != 0)
            return Code(SE_ERR_NOASSOC);
    }
    if (error == ENOMEM)
        return Code(SE_ERR_OOM);
    if (error != 0)
        return Code(SE_ERR_ACCESSDENIED);
    return Code(42);
}
