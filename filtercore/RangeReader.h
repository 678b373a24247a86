// Reads many small, scattered byte ranges of one open file (the text samples of a recording,
// which lie far apart between the pictures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace FilterCore {

struct ByteRange {
    int64_t offset;  // bytes from the file's start
    size_t size;     // bytes
};

struct RangeBytes {
    std::string bytes;  // what was read: the whole range, less where it passes the file's end
    bool ok = false;    // false when a read failed (bytes then empty) or the offset is negative
};

class RangeReader {
public:
    enum class Mode {
        // All the reads of a call are handed to the kernel in one submission (io_uring), so that
        // the storage gets them together: the cost of a cold read is then about one wait for the
        // storage instead of one per range, and one system call instead of one per range. Where
        // the system refuses io_uring (an old kernel, a sandbox), works as OneByOne.
        Together,
        // Every range announced to the kernel first (a read-ahead hint), then one pread each.
        OneByOne,
    };

    // Reads from `fd`, which stays owned by the caller and must stay open while this lives. Used
    // on one thread: reads handed over together go through a ring kept by the calling thread.
    explicit RangeReader(int fd, Mode mode = Mode::Together);
    ~RangeReader();
    RangeReader(const RangeReader&) = delete;
    RangeReader& operator=(const RangeReader&) = delete;

    // Reads `count` ranges; `results` is resized to `count`, result i for range i. Both modes
    // give the same results: a range wholly past the end gives no bytes and ok; a read error gives
    // no bytes and not ok.
    void Read(const ByteRange* ranges, size_t count, std::vector<RangeBytes>* results);

    // True while reads go to the kernel together (Mode::Together, and the system allowed it).
    bool Together() const;

    // The most ranges handed to the kernel in one submission; a call with more submits them in
    // turn.
    static constexpr unsigned kMaxInFlight = 256;

private:
    class Ring;

    // One range, synchronously, from `done` bytes already in place in result->bytes.
    void Finish(const ByteRange& range, size_t done, RangeBytes* result) const;

    // The calling thread's ring; null when the system refuses one.
    static std::unique_ptr<Ring>& ThreadRing();

    const int m_fd;
    const Mode m_mode;
};

}  // namespace FilterCore
