#include "filtercore/TextTrackReader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "filtercore/FFmpegOwners.h"
#include "filtercore/Mp4TextIndex.h"
#include "filtercore/RangeReader.h"
#include "platform/kernel.h"

extern "C" {
#include <libavutil/avstring.h>
}

namespace FilterCore {

namespace {

// The recording as FFmpeg reads it, through our own I/O context: every read is a pread at a
// position kept here, so that a seek costs no system call. The header is parsed through a
// buffer of FFmpeg's usual size; the text samples of an MP4 are then read as ranges of exactly
// their own bytes (text samples lie far apart in the file, and a refill of the whole buffer at
// every sample would read mostly picture data). Used on one thread only.
class RecordingInput {
public:
    RecordingInput() = default;
    RecordingInput(const RecordingInput&) = delete;
    RecordingInput& operator=(const RecordingInput&) = delete;

    ~RecordingInput()
    {
        if (m_io) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
        if (m_fd >= 0)
            close(m_fd);
    }

    // Opens a native path for reading. Only regular files are accepted: a FIFO or a device is
    // no recording, and reading one could block for ever. False when the file cannot be opened.
    bool Open(const std::string& nativePath)
    {
        // O_NONBLOCK keeps the open itself from waiting for a FIFO's writer; regular files
        // ignore it. O_NOATIME spares every read the access-time check; only the file's owner
        // may ask for it, so anyone else opens without it.
        const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
        m_fd = open(nativePath.c_str(), flags | O_NOATIME);
        if (m_fd < 0 && errno == EPERM)
            m_fd = open(nativePath.c_str(), flags);
        if (m_fd < 0)
            return false;
        struct stat status;
        if (fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))
            return false;
        // A regular file reads the same without the flag, except where reads are handed to
        // the kernel together: with it, a file system that cannot read without waiting may
        // answer each of them "try again" instead of reading.
        const int statusFlags = fcntl(m_fd, F_GETFL);
        if (statusFlags >= 0)
            fcntl(m_fd, F_SETFL, statusFlags & ~O_NONBLOCK);
        unsigned char* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
        if (!buffer)
            return false;
        m_io = avio_alloc_context(buffer, kBufferSize, 0, this, &RecordingInput::ReadPacket,
                                  nullptr, &RecordingInput::SeekTo);
        if (!m_io) {
            av_free(buffer);
            return false;
        }
        return true;
    }

    // The context to hand to avformat_open_input with AVFMT_FLAG_CUSTOM_IO; owned here, so it
    // must outlive the format context that uses it.
    AVIOContext* Context() const { return m_io; }

    // Reads up to `size` bytes at `offset` into `out` (resized to what was read). False when
    // the read fails or the offset is invalid; a read at or past the end gives no bytes.
    bool ReadAt(int64_t offset, size_t size, std::string* out) const
    {
        out->resize(size);
        size_t done = 0;
        while (done < size) {
            ssize_t got = pread(m_fd, out->data() + done, size - done, offset + int64_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                out->clear();
                return false;
            }
            if (got == 0)
                break;
            done += static_cast<size_t>(got);
        }
        out->resize(done);
        return true;
    }

    // The open file, for reads of many ranges at once; owned here.
    int Fd() const { return m_fd; }

