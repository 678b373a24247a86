// FFmpeg's H.264 decoder and scaler behind the decoder filter: packets in, pictures out, each
// picture converted into a caller's buffer in a packed or planar YUV layout.
//
// One thread at a time: the filter calls every method under its receive lock. The decoder puts
// pictures back into display order, so a picture may come out several packets after the packet
// it was decoded from; each packet carries a key of the caller's (Send), and the picture made
// from it gives that key back (Picture::key).
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/base.h"

class VideoDecoder {
public:
    enum class Result {
        Picture,    // a picture is ready (CurrentPicture)
        NeedInput,  // nothing more until the next packet (or, after SendEndOfStream, ever)
        Failed,     // this picture could not be decoded; later ones may be
    };

    VideoDecoder() = default;
    ~VideoDecoder() = default;
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens FFmpeg's decoder for `codec` with the coded picture size and the decoder
    // configuration record (copied: the decoder keeps a padded copy of its own), on
    // ThreadCount() threads sharing the slices of each picture. Whatever was open is closed
    // first. False when the codec has no decoder or the decoder does not open.
    bool Open(AVCodecID codec, int width, int height, const BYTE* config, int configSize);
    bool IsOpen() const { return m_context != nullptr; }
    void Close();

    // Hands the decoder one packet: the bytes are copied into a padded packet of its own.
    // AVERROR(EAGAIN) when pictures must be taken with Receive first; another negative FFmpeg
    // error when the packet is refused; else 0.
    int Send(const BYTE* data, int length, int64_t key);
    // Tells the decoder that no packet follows, so that Receive gives the pictures it still
    // holds; Flush must come before the next Send.
    void SendEndOfStream();
    // Takes the next picture. Result::Picture makes it the current picture, which stays valid
    // (a reference of its own, apart from the frame the decoder writes into) until the next
    // Receive, Flush or Close.
    Result Receive();
    // Drops every packet and picture in the decoder, as after a seek; the decoder stays open.
    void Flush();

    // The current picture and the key of the packet it was made from.
    const AVFrame* CurrentPicture() const { return m_picture.get(); }
    bool HasPicture() const { return m_picture && m_picture->data[0] != nullptr; }
    int64_t CurrentKey() const;

    // Converts the current picture into `buffer` of `capacity` bytes as `format` rows of
    // `stride` pixels (YUV420P is written as YV12: the V plane before the U plane), through a
    // scaler kept between calls, with the fast bilinear method. Returns the bytes written: the
    // whole stride for every row of the picture's height. -1, writing nothing, when there is no
    // picture or format, when the stride is narrower than the picture, or when the buffer is
    // too small.
    int Convert(AVPixelFormat format, int stride, BYTE* buffer, LONG capacity);

    // Decoding threads for this machine: 1.5 per processor, 1 to 16.
    static int ThreadCount();

private:
    struct ContextFreer {
        void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
    };
    struct FrameFreer {
        void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    };
    struct PacketFreer {
        void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    };
    struct ScalerFreer {
        void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
    };

    std::unique_ptr<AVCodecContext, ContextFreer> m_context;
    std::unique_ptr<AVFrame, FrameFreer> m_decoded;  // what avcodec_receive_frame writes
    std::unique_ptr<AVFrame, FrameFreer> m_picture;  // the current picture
    std::unique_ptr<AVPacket, PacketFreer> m_packet;
    std::unique_ptr<SwsContext, ScalerFreer> m_scaler;
};
