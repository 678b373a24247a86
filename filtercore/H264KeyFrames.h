// Which H.264 packets of an MP4 track are key frames, decided as FFmpeg's demultiplexer decides
// when it runs its H.264 parser over the track, at a fraction of the cost. That parser, run by
// av_read_frame, scans every whole packet into a freshly zeroed buffer of the packet's size; a
// reading core that turns it off (AVFMT_FLAG_NOPARSE) gets the same packets, times and data,
// and only the key-frame flags could differ where the container's sync-sample table and the
// pictures disagree. This runs FFmpeg's parser itself over just the front of each packet: its
// parameter sets, its SEI messages and the head of its first slice, which is all the parser
// looks at to call a picture a key frame.
#pragma once

#include <cstdint>
#include <vector>

#include "filtercore/FFmpegOwners.h"

namespace FilterCore {

class H264KeyFrames {
public:
    H264KeyFrames() = default;
    H264KeyFrames(const H264KeyFrames&) = delete;
    H264KeyFrames& operator=(const H264KeyFrames&) = delete;
    ~H264KeyFrames();

    // Prepares for a track described by `par`. False, leaving nothing prepared, unless it is
    // H.264 with an avcC decoder configuration (length-prefixed pictures) that a parser takes.
    bool Open(const AVCodecParameters* par);
    void Close();
    bool IsOpen() const { return m_parser != nullptr; }

    // Starts over as a parser made after a seek does.
    void Restart();

    // Sets or clears AV_PKT_FLAG_KEY of a packet of the track, read without the parser, as the
    // demultiplexer's parser would have left it.
    void Apply(AVPacket* packet);

private:
    // Bytes of a first slice handed to the parser: more than any slice header takes up to the
    // fields it decides by.
    static constexpr uint32_t kSliceHead = 256;

    CodecContextPtr m_context;
    AVCodecParserContext* m_parser = nullptr;
    int m_lengthSize = 0;  // bytes of each picture part's length prefix, 1 to 4
    std::vector<uint8_t> m_front;
};

}  // namespace FilterCore
