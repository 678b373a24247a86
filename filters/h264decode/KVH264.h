// The H.264 decoder filter: H.264 samples from the source filter (or an AVI splitter) in,
// packed 4:2:2 pictures (or YV12) for the video renderer out.
//
// Threads. Receive and EndOfStream run on the upstream pin's streaming thread under the base
// class's m_csReceive; connections, state changes and flushes on the graph's thread under the
// state lock m_csFilter. EndFlush takes m_csReceive after the state lock, in the base class's
// Stop order, and the streaming thread never takes the state lock, so the two cannot cross.
// AlterQuality may come on any thread. FFmpeg's decoding threads never call back here.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "filters/h264decode/AvcDecoderConfig.h"
#include "filters/h264decode/VideoDecoder.h"
#include "platform/dshow/streams.h"

// {1BD9030B-C6EB-4A16-8D87-D0734AA84CB5}
DEFINE_GUID(CLSID_KVH264DecodeFilter, 0x1BD9030B, 0xC6EB, 0x4A16, 0x8D, 0x87, 0xD0, 0x73, 0x4A,
            0xA8, 0x4C, 0xB5);

class KVH264 : public CTransformFilter {
public:
    // The class factory's creation function: a new filter without references, or null with
    // E_OUTOFMEMORY.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);
    ~KVH264() override;

    // The registration data of the filter: "KESTROVAN H264 Decoding Filter", MERIT_DO_NOT_USE.
    static const AMOVIESETUP_FILTER g_FilterSetup;
    const AMOVIESETUP_FILTER* GetSetupData() override { return &g_FilterSetup; }

    // H.264 video (FOURCC "AVC1" or "H264" for the first type) described by a VIDEOINFOHEADER,
    // VIDEOINFOHEADER2 or MPEG2VIDEOINFO block long enough for its structure, with a positive
    // width and a height that is not 0. Checking changes nothing: a type takes effect when the
    // pin is connected with it or a sample brings it.
    HRESULT CheckInputType(const CMediaType* input) override;
    // Output types the filter can write: YUY2, YVYU, UYVY or YV12 video with a VIDEOINFOHEADER
    // or VIDEOINFOHEADER2 block whose stride (biWidth, in pixels) holds the picture's width.
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    // One output buffer of width x height x 4 bytes.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Positions 0 to 2: YUY2, YVYU and UYVY at the input's size and frame duration.
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    // A renderer that reports more than 33 ms of lateness makes the filter drop one decoded
    // picture for every 33 ms. Always S_OK: quality messages end here.
    HRESULT AlterQuality(Quality quality) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType) override;

    // Decodes the sample and delivers every picture the decoder has finished, each with the
    // times of the sample it was decoded from.
    HRESULT Receive(IMediaSample* sample) override;
    // Delivers the pictures still in the decoder, then the end of the stream.
    HRESULT EndOfStream() override;
    // Empties the decoder, so that nothing from before the flush comes out after it, and waits
    // for the next key frame.
    HRESULT EndFlush() override;
    // The first picture of a run is marked as a discontinuity.
    HRESULT StartStreaming() override;

    // What SelectOutputFormat maps a subtype to; AV_PIX_FMT_NONE for GUID_NULL and for
    // subtypes the filter cannot write.
    static AVPixelFormat PixelFormatOf(const GUID& subtype);

private:
    KVH264(LPUNKNOWN outer, HRESULT* phr);

    // What an input type says, read without changing the filter.
    struct InputFormat {
        int width = 0;                     // pixels
        int height = 0;                    // rows, always positive
        REFERENCE_TIME frameDuration = 0;  // 100 ns, never 0
        DWORD fourcc = 0;
        AvcDecoderConfig config;  // empty unless the type is FORMAT_MPEG2Video with sets
        bool hasConfig = false;   // the type is FORMAT_MPEG2Video with a sequence header
    };
    static bool ReadInputFormat(const AM_MEDIA_TYPE& type, InputFormat* format);
    void ApplyInputType(const AM_MEDIA_TYPE& type);

    // Maps an output subtype and its format block to the pixel format and stride that the
    // conversion writes. S_FALSE for a subtype outside the table (the pixel format becomes
    // none) and for a block that is missing a stride it needs (the pixel format stays set).
    HRESULT SelectOutputFormat(const GUID& subtype, const GUID& formatType, const BYTE* format,
                               ULONG formatLength);

    // The times and flags of one input sample, kept until its picture comes out.
    struct SampleInfo {
        int64_t key = -1;  // -1: the slot is free
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        DWORD flags = 0;  // AM_SAMPLE_* of the input sample
    };
    // Pictures come out at most thread count plus reordering depth behind their packets.
    static constexpr int kPendingSamples = 128;

    bool EnsureDecoder();
    // Takes every finished picture from the decoder and delivers it. S_OK, or what the
    // downstream pin answered when it refused a picture (the caller passes it upstream).
    HRESULT DeliverPictures();
    HRESULT DeliverPicture(const SampleInfo& info);
    void NoteSkipped();
    void ForgetPending();

    // Guarded by m_csFormat, which is taken only for these fields and never while calling out.
    // Written when a pin connects (graph thread) or a sample brings a new type (streaming
    // thread); read by both.
    CCritSec m_csFormat;
    AVCodecID m_codecId = AV_CODEC_ID_NONE;  // set by the first input type accepted
    int m_width = 0;
    int m_height = 0;
    REFERENCE_TIME m_frameDuration = 400000;  // 100 ns; 25 frames per second when not told
    AvcDecoderConfig m_config;
    int m_outputStride = 0;  // pixels: the output type's biWidth
    AVPixelFormat m_outputPixelFormat = AV_PIX_FMT_NONE;
    bool m_outputTypeError = false;  // an output type brought by a sample could not be used

    // Guarded by m_csReceive.
    std::unique_ptr<VideoDecoder> m_decoder;
    bool m_waitForKeyFrame = false;
    bool m_discontinuity = true;  // the next delivered picture starts a new run
    int64_t m_nextKey = 0;
    SampleInfo m_pending[kPendingSamples];

    std::atomic<int> m_framesToSkip{0};
};
