#include "filtercore/RangeReader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__linux__) && defined(__NR_io_uring_setup) && defined(__NR_io_uring_enter)
#include <linux/io_uring.h>
#define KV_HAVE_IO_URING 1
#endif

namespace FilterCore {

#ifdef KV_HAVE_IO_URING

// An io_uring instance used by one thread: its submission and completion rings mapped into
// this process. Reads are queued in the submission ring and their results come back in the
// completion ring, tagged with the range's index.
class RangeReader::Ring {
public:
    enum class Outcome {
        Done,       // every queued read completed (each with its bytes or an error)
        Failed,     // the kernel refused to take some reads; none is in flight any more
        Abandoned,  // reads are still in flight and cannot be waited for: their buffers must stay
    };

    // Null when the system refuses (no io_uring, or a sandbox that forbids it).
    static std::unique_ptr<Ring> Create(unsigned entries)
    {
        io_uring_params params;
        std::memset(&params, 0, sizeof params);
        const int fd = static_cast<int>(syscall(__NR_io_uring_setup, entries, &params));
        if (fd < 0)
            return nullptr;
        std::unique_ptr<Ring> ring(new Ring(fd));
        return ring->Map(params) ? std::move(ring) : nullptr;
    }

    ~Ring()
    {
        if (m_sqes != MAP_FAILED)
            munmap(m_sqes, m_sqesBytes);
        if (m_cqMap != MAP_FAILED && m_cqMap != m_sqMap)
            munmap(m_cqMap, m_cqMapBytes);
        if (m_sqMap != MAP_FAILED)
            munmap(m_sqMap, m_sqMapBytes);
        close(m_fd);
    }

    // The most reads one call of ReadAll takes.
    unsigned Entries() const { return m_entries; }

    // Reads `count` ranges (at most Entries()) of `fd` into results[i].bytes, sized by the
    // caller, and stores in got[i] the bytes each read gave, or -1 when it failed or was not
    // made (a negative offset, a size too large for one read).
    Outcome ReadAll(int fd, const ByteRange* ranges, size_t count, RangeBytes* results,
                    int64_t* got)
    {
        unsigned tail = *m_sqTail;  // only this thread moves the submission tail
        unsigned queued = 0;
        for (size_t i = 0; i < count; ++i) {
            got[i] = -1;
            if (ranges[i].offset < 0 || ranges[i].size > (1u << 30))
                continue;
            const unsigned slot = tail & m_sqMask;
            io_uring_sqe* sqe = &m_sqes[slot];
            std::memset(sqe, 0, sizeof *sqe);
            sqe->opcode = IORING_OP_READ;
            sqe->fd = fd;
            sqe->off = static_cast<uint64_t>(ranges[i].offset);
            sqe->addr = reinterpret_cast<uint64_t>(results[i].bytes.data());
            sqe->len = static_cast<uint32_t>(ranges[i].size);
            sqe->user_data = i;
            m_sqArray[slot] = slot;
            ++tail;
            ++queued;
        }
        __atomic_store_n(m_sqTail, tail, __ATOMIC_RELEASE);

        unsigned toSubmit = queued;  // queued and not yet taken by the kernel
        unsigned inFlight = 0;       // taken and not yet completed
        while (toSubmit > 0) {
            // Submits what is queued and waits until everything submitted has completed; a
            // submission the kernel takes only in part returns without waiting.
            const long taken = syscall(__NR_io_uring_enter, m_fd, toSubmit, toSubmit + inFlight,
                                       IORING_ENTER_GETEVENTS, nullptr, 0);
            const int error = taken < 0 ? errno : 0;
            if (taken > 0) {
                toSubmit -= static_cast<unsigned>(taken);
                inFlight += static_cast<unsigned>(taken);
            }
            inFlight -= Reap(got, count);
            if (error == EINTR)
                continue;
            if (error != 0 && error != EAGAIN && error != EBUSY)
                return inFlight > 0 ? Outcome::Abandoned : Outcome::Failed;
            if (toSubmit > 0 && taken <= 0) {
                // The kernel takes no more reads now: those it took are waited for, and the
                // rest are left queued in a ring that is given up, so they are never made.
                return Wait(&inFlight, got, count) ? Outcome::Failed : Outcome::Abandoned;
            }
        }
        if (!Wait(&inFlight, got, count))
            return Outcome::Abandoned;
        return Outcome::Done;
    }

private:
    explicit Ring(int fd) : m_fd(fd) {}

