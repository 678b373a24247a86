// The audio wrapper (CLSID_ACMWrapper): turns the sound an AVI splitter delivers into 16-bit
// PCM for the sound renderer. 16-bit PCM passes through unchanged; other PCM widths, MP3, AAC,
// ADPCM and the other formats libavcodec decodes from a WAVEFORMATEX tag are decoded to 16-bit
// interleaved PCM at their own rate and channel count. One input sample may give several
// output samples; each carries the stream time of its first sound frame.
#pragma once

#include <memory>

#include "platform/dshow/streams.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace sysfilters {

class CAcmWrapper final : public CTransformFilter {
public:
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CAcmWrapper(LPUNKNOWN outer, HRESULT* phr);
    ~CAcmWrapper() override;

    HRESULT CheckInputType(const CMediaType* input) override;
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT EndFlush() override;

private:
    struct CodecCloser {
        void operator()(AVCodecContext* context) const;
    };
    struct FrameFree {
        void operator()(AVFrame* frame) const;
    };

    // Decodes one input sample and delivers what it gives.
    HRESULT Decode(IMediaSample* sample);
    HRESULT DeliverFrame(const AVFrame* frame, REFERENCE_TIME start);

    // Set with the input type (state lock), read on the streaming thread.
    bool m_passThrough = true;
    int m_codecId = 0;           // AVCodecID of the input
    DWORD m_sampleRate = 0;
    WORD m_channels = 0;
    // Streaming thread only (under m_csReceive), made by StartStreaming.
    std::unique_ptr<AVCodecContext, CodecCloser> m_decoder;
    std::unique_ptr<AVFrame, FrameFree> m_frame;
    REFERENCE_TIME m_nextTime = 0;  // stream time of the next output frame
    bool m_nextTimeValid = false;
    bool m_discontinuity = true;
};

}  // namespace sysfilters
