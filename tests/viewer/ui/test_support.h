// Helpers shared by the UI foundation's tests: a temporary folder, raw file bytes, UTF-16LE
// text with its byte-order mark, and a file-size limit that makes writes fail.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace testsupport {

// A fresh folder under the build tree, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder()
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string pattern = std::string(build ? build : "/tmp") + "/viewer_ui_test.XXXXXX";
        if (mkdtemp(pattern.data()))
            m_native = pattern;
        EXPECT_FALSE(m_native.empty()) << "cannot create a temporary folder";
    }
    ~TempFolder()
    {
        if (!m_native.empty()) {
            chmod(m_native.c_str(), 0755);
            std::system(("rm -rf '" + m_native + "'").c_str());
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Native() const { return m_native; }
    std::string Native(const std::string& name) const { return m_native + "/" + name; }
    // The folder, or a file in it, in the Windows form the code under test takes.
    std::wstring Windows() const { return platform::ToWindowsPath(m_native); }
    std::wstring Windows(const std::string& name) const
    {
        return platform::ToWindowsPath(Native(name));
    }
    // The names in the folder, "." and ".." left out.
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        if (DIR* dir = opendir(m_native.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.insert(name);
            }
            closedir(dir);
        }
        return names;
    }

private:
    std::string m_native;
};

inline void WriteBytes(const std::string& nativePath, const std::string& bytes)
{
    std::ofstream(nativePath, std::ios::binary) << bytes;
}

// The file's bytes; "<none>" when it cannot be opened.
inline std::string ReadBytes(const std::string& nativePath)
{
    std::ifstream in(nativePath, std::ios::binary);
    if (!in)
        return "<none>";
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Text as an ini file written by the system: FF FE, then UTF-16LE.
inline std::string Utf16File(const std::wstring& text)
{
    return "\xFF\xFE" + platform::WideToUtf16Le(text);
}

// While it lives, no file of this process may grow beyond the limit: writes past it fail (with
// EFBIG; the signal that would end the process is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved;
    void (*m_savedHandler)(int);
};

}  // namespace testsupport
