#include "H264Clip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "filtercore/CorePortProperties.h"
#include "filtercore/CoreProperties.h"
#include "filtercore/KVMP4SourceCore.h"
#include "platform/kernel.h"

namespace h264test {

std::string FixturePath(const std::string& relative)
{
    const char* folder = std::getenv("KV_FIXTURES");
    EXPECT_NE(folder, nullptr) << "KV_FIXTURES is not set";
    return std::string(folder ? folder : "/nonexistent") + "/" + relative;
}

bool LoadClip(const std::string& relative, Clip* clip)
{
    FilterCore::KVMP4SourceCore core;
    if (!core.Open(platform::ToWindowsPath(FixturePath(relative)))) {
        ADD_FAILURE() << "the reading core does not open " << relative;
        return false;
    }
    FilterCore::CoreProperties* ports = core.GetProperties();
    if (!ports || ports->GetOutputPortCount() < 1) {
        ADD_FAILURE() << relative << " has no video port";
        return false;
    }
    FilterCore::CorePortProperties* port = ports->GetOutputPort(0);
    int formatLength = 0;
    const void* format = port->GetFormat(&formatLength);
    clip->type.InitMediaType();
    clip->type.SetType(port->GetMajorType());
    clip->type.SetSubtype(port->GetSubtype(0));
    clip->type.SetFormatType(port->GetFormatType());
    clip->type.SetFormat(static_cast<const BYTE*>(format), ULONG(formatLength));
    clip->type.SetVariableSize();
    clip->type.SetTemporalCompression(TRUE);
    int reserved = 0;
    int count = 0;
    int size = 0;
    port->GetAllocator(&reserved, &count, &size);
    clip->bufferSize = size;

    const FilterCore::CoreVideoTrack& track = core.GetVideoTrack();
    clip->width = track.width;
    clip->height = track.height;
    clip->frameDuration = track.frameRate > 0 ? REFERENCE_TIME(1000 / track.frameRate) * 10000 : 1;

    if (track.config && track.configSize > 0) {
        clip->fileConfig.assign(track.config, track.config + track.configSize);
    }
    core.EnableStream(track.streamIndex);
    core.ResumeReading();
    clip->samples.clear();
    for (;;) {
        FilterCore::CoreSample sample;
        if (!core.GetVideoSample(&sample))
            break;
        ClipSample copy;
        copy.data.assign(sample.m_buffer, sample.m_buffer + sample.m_length);
        copy.start = sample.m_start;
        copy.sync = sample.m_syncPoint != FALSE;
        clip->samples.push_back(std::move(copy));
    }
    core.HaltReading();
    core.StopReadThread();
    return !clip->samples.empty();
}

uint64_t HashBytes(const BYTE* data, size_t length)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::vector<Picture> ReferencePictures(const Clip& clip, size_t first)
{
    std::vector<Picture> pictures;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    context->error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
    // The file's own record, so that the reference does not share the filter's reading of
    // the media type.
    if (!clip.fileConfig.empty()) {
        context->extradata = static_cast<uint8_t*>(
            av_mallocz(clip.fileConfig.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, clip.fileConfig.data(), clip.fileConfig.size());
        context->extradata_size = int(clip.fileConfig.size());
    }
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return pictures;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    std::vector<BYTE> uyvy;
    auto take = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            const int width = frame->width;
            const int height = frame->height;
            uyvy.assign(size_t(width) * height * 2, 0);
            scaler = sws_getCachedContext(scaler, width, height, AVPixelFormat(frame->format),
                                          width, height, AV_PIX_FMT_UYVY422, SWS_FAST_BILINEAR,
                                          nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {uyvy.data()};
            int lines[4] = {width * 2};
            sws_scale(scaler, frame->data, frame->linesize, 0, height, planes, lines);
            Picture picture;
            picture.hash = HashBytes(uyvy.data(), uyvy.size());
            picture.sample = size_t(frame->pts);
            picture.start = clip.samples[picture.sample].start;
            pictures.push_back(picture);
            av_frame_unref(frame);
        }
    };
    for (size_t i = first; i < clip.samples.size(); ++i) {
        const ClipSample& sample = clip.samples[i];
        av_new_packet(packet, int(sample.data.size()));
        std::memcpy(packet->data, sample.data.data(), sample.data.size());
        packet->pts = int64_t(i);
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        take();
    }
    avcodec_send_packet(context, nullptr);
    take();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pictures;
}

const Picture* FindPicture(const std::vector<Picture>& pictures, uint64_t hash)
{
    for (const Picture& picture : pictures) {
        if (picture.hash == hash)
            return &picture;
    }
    return nullptr;
}

}  // namespace h264test
