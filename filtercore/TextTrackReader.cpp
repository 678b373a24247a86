#include "filtercore/TextTrackReader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filtercore/FFmpegOwners.h"
#include "platform/kernel.h"

extern "C" {
#include <libavutil/avstring.h>
}

namespace FilterCore {

namespace {

// The recording as FFmpeg reads it, through our own I/O context: every read is a pread at a
// position kept here, so that a seek costs no system call. The header is parsed through a
// buffer of FFmpeg's usual size; once it is parsed, SampleReads makes each later read fetch
// exactly the bytes asked for, so that a text sample costs one read of its own bytes instead
// of a refill of the whole buffer at every sample (text samples lie far apart in the file).
// Used on one thread only.
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

    // From now on reads bypass the buffer where they can and seeks go straight to SeekTo, so
    // that no read fetches more than was asked for.
    void SampleReads() { m_io->direct = 1; }

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

int TextTrackReader::Read(const std::wstring& path, TextTrackList* list)
{
    if (!list)
        return 0;
    const std::string native = platform::ToNativePath(path);
    // Declared before the format context, so that it is freed after the context is closed.
    RecordingInput input;
    if (!input.Open(native))
        return 0;
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
    // The demultiplexer skips the samples of every other track without reading them.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]) {
            format->streams[i]->discard =
                static_cast<int>(i) == text ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
    }
    // In the MP4 family a sample is read by one seek to its offset and one read of its bytes;
    // other formats keep the buffered reads they were designed around.
    if (format->iformat && av_match_name("mov", format->iformat->name))
        input.SampleReads();

    PacketPtr packet(av_packet_alloc());
    if (!packet)
        return 0;
    int count = 0;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == text) {
            if (packet->data && packet->size > 0) {
                list->emplace_back(reinterpret_cast<const char*>(packet->data),
                                   static_cast<size_t>(packet->size));
            } else {
                list->emplace_back();
            }
            ++count;
        }
        av_packet_unref(packet.get());
        if (m_cancel.load())
            break;
    }
    return count;
}

}  // namespace FilterCore
