#include "filters/h264decode/VideoDecoder.h"

#include <algorithm>
#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

int VideoDecoder::ThreadCount()
{
    return std::clamp(av_cpu_count() * 3 / 2, 1, 16);
}

bool VideoDecoder::Open(AVCodecID codec, int width, int height, const BYTE* config, int configSize)
{
    Close();
    if (codec == AV_CODEC_ID_NONE)
        return false;
    const AVCodec* decoder = avcodec_find_decoder(codec);
    if (!decoder)
        return false;
    std::unique_ptr<AVCodecContext, ContextFreer> context(avcodec_alloc_context3(decoder));
    if (!context)
        return false;

    context->skip_frame = AVDISCARD_DEFAULT;
    context->skip_loop_filter = AVDISCARD_DEFAULT;
    context->skip_idct = AVDISCARD_DEFAULT;
    context->thread_count = ThreadCount();
    // The threads share the slices of each picture. Frame threads would give every thread a
    // picture and a decoder state of its own (twelve of each per decoder on an eight-processor
    // machine, two decoders per pair) and hold the first picture back until every thread has
    // one: about 170 MB more while a pair plays, and a start or seek whose first picture waits
    // for eleven more. One thread decodes a camera's 1080p stream at several hundred
    // pictures a second, above what the fastest play rate asks of it.
    context->thread_type = FF_THREAD_SLICE;
    context->idct_algo = FF_IDCT_AUTO;
    context->workaround_bugs = FF_BUG_AUTODETECT;
    context->error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
    context->err_recognition = 0;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    context->width = context->coded_width = width;
    context->height = context->coded_height = height;
    if (config && configSize > 0) {
        // The context owns this copy and frees it with itself; the decoder may read up to the
        // padding past its end.
        auto* extradata =
            static_cast<uint8_t*>(av_mallocz(size_t(configSize) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!extradata)
            return false;
        std::memcpy(extradata, config, size_t(configSize));
        context->extradata = extradata;
        context->extradata_size = configSize;
    }
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return false;

    std::unique_ptr<AVFrame, FrameFreer> decoded(av_frame_alloc());
    std::unique_ptr<AVFrame, FrameFreer> picture(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!decoded || !picture || !packet)
        return false;
    m_context = std::move(context);
    m_decoded = std::move(decoded);
    m_picture = std::move(picture);
    m_packet = std::move(packet);
    return true;
}

void VideoDecoder::Close()
{
    m_context.reset();
    m_decoded.reset();
    m_picture.reset();
    m_packet.reset();
    m_scaler.reset();
}

int VideoDecoder::Send(const BYTE* data, int length, int64_t key)
{
    if (!m_context)
        return AVERROR(EINVAL);
    if (!data || length <= 0)
        return AVERROR_INVALIDDATA;
    av_packet_unref(m_packet.get());
    // A reference-counted packet with zeroed padding: the decoder keeps it without another copy.
    int error = av_new_packet(m_packet.get(), length);
    if (error < 0)
        return error;
    std::memcpy(m_packet->data, data, size_t(length));
    m_packet->pts = key;
    m_packet->dts = AV_NOPTS_VALUE;
    error = avcodec_send_packet(m_context.get(), m_packet.get());
    av_packet_unref(m_packet.get());
    return error;
}

void VideoDecoder::SendEndOfStream()
{
    if (m_context)
        avcodec_send_packet(m_context.get(), nullptr);
}

VideoDecoder::Result VideoDecoder::Receive()
{
    if (!m_context)
        return Result::NeedInput;
    int error = avcodec_receive_frame(m_context.get(), m_decoded.get());
    if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
        return Result::NeedInput;
    if (error < 0)
        return Result::Failed;
    av_frame_unref(m_picture.get());
    av_frame_move_ref(m_picture.get(), m_decoded.get());
    return Result::Picture;
}

void VideoDecoder::Flush()
{
    if (!m_context)
        return;
    avcodec_flush_buffers(m_context.get());
    av_frame_unref(m_decoded.get());
    av_frame_unref(m_picture.get());
}

int64_t VideoDecoder::CurrentKey() const
{
    if (!m_picture)
        return AV_NOPTS_VALUE;
    return m_picture->pts != AV_NOPTS_VALUE ? m_picture->pts : m_picture->best_effort_timestamp;
}

int VideoDecoder::Convert(AVPixelFormat format, int stride, BYTE* buffer, LONG capacity)
{
    if (!HasPicture() || format == AV_PIX_FMT_NONE || !buffer)
        return -1;
    const AVFrame* picture = m_picture.get();
    const int width = picture->width;
    const int height = picture->height;
    if (width <= 0 || height <= 0 || stride < width)
        return -1;
    const int size = av_image_get_buffer_size(format, stride, height, 1);
    if (size < 0 || size > capacity)
        return -1;

    uint8_t* planes[4] = {};
    int lines[4] = {};
    if (av_image_fill_arrays(planes, lines, buffer, format, stride, height, 1) < 0)
        return -1;
    if (format == AV_PIX_FMT_YUV420P)
        std::swap(planes[1], planes[2]);

    m_scaler.reset(sws_getCachedContext(m_scaler.release(), width, height,
                                        static_cast<AVPixelFormat>(picture->format), width, height,
                                        format, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return -1;
    sws_scale(m_scaler.get(), picture->data, picture->linesize, 0, height, planes, lines);
    return size;
}