    // The file's size in bytes; -1 when unknown.
    int64_t Size() const
    {
        struct stat status;
        return fstat(m_fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
    }

    // True when the file's top level holds a movie fragment: its samples are then indexed only
    // as the demultiplexer reaches them, so the index read at opening is not the whole track.
    // Only the few top-level box headers are read.
    bool HasMovieFragments() const
    {
        int64_t at = 0;
        std::string header;
        for (int boxes = 0; boxes < 4096; ++boxes) {
            if (!ReadAt(at, 16, &header) || header.size() < 8)
                return false;
            const auto byte = [&](size_t i) { return uint64_t(uint8_t(header[i])); };
            uint64_t size = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
            if (header.compare(4, 4, "moof") == 0)
                return true;
            if (size == 1 && header.size() == 16) {
                size = 0;
                for (size_t i = 8; i < 16; ++i)
                    size = size << 8 | byte(i);
            }
            // A box reaching to the end of the file (size 0) or a broken size ends the walk.
            if (size < 8 || size > uint64_t(INT64_MAX - at))
                return false;
            at += static_cast<int64_t>(size);
        }
        return false;
    }

private:
    // FFmpeg's own default buffer size for file input, in bytes.
    static constexpr int kBufferSize = 32768;

    // Returns the number of bytes read, AVERROR_EOF at the end of the file, or a negative
    // AVERROR code when the read fails.
    static int ReadPacket(void* opaque, uint8_t* buffer, int size)
    {
        RecordingInput* self = static_cast<RecordingInput*>(opaque);
        for (;;) {
            ssize_t got = pread(self->m_fd, buffer, static_cast<size_t>(size), self->m_position);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return AVERROR(errno);
            if (got == 0)
                return AVERROR_EOF;
            self->m_position += got;
            return static_cast<int>(got);
        }
    }

    // Moves the read position as lseek would (beyond the end is allowed; a read there meets
    // the end of the file); AVSEEK_SIZE asks for the file's current size. Returns the new
    // position or size, or a negative AVERROR code.
    static int64_t SeekTo(void* opaque, int64_t offset, int whence)
    {
        RecordingInput* self = static_cast<RecordingInput*>(opaque);
        whence &= ~AVSEEK_FORCE;
        int64_t base = 0;
        if (whence == AVSEEK_SIZE || whence == SEEK_END) {
            struct stat status;
            if (fstat(self->m_fd, &status) != 0)
                return AVERROR(errno);
            if (whence == AVSEEK_SIZE)
                return status.st_size;
            base = status.st_size;
        } else if (whence == SEEK_CUR) {
            base = self->m_position;
        } else if (whence != SEEK_SET) {
            return AVERROR(EINVAL);
        }
        int64_t position = 0;
        if (__builtin_add_overflow(base, offset, &position) || position < 0) {
            return AVERROR(EINVAL);
        }
        self->m_position = position;
        return position;
    }

    int m_fd = -1;
    int64_t m_position = 0;  // Byte offset of the next read.
    AVIOContext* m_io = nullptr;
};

}  // namespace

// What one Read may keep: a text sample larger than kMaxSampleBytes is no telemetry line and
// is skipped, and once the list has grown by kMaxHeldBytes (each entry counted with its string
// object) the rest of the track is left unread. Real recordings stay far below both: a line is
// under 200 bytes, an hour of telemetry at ten lines a second under 8 MB.
constexpr size_t kMaxSampleBytes = 4096;
constexpr size_t kMaxHeldBytes = 16u << 20;

namespace {

// Appends the samples a Read keeps to the caller's list and counts what it holds.
class TextSink {
public:
    TextSink(TextTrackList* list, const std::atomic<bool>& cancel) : m_list(list), m_cancel(cancel)
    {
    }

    // Notes `bytes` of sample data held beside the list while samples are read.
    void Holding(size_t bytes) { m_peak = std::max(m_peak, m_held + bytes); }

    // Takes the next sample (at most kMaxSampleBytes). False when reading must end: the read
    // was cancelled, or the sample would take the list past its cap and was not kept.
    bool Add(std::string&& sample)
    {
        const size_t cost = sample.size() + sizeof(std::string);
        if (m_held + cost > kMaxHeldBytes)
            return false;
        m_list->push_back(std::move(sample));
        m_held += cost;
        m_peak = std::max(m_peak, m_held);
        ++m_count;
        return !m_cancel.load();
    }

    // Passes over a sample too large to keep. False when the read was cancelled.
    bool Skip() const { return !m_cancel.load(); }