    bool Map(const io_uring_params& params)
    {
        m_entries = params.sq_entries;
        m_sqMapBytes = params.sq_off.array + params.sq_entries * sizeof(unsigned);
        m_cqMapBytes = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
        const bool single = (params.features & IORING_FEAT_SINGLE_MMAP) != 0;
        if (single)
            m_sqMapBytes = m_cqMapBytes = std::max(m_sqMapBytes, m_cqMapBytes);
        const int protection = PROT_READ | PROT_WRITE;
        const int flags = MAP_SHARED | MAP_POPULATE;
        m_sqMap = mmap(nullptr, m_sqMapBytes, protection, flags, m_fd, IORING_OFF_SQ_RING);
        if (m_sqMap == MAP_FAILED)
            return false;
        m_cqMap = single ? m_sqMap
                         : mmap(nullptr, m_cqMapBytes, protection, flags, m_fd, IORING_OFF_CQ_RING);
        if (m_cqMap == MAP_FAILED)
            return false;
        m_sqesBytes = params.sq_entries * sizeof(io_uring_sqe);
        void* sqes = mmap(nullptr, m_sqesBytes, protection, flags, m_fd, IORING_OFF_SQES);
        if (sqes == MAP_FAILED)
            return false;
        m_sqes = static_cast<io_uring_sqe*>(sqes);
        char* sq = static_cast<char*>(m_sqMap);
        char* cq = static_cast<char*>(m_cqMap);
        m_sqTail = reinterpret_cast<unsigned*>(sq + params.sq_off.tail);
        m_sqMask = *reinterpret_cast<unsigned*>(sq + params.sq_off.ring_mask);
        m_sqArray = reinterpret_cast<unsigned*>(sq + params.sq_off.array);
        m_cqHead = reinterpret_cast<unsigned*>(cq + params.cq_off.head);
        m_cqTail = reinterpret_cast<unsigned*>(cq + params.cq_off.tail);
        m_cqMask = *reinterpret_cast<unsigned*>(cq + params.cq_off.ring_mask);
        m_cqes = reinterpret_cast<io_uring_cqe*>(cq + params.cq_off.cqes);
        return true;
    }

    // Waits until the reads in flight have completed, taking their results. False when the
    // kernel refuses to wait (the reads are then still in flight).
    bool Wait(unsigned* inFlight, int64_t* got, size_t count)
    {
        while (*inFlight > 0) {
            const long done = syscall(__NR_io_uring_enter, m_fd, 0, *inFlight,
                                      IORING_ENTER_GETEVENTS, nullptr, 0);
            const int error = done < 0 ? errno : 0;
            *inFlight -= Reap(got, count);
            if (error != 0 && error != EINTR)
                return false;
        }
        return true;
    }

    // Takes every completion the kernel has posted; returns how many.
    unsigned Reap(int64_t* got, size_t count)
    {
        unsigned head = *m_cqHead;  // only this thread moves the completion head
        const unsigned tail = __atomic_load_n(m_cqTail, __ATOMIC_ACQUIRE);
        unsigned reaped = 0;
        for (; head != tail; ++head, ++reaped) {
            const io_uring_cqe& cqe = m_cqes[head & m_cqMask];
            if (cqe.user_data < count)
                got[cqe.user_data] = cqe.res >= 0 ? cqe.res : -1;
        }
        __atomic_store_n(m_cqHead, head, __ATOMIC_RELEASE);
        return reaped;
    }

