// Many scattered ranges of one file read at once: every range gives exactly the bytes a plain
// read of it gives, however the reads were made (handed to the kernel together or one by one).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "filtercore/RangeReader.h"

using FilterCore::ByteRange;
using FilterCore::RangeBytes;
using FilterCore::RangeReader;

namespace {

namespace fs = std::filesystem;

// A file of known bytes under the temporary directory, open for reading, removed at the end.
// Its length is no multiple of a page, so that ranges can end inside the last page.
class PatternFile {
public:
    static constexpr size_t kSize = 3 * 1024 * 1024 + 1234;

    PatternFile()
    {
        std::string pattern = (fs::temp_directory_path() / "filtercore-ranges-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            return;
        m_path = pattern;
        m_bytes.resize(kSize);
        uint32_t state = 12345;
        for (char& byte : m_bytes) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<char>(state >> 24);
        }
        const bool written =
            write(fd, m_bytes.data(), m_bytes.size()) == static_cast<ssize_t>(m_bytes.size());
        close(fd);
        if (written)
            m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    ~PatternFile()
    {
        if (m_fd >= 0)
            close(m_fd);
        if (!m_path.empty())
            unlink(m_path.c_str());
    }

    int Fd() const { return m_fd; }

    // What a plain read of a range gives: the bytes up to the end of the file.
    std::string Expected(const ByteRange& range) const
    {
        if (static_cast<size_t>(range.offset) >= m_bytes.size())
            return std::string();
        return m_bytes.substr(static_cast<size_t>(range.offset), range.size);
    }

private:
    std::string m_path;
    std::string m_bytes;
    int m_fd = -1;
};

constexpr RangeReader::Mode kModes[] = {RangeReader::Mode::Together, RangeReader::Mode::OneByOne};

const char* Name(RangeReader::Mode mode)
{
    return mode == RangeReader::Mode::Together ? "together" : "one by one";
}

}  // namespace

TEST(RangeReader, EveryRangeGivesWhatAPlainReadGives)
{
    PatternFile file;
    ASSERT_GE(file.Fd(), 0);
    const int64_t size = PatternFile::kSize;
    struct Case {
        const char* what;
        ByteRange range;
        bool ok;
    };
    const Case cases[] = {
        {"at the start", {0, 26}, true},
        {"across a page boundary", {4096 - 10, 40}, true},
        {"a whole page", {8192, 4096}, true},
        {"empty", {5000, 0}, true},
        {"the same bytes again", {0, 26}, true},
        {"overlapping the one before", {10, 26}, true},
        {"neighbouring the one before", {36, 26}, true},
        {"larger than a page, unaligned", {123457, 20000}, true},
        {"the last byte", {size - 1, 1}, true},
        {"cut by the end of the file", {size - 7, 4096}, true},
        {"at the end of the file", {size, 26}, true},
        {"wholly past the end", {size + 100000, 26}, true},
        {"a negative offset", {-1, 26}, false},
    };
    std::vector<ByteRange> ranges;
    for (const Case& c : cases)
        ranges.push_back(c.range);
    for (RangeReader::Mode mode : kModes) {
        SCOPED_TRACE(Name(mode));
        RangeReader reader(file.Fd(), mode);
        std::vector<RangeBytes> results = {RangeBytes{"stale", true}};
        reader.Read(ranges.data(), ranges.size(), &results);
        ASSERT_EQ(results.size(), ranges.size());
        for (size_t i = 0; i < ranges.size(); ++i) {
            SCOPED_TRACE(cases[i].what);
            EXPECT_EQ(results[i].ok, cases[i].ok);
            EXPECT_EQ(results[i].bytes, cases[i].ok ? file.Expected(ranges[i]) : std::string());
        }
    }
}

// More ranges than one submission takes, scattered over the file out of order, read twice by
// one reader and once on another thread (each thread reads through a ring of its own).
TEST(RangeReader, ManyScatteredRangesOnAnyThread)
{
    PatternFile file;
    ASSERT_GE(file.Fd(), 0);
    std::vector<ByteRange> ranges;
    const size_t count = 2 * RangeReader::kMaxInFlight + 89;
    for (size_t i = 0; i < count; ++i) {
        const int64_t offset = static_cast<int64_t>((i * 7919 * 4099) % PatternFile::kSize);
        ranges.push_back(ByteRange{offset, 20 + i % 300});
    }
    const auto check = [&](RangeReader::Mode mode, bool* together) {
        RangeReader reader(file.Fd(), mode);
        *together = reader.Together();
        for (int round = 0; round < 2; ++round) {
            std::vector<RangeBytes> results;
            reader.Read(ranges.data(), ranges.size(), &results);
            ASSERT_EQ(results.size(), ranges.size());
            for (size_t i = 0; i < ranges.size(); ++i) {
                ASSERT_TRUE(results[i].ok) << "range " << i;
                ASSERT_EQ(results[i].bytes, file.Expected(ranges[i])) << "range " << i;
            }
        }
    };
    for (RangeReader::Mode mode : kModes) {
        SCOPED_TRACE(Name(mode));
        bool together = false;
        check(mode, &together);
        if (mode == RangeReader::Mode::OneByOne)
            EXPECT_FALSE(together);
        if (mode == RangeReader::Mode::Together && !together)
            std::printf("note: this system refuses io_uring; reads were made one by one\n");
        bool otherTogether = false;
        std::thread other([&] { check(mode, &otherTogether); });
        other.join();
        EXPECT_EQ(otherTogether, together);
    }
}

// A read that fails (here: the descriptor names a folder) gives no bytes and says so, and a
// later call on a file reads as usual.
TEST(RangeReader, FailedReadsSayTheyFailed)
{
    PatternFile file;
    ASSERT_GE(file.Fd(), 0);
    const int folder = open(fs::temp_directory_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    const ByteRange ranges[] = {{0, 26}, {4096, 100}};
    for (RangeReader::Mode mode : kModes) {
        SCOPED_TRACE(Name(mode));
        std::vector<RangeBytes> results;
        RangeReader(folder, mode).Read(ranges, 2, &results);
        ASSERT_EQ(results.size(), 2u);
        for (const RangeBytes& result : results) {
            EXPECT_FALSE(result.ok);
            EXPECT_TRUE(result.bytes.empty());
        }
        RangeReader(file.Fd(), mode).Read(ranges, 2, &results);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_TRUE(results[0].ok && results[1].ok);
        EXPECT_EQ(results[1].bytes, file.Expected(ranges[1]));
    }
    close(folder);
}
