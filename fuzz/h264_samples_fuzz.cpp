// Feeds arbitrary bytes to the H.264 decoder filter as the samples of a stream, through its
// input pin as a source would deliver them, with flushes, preroll and an end of stream among
// them: nothing may crash, leak, hang or write outside a buffer.
//
// Input: byte 0 flags (bits 0-1 the NAL length size 4, 2, 1, 4), bytes 1-2 and 3-4 the
// picture's width and height (big-endian, taken modulo 1024, plus 1), bytes 5-6 the length of
// the parameter sets that follow (as an MPEG2VIDEOINFO carries them), then samples: a flag
// byte (1 sync point, 2 preroll, 4 a flush first, 8 no times), a 2-byte length and the bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "filters/h264decode/KVH264.h"
#include "platform/dshow/streams.h"

namespace {

DEFINE_GUID(CLSID_FuzzSource, 0x4C1D8E27, 0x3B6A, 0x4F90, 0x8D, 0x15, 0x62, 0xAE, 0x09, 0x7B, 0xC4,
            0x3F);
DEFINE_GUID(CLSID_FuzzSink, 0x4C1D8E28, 0x3B6A, 0x4F90, 0x8D, 0x15, 0x62, 0xAE, 0x09, 0x7B, 0xC4,
            0x3F);

class SourcePin : public CBaseOutputPin {
public:
    SourcePin(CBaseFilter* filter, CCritSec* lock, const CMediaType& type)
        : CBaseOutputPin(nullptr, filter, lock, nullptr, L"Out"), m_type(type)
    {
    }
    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return *type == m_type ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int position, CMediaType* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        return type->Set(m_type);
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = 1;
        request->cbBuffer = 1 << 16;
        request->cbAlign = 1;
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }

private:
    CMediaType m_type;
};

class Source : public CBaseFilter {
public:
    explicit Source(const CMediaType& type)
        : CBaseFilter(nullptr, nullptr, &m_lock, CLSID_FuzzSource), m_pin(this, &m_lock, type)
    {
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
    SourcePin* Pin() { return &m_pin; }

private:
    CCritSec m_lock;
    SourcePin m_pin;
};

class SinkPin : public CBaseInputPin {
public:
    SinkPin(CBaseFilter* filter, CCritSec* lock)
        : CBaseInputPin(nullptr, filter, lock, nullptr, L"In")
    {
    }
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    // Reads every byte delivered, so that a length beyond what was written shows.
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override
    {
        HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK)
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG length = sample->GetActualDataLength();
        if (length < 0 || length > sample->GetSize())
            __builtin_trap();
        unsigned sum = 0;
        for (LONG i = 0; i < length; ++i)
            sum += data[i];
        m_sum += sum;
        return S_OK;
    }
    unsigned m_sum = 0;
};

class Sink : public CBaseFilter {
public:
    Sink() : CBaseFilter(nullptr, nullptr, &m_lock, CLSID_FuzzSink), m_pin(this, &m_lock) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
    SinkPin* Pin() { return &m_pin; }

private:
    CCritSec m_lock;
    SinkPin m_pin;
};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool Has(size_t n) const { return at + n <= size; }
    unsigned Byte() { return Has(1) ? data[at++] : 0; }
    unsigned Word()
    {
        const unsigned high = Byte();
        return (high << 8) | Byte();
    }
};

CMediaType InputType(Reader& in)
{
    const unsigned flags = in.Byte();
    const LONG width = LONG(in.Word() % 1024 + 1);
    const LONG height = LONG(in.Word() % 1024 + 1);
    size_t setsLength = in.Word();
    if (!in.Has(setsLength))
        setsLength = in.size - in.at;
    std::vector<BYTE> block(SIZE_MPEG2VIDEOINFO_HEADER + setsLength, 0);
    MPEG2VIDEOINFO info = {};
    info.hdr.rcSource = info.hdr.rcTarget = RECT{0, 0, width, height};
    info.hdr.AvgTimePerFrame = 666666;
    info.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.hdr.bmiHeader.biWidth = width;
    info.hdr.bmiHeader.biHeight = height;
    info.hdr.bmiHeader.biCompression = MAKEFOURCC('A', 'V', 'C', '1');
    const DWORD lengthSizes[] = {4, 2, 1, 4};
    info.dwFlags = lengthSizes[flags & 3];
    info.dwProfile = 66;
    info.dwLevel = 30;
    info.cbSequenceHeader = DWORD(setsLength);
    std::memcpy(block.data(), &info, SIZE_MPEG2VIDEOINFO_HEADER);
    if (setsLength)
        std::memcpy(block.data() + SIZE_MPEG2VIDEOINFO_HEADER, in.data + in.at, setsLength);
    in.at += setsLength;
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_AVC1);
    type.SetFormatType(&FORMAT_MPEG2Video);
    type.SetFormat(block.data(), ULONG(block.size()));
    return type;
}

