// Memory cards for the application's tests: temporary folders added as removable drives, and
// copies of the cards that mkcard wrote into the fixtures.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace cardtest {

namespace fs = std::filesystem;

inline fs::path TempFolder(const char* tag)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
    fs::create_directories(base);
    std::string pattern = (base / (std::string(tag) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "mkdtemp failed under " << base;
    return fs::canonical(pattern);
}

inline fs::path Fixtures()
{
    const char* dir = std::getenv("KV_FIXTURES");
    return dir ? fs::path(dir) : fs::path();
}

inline void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder that is a removable drive while the object lives. The folder is removed with it
// unless it was handed in.
class Drive {
public:
    explicit Drive(const char* tag) : m_folder(TempFolder(tag)), m_owned(true) { Insert(); }
    ~Drive()
    {
        Eject();
        if (m_owned)
            fs::remove_all(m_folder);
    }
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    void Insert()
    {
        if (m_root.empty())
            m_root = platform::testing::AddRemovableDrive(m_folder.string());
    }
    void Eject()
    {
        if (!m_root.empty())
            platform::testing::RemoveRemovableDrive(m_root);
        m_root.clear();
    }
    // Copies a fixture card (a folder under the fixtures) into the drive.
    void CopyCard(const std::string& fixture)
    {
        fs::copy(Fixtures() / fixture, m_folder,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }

    const fs::path& Folder() const { return m_folder; }
    const std::wstring& Root() const { return m_root; }  // "E:\"

private:
    fs::path m_folder;
    bool m_owned;
    std::wstring m_root;
};

// A 764-byte device record with the given model at offset 8 and Local ID at 460.
inline std::string DeviceRecord(const std::string& model, int32_t localId = 0)
{
    std::string record(764, '\0');
    record.replace(8, model.size(), model);
    record.replace(40, 8, "1.05.002");
    record[224] = 7;
    record[225] = 3;
    record[226] = 1;
    record[227] = 2;
    record.replace(228, 19, "SETTING/KvSetup.exe");
    record.replace(356, 6, "MC1.20");
    for (int i = 0; i < 4; ++i)
        record[size_t(460 + i)] = char((uint32_t(localId) >> (8 * i)) & 0xFF);
    return record;
}

}  // namespace cardtest
