#include "filtercore/H264KeyFrames.h"

#include <cstring>

namespace FilterCore {

namespace {

constexpr int kNalSlice = 1;
constexpr int kNalIdrSlice = 5;

}  // namespace

H264KeyFrames::~H264KeyFrames() { Close(); }

bool H264KeyFrames::Open(const AVCodecParameters* par)
{
    Close();
    // An avcC record starts with version 1; its fifth byte holds the prefix length less one.
    if (!par || par->codec_id != AV_CODEC_ID_H264 || !par->extradata || par->extradata_size < 7 ||
        par->extradata[0] != 1)
        return false;
    m_context.reset(avcodec_alloc_context3(nullptr));
    if (!m_context || avcodec_parameters_to_context(m_context.get(), par) < 0) {
        Close();
        return false;
    }
    m_lengthSize = (par->extradata[4] & 3) + 1;
    Restart();
    if (!m_parser)
        Close();
    return m_parser != nullptr;
}

void H264KeyFrames::Close()
{
    if (m_parser)
        av_parser_close(m_parser);
    m_parser = nullptr;
    m_context.reset();
}

void H264KeyFrames::Restart()
{
    if (m_parser)
        av_parser_close(m_parser);
    m_parser = m_context ? av_parser_init(AV_CODEC_ID_H264) : nullptr;
    // The demultiplexer's parser takes every packet as one whole picture.
    if (m_parser)
        m_parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
}

void H264KeyFrames::Apply(AVPacket* packet)
{
    if (!m_parser || !packet || !packet->data || packet->size <= 0)
        return;
    // The front of the packet: every part before the first slice whole, then the head of that
    // slice with its length prefix shortened to match. A packet whose parts do not add up is
    // handed over whole, so that the parser meets its fault where it would have.
    const uint8_t* data = packet->data;
    const size_t size = static_cast<size_t>(packet->size);
    const size_t prefix = static_cast<size_t>(m_lengthSize);
    m_front.clear();
    bool whole = true;
    for (size_t pos = 0; size - pos > prefix;) {
        uint32_t length = 0;
        for (size_t i = 0; i < prefix; ++i)
            length = length << 8 | data[pos + i];
        if (length == 0 || length > size - pos - prefix)
            break;
        const int type = data[pos + prefix] & 0x1F;
        if (type == kNalSlice || type == kNalIdrSlice) {
            const uint32_t keep = length < kSliceHead ? length : kSliceHead;
            const size_t at = m_front.size();
            m_front.insert(m_front.end(), data + pos, data + pos + prefix + keep);
            for (size_t i = 0; i < prefix; ++i)
                m_front[at + i] = static_cast<uint8_t>(keep >> (8 * (prefix - 1 - i)));
            whole = false;
            break;
        }
        m_front.insert(m_front.end(), data + pos, data + pos + prefix + length);
        pos += prefix + length;
    }
    const uint8_t* input = data;
    int inputSize = packet->size;
    if (!whole) {
        inputSize = static_cast<int>(m_front.size());
        // The parser reads ahead into padding, as into any packet's.
        m_front.resize(m_front.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        input = m_front.data();
    }
    uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(m_parser, m_context.get(), &out, &outSize, input, inputSize, packet->pts,
                     packet->dts, packet->pos);
    const bool key =
        m_parser->key_frame == 1 ||
        (m_parser->key_frame == -1 && m_parser->pict_type == AV_PICTURE_TYPE_I) ||
        (m_parser->key_frame == -1 && m_parser->pict_type == AV_PICTURE_TYPE_NONE &&
         (packet->flags & AV_PKT_FLAG_KEY));
    if (key)
        packet->flags |= AV_PKT_FLAG_KEY;
    else
        packet->flags &= ~AV_PKT_FLAG_KEY;
}

}  // namespace FilterCore