// ---------------------------------------------------------------------------------------------
// Seeds from the fixture recordings: their parameter sets and first samples in the input form.

void AppendWord(std::string& out, unsigned value)
{
    out.push_back(char(value >> 8));
    out.push_back(char(value & 0xFF));
}

std::string SeedFrom(const std::string& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + path).c_str(), nullptr, nullptr) < 0)
        return {};
    std::string seed;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodecParameters* codec = index >= 0 ? format->streams[index]->codecpar : nullptr;
    if (codec && codec->extradata_size > 7 && codec->extradata[0] == 1) {
        const uint8_t* record = codec->extradata;
        const int size = codec->extradata_size;
        std::string sets;
        int at = 5;
        for (int list = 0; list < 2 && at < size; ++list) {
            const int count = record[at++] & 0x1F;
            for (int i = 0; i < count && at + 2 <= size; ++i) {
                const int length = (record[at] << 8) | record[at + 1];
                if (at + 2 + length > size)
                    break;
                sets.append(reinterpret_cast<const char*>(record + at), size_t(length) + 2);
                at += 2 + length;
            }
        }
        seed.push_back(char(((record[4] & 3) + 1) == 2 ? 1 : 0));
        AppendWord(seed, unsigned(codec->width - 1));
        AppendWord(seed, unsigned(codec->height - 1));
        AppendWord(seed, unsigned(sets.size()));
        seed += sets;
        AVPacket* packet = av_packet_alloc();
        int samples = 0;
        while (samples < 12 && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index && packet->size < 65536) {
                seed.push_back(char((packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0));
                AppendWord(seed, unsigned(packet->size));
                seed.append(reinterpret_cast<const char*>(packet->data), size_t(packet->size));
                ++samples;
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return seed;
}

}  // namespace

// Seeds an empty corpus folder (the first argument that is not an option) from $KV_FIXTURES.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    namespace fs = std::filesystem;
    av_log_set_level(AV_LOG_QUIET);
    const char* fixtures = std::getenv("KV_FIXTURES");
    if (!fixtures)
        return 0;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (arg[0] == '-')
            continue;
        std::error_code error;
        if (!fs::is_directory(arg, error) || !fs::is_empty(arg, error))
            return 0;
        for (const char* name : {"normal", "bframes", "tiny16"}) {
            const std::string seed = SeedFrom(std::string(fixtures) + "/single/" + name + ".mp4");
            if (seed.empty())
                continue;
            std::ofstream(fs::path(arg) / (std::string(name) + ".seed"), std::ios::binary) << seed;
        }
        return 0;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const CMediaType type = InputType(in);

    HRESULT hr = S_OK;
    auto* decoder = static_cast<KVH264*>(KVH264::CreateInstance(nullptr, &hr));
    ComPtr<IBaseFilter> decoderFilter(static_cast<IBaseFilter*>(decoder));
    auto* source = new Source(type);
    ComPtr<IBaseFilter> sourceFilter(static_cast<IBaseFilter*>(source));
    auto* sink = new Sink();
    ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
    IPin* decoderIn = static_cast<IPin*>(decoder->GetPin(0));
    IPin* decoderOut = static_cast<IPin*>(decoder->GetPin(1));

    if (source->Pin()->Connect(decoderIn, nullptr) == S_OK &&
        decoderOut->Connect(sink->Pin(), nullptr) == S_OK) {
        sink->Run(0);
        decoder->Run(0);
        source->Run(0);
        REFERENCE_TIME time = 0;
        while (in.Has(3)) {
            const unsigned flags = in.Byte();
            size_t length = in.Word();
            if (!in.Has(length))
                length = in.size - in.at;
            if (flags & 4) {
                source->Pin()->DeliverBeginFlush();
                source->Pin()->DeliverEndFlush();
            }
            IMediaSample* sample = nullptr;
            if (SUCCEEDED(source->Pin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
                BYTE* buffer = nullptr;
                sample->GetPointer(&buffer);
                const LONG bytes = LONG(std::min<size_t>(length, size_t(sample->GetSize())));
                std::memcpy(buffer, in.data + in.at, size_t(bytes));
                sample->SetActualDataLength(bytes);
                REFERENCE_TIME stop = time + 666666;
                if (!(flags & 8))
                    sample->SetTime(&time, &stop);
                sample->SetSyncPoint((flags & 1) ? TRUE : FALSE);
                sample->SetPreroll((flags & 2) ? TRUE : FALSE);
                source->Pin()->Deliver(sample);
                sample->Release();
            }
            in.at += length;
            time += 666666;
        }
        source->Pin()->DeliverEndOfStream();
        sink->Stop();
        decoder->Stop();
        source->Stop();
    }
    source->Pin()->Disconnect();
    decoderIn->Disconnect();
    decoderOut->Disconnect();
    sink->Pin()->Disconnect();
    return 0;
}