    int Count() const { return m_count; }
    size_t Peak() const { return m_peak; }

private:
    TextTrackList* m_list;
    const std::atomic<bool>& m_cancel;
    size_t m_held = 0;  // bytes the appended entries take, strings included
    size_t m_peak = 0;
    int m_count = 0;
};

// The samples of an MP4 track as its index lists them, read as ranges of exactly their own
// bytes; a sample too large for a telemetry line is skipped without being read. These are the
// demultiplexer's packets, byte for byte and in its order: a sample cut by the end of the file
// gives what is left of it, and the first one that lies wholly past the end, or whose read
// fails, ends the track.
void ReadIndexedSamples(const RecordingInput& input, const std::vector<TextSampleSpan>& spans,
                        TextSink* sink)
{
    // Text samples lie far apart, between the pictures: read from a card one by one, each would
    // wait for the storage in turn. They are read in batches handed to the kernel together,
    // each batch then taken in order.
    const size_t end =
        static_cast<size_t>(std::find_if(spans.begin(), spans.end(),
                                         [](const TextSampleSpan& s) { return s.pos < 0; }) -
                            spans.begin());
    const auto kept = [](const TextSampleSpan& span) {
        return static_cast<size_t>(span.size) <= kMaxSampleBytes;
    };
    RangeReader reader(input.Fd());
    std::vector<ByteRange> ranges;
    std::vector<RangeBytes> samples;
    for (size_t next = 0; next < end;) {
        const size_t first = next;
        ranges.clear();
        size_t bytes = 0;
        for (; next < end && ranges.size() < RangeReader::kMaxInFlight; ++next) {
            if (kept(spans[next])) {
                ranges.push_back(ByteRange{spans[next].pos, static_cast<size_t>(spans[next].size)});
                bytes += ranges.back().size;
            }
        }
        sink->Holding(bytes);
        reader.Read(ranges.data(), ranges.size(), &samples);
        size_t taken = 0;
        for (size_t i = first; i < next; ++i) {
            if (!kept(spans[i])) {
                if (!sink->Skip())
                    return;
                continue;
            }
            RangeBytes& sample = samples[taken++];
            if (!sample.ok || (spans[i].size > 0 && sample.bytes.empty()))
                return;
            if (!sink->Add(std::move(sample.bytes)))
                return;
        }
    }
}

// The index FFmpeg read with the header, as spans.
std::vector<TextSampleSpan> IndexSpans(AVStream* stream)
{
    std::vector<TextSampleSpan> spans;
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(stream, i);
        if (!entry)
            break;
        spans.push_back(TextSampleSpan{entry->pos, entry->size});
    }
    return spans;
}

// Any other container: the demultiplexer's packets of the text stream, every other stream
// discarded; an oversized packet is dropped as soon as it has been read.
void ReadDemuxedPackets(AVFormatContext* format, int text, TextSink* sink)
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        return;
    while (av_read_frame(format, packet.get()) >= 0) {
        bool more = true;
        if (packet->stream_index == text) {
            const size_t size = packet->data && packet->size > 0 ? size_t(packet->size) : 0;
            sink->Holding(size);
            more = size > kMaxSampleBytes
                       ? sink->Skip()
                       : sink->Add(std::string(reinterpret_cast<const char*>(packet->data), size));
        }
        av_packet_unref(packet.get());
        if (!more)
            break;
    }
}

}  // namespace

int TextTrackReader::Read(const std::wstring& path, TextTrackList* list)
{
    m_peakHeldBytes = 0;
    if (!list)
        return 0;
    const std::string native = platform::ToNativePath(path);
    // Declared before the format context, so that it is freed after the context is closed.
    RecordingInput input;
    if (!input.Open(native))
        return 0;
    // Most recordings: the text track's index read straight from the moov box, without the
    // cost of FFmpeg parsing every track's tables.
    std::vector<TextSampleSpan> spans;
    const ReadAtFunction readAt = [&input](int64_t offset, size_t size, std::string* out) {
        return input.ReadAt(offset, size, out);
    };
    if (ReadMp4TextIndex(readAt, input.Size(), &spans)) {
        TextSink sink(list, m_cancel);
        ReadIndexedSamples(input, spans, &sink);
        m_peakHeldBytes = sink.Peak();
        return sink.Count();
    }
    AVFormatContext* opened = avformat_alloc_context();
    if (!opened)
        return 0;
    opened->pb = input.Context();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context it was given.
    const std::string url = FFmpegFileUrl(native);
    if (avformat_open_input(&opened, url.c_str(), nullptr, nullptr) < 0)
        return 0;
    FormatContextPtr format(opened);

    int text = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (text < 0 && stream && stream->codecpar &&
            stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            text = static_cast<int>(i);
        }
    }
    if (text < 0)
        return 0;

    TextSink sink(list, m_cancel);
    // In the MP4 family the index read with the header lists every sample of an unfragmented
    // file, so each text sample is one read of its own bytes, and a sample's size is known
    // before it is read.
    if (format->iformat && av_match_name("mov", format->iformat->name) &&
        !input.HasMovieFragments()) {
        ReadIndexedSamples(input, IndexSpans(format->streams[text]), &sink);
    } else {
        // The demultiplexer skips the samples of every other track without reading them.
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]) {
                format->streams[i]->discard =
                    static_cast<int>(i) == text ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
            }
        }
        ReadDemuxedPackets(format.get(), text, &sink);
    }
    m_peakHeldBytes = sink.Peak();
    return sink.Count();
}

}  // namespace FilterCore
