// Test helpers: the recordings mkcard writes into $KV_FIXTURES, read back independently with
// FFmpeg so that what the core delivers can be compared with what the file holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/kernel.h"

namespace recordings {

// The native path of a fixture file, for instance "single/normal.mp4".
inline std::string Native(const std::string& relative)
{
    const char* folder = std::getenv("KV_FIXTURES");
    EXPECT_NE(folder, nullptr) << "KV_FIXTURES is not set";
    return std::string(folder ? folder : "/nonexistent") + "/" + relative;
}

// The same file as the system sees it: a Windows path.
inline std::wstring Windows(const std::string& relative)
{
    return platform::ToWindowsPath(Native(relative));
}

struct Packet {
    int64_t pts;
    int64_t dts;
    bool key;
    std::string data;
};

struct Stream {
    AVRational timeBase = {0, 1};
    std::vector<Packet> packets;
};

// Every packet of the first stream of `type`, in file order.
inline Stream ReadStream(const std::string& native, AVMediaType type)
{
    Stream result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << native;
        return result;
    }
    avformat_find_stream_info(format, nullptr);
    int index = av_find_best_stream(format, type, -1, -1, nullptr, 0);
    if (index >= 0) {
        result.timeBase = format->streams[index]->time_base;
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index) {
                result.packets.push_back(
                    Packet{packet->pts, packet->dts, (packet->flags & AV_PKT_FLAG_KEY) != 0,
                           std::string(reinterpret_cast<const char*>(packet->data),
                                       static_cast<size_t>(packet->size))});
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return result;
}

// ticks × time base in 100 ns, truncated: computed without floating point.
inline int64_t ToHundredNs(int64_t ticks, AVRational timeBase)
{
    __int128 value = static_cast<__int128>(ticks) * timeBase.num * 10000000;
    return static_cast<int64_t>(value / timeBase.den);
}

}  // namespace recordings