    const int m_fd;
    unsigned m_entries = 0;
    void* m_sqMap = MAP_FAILED;
    void* m_cqMap = MAP_FAILED;
    size_t m_sqMapBytes = 0;
    size_t m_cqMapBytes = 0;
    io_uring_sqe* m_sqes = static_cast<io_uring_sqe*>(MAP_FAILED);
    size_t m_sqesBytes = 0;
    unsigned* m_sqTail = nullptr;
    unsigned m_sqMask = 0;
    unsigned* m_sqArray = nullptr;
    unsigned* m_cqHead = nullptr;
    unsigned* m_cqTail = nullptr;
    unsigned m_cqMask = 0;
    io_uring_cqe* m_cqes = nullptr;
};

#else  // no io_uring in this system's headers: every read is made one by one

class RangeReader::Ring {
public:
    enum class Outcome { Done, Failed, Abandoned };
    static std::unique_ptr<Ring> Create(unsigned) { return nullptr; }
    unsigned Entries() const { return 0; }
    Outcome ReadAll(int, const ByteRange*, size_t, RangeBytes*, int64_t*)
    {
        return Outcome::Failed;
    }
};

#endif

RangeReader::RangeReader(int fd, Mode mode) : m_fd(fd), m_mode(mode) {}

RangeReader::~RangeReader() = default;

bool RangeReader::Together() const
{
    return m_mode == Mode::Together && ThreadRing();
}

// Made on the thread's first batch and kept until the thread ends: a ring costs a file
// descriptor and a few pages, and setting one up and mapping it costs more than the reads of a
// recording's text track once they are cached. Made again on a later call when the system
// refused it or it was given up.
std::unique_ptr<RangeReader::Ring>& RangeReader::ThreadRing()
{
    thread_local std::unique_ptr<Ring> ring;
    if (!ring)
        ring = Ring::Create(kMaxInFlight);
    return ring;
}

void RangeReader::Read(const ByteRange* ranges, size_t count, std::vector<RangeBytes>* results)
{
    const auto prepare = [&] {
        results->clear();
        results->resize(count);
        for (size_t i = 0; i < count; ++i) {
            if (ranges[i].offset >= 0)
                (*results)[i].bytes.resize(ranges[i].size);
        }
    };
    prepare();
    // Bytes read so far for each range; the rest of each is read below, one by one.
    std::vector<int64_t> got(count, 0);
    std::unique_ptr<Ring>* ring = m_mode == Mode::Together && count > 0 ? &ThreadRing() : nullptr;
    if (ring && *ring) {
        const size_t step = std::min<size_t>((*ring)->Entries(), kMaxInFlight);
        for (size_t first = 0; first < count && *ring; first += step) {
            const size_t n = std::min(step, count - first);
            switch ((*ring)->ReadAll(m_fd, ranges + first, n, results->data() + first,
                                     got.data() + first)) {
                case Ring::Outcome::Done:
                    break;
                case Ring::Outcome::Abandoned:
                    // The kernel may still write into these buffers: they are left to it, and
                    // every range is read again into buffers of its own.
                    new std::vector<RangeBytes>(std::move(*results));  // deliberately never freed
                    prepare();
                    std::fill(got.begin(), got.end(), 0);
                    ring->reset();
                    break;
                case Ring::Outcome::Failed:
                    // Whatever was read stays; the rest is read one by one.
                    ring->reset();
                    break;
            }
        }
    } else {
        for (size_t i = 0; i < count; ++i) {
            if (ranges[i].offset >= 0 && ranges[i].size > 0) {
                posix_fadvise(m_fd, ranges[i].offset, static_cast<off_t>(ranges[i].size),
                              POSIX_FADV_WILLNEED);
            }
        }
    }
    for (size_t i = 0; i < count; ++i)
        Finish(ranges[i], static_cast<size_t>(std::max<int64_t>(got[i], 0)), &(*results)[i]);
}

void RangeReader::Finish(const ByteRange& range, size_t done, RangeBytes* result) const
{
    result->ok = false;
    if (range.offset < 0) {
        result->bytes.clear();
        return;
    }
    while (done < range.size) {
        const ssize_t n = pread(m_fd, result->bytes.data() + done, range.size - done,
                                range.offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result->bytes.clear();
            return;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    result->bytes.resize(done);
    result->ok = true;
}

}  // namespace FilterCore
