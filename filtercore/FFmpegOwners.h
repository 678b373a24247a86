// Owners for the FFmpeg objects the core holds, so that every exit path frees them.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace FilterCore {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

typedef std::unique_ptr<AVFormatContext, FormatContextCloser> FormatContextPtr;
typedef std::unique_ptr<AVCodecContext, CodecContextFreer> CodecContextPtr;
typedef std::unique_ptr<AVPacket, PacketFreer> PacketPtr;
typedef std::unique_ptr<AVFrame, FrameFreer> FramePtr;

// Libraries such as FFmpeg take native paths; the file protocol is named explicitly so that a
// name holding a colon is never taken for another protocol.
inline std::string FFmpegFileUrl(const std::string& nativePath) { return "file:" + nativePath; }

}  // namespace FilterCore
