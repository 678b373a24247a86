// Owners for the FFmpeg objects mkcard creates. Every object is released by exactly one owner,
// so an error thrown half-way through writing a recording leaks nothing.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <stdexcept>
#include <string>

namespace mkcard {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
// An input context opened by avformat_open_input.
struct InputContextDeleter {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output context from avformat_alloc_output_context2; closes its file when one was opened.
struct OutputContextDeleter {
    void operator()(AVFormatContext* f) const
    {
        if (!f)
            return;
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE))
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

// FFmpeg's text for an error code, for messages.
inline std::string AvErrorText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// Throws a runtime_error naming the failed step when err is negative; returns err otherwise.
inline int AvCheck(int err, const std::string& what)
{
    if (err < 0)
        throw std::runtime_error(what + ": " + AvErrorText(err));
    return err;
}

// Opens a file for reading with libavformat; the result is null and *err negative on failure.
inline InputContextPtr OpenInput(const std::string& path, int* err)
{
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (err)
        *err = rc;
    return InputContextPtr(rc < 0 ? nullptr : raw);
}

}  // namespace mkcard
