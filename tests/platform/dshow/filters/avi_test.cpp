// The file reader, the AVI splitter and the audio wrapper on mkcard's AVI recordings (and its
// damaged ones), with the graph manager and recording renderers downstream.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "MediaTypes.h"
#include "NullRenderer.h"
#include "PushSource.h"
#include "SysFilterTesting.h"

using namespace systest;
using dshowtest::CNullRenderer;

namespace {

constexpr LONGLONG kUnits = 10000000;

std::vector<BYTE> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

// A sample of the reader's allocator asking for `length` bytes at `position`.
ComPtr<IMediaSample> ReadRequest(IMemAllocator* allocator, LONGLONG position, LONG length)
{
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = position * kUnits;
    REFERENCE_TIME stop = (position + length) * kUnits;
    sample->SetTime(&start, &stop);
    return sample;
}

struct Reader {
    explicit Reader(const std::string& fixture)
    {
        filter = Make<IBaseFilter>(CLSID_AsyncReader);
        ComPtr<IFileSourceFilter> source;
        EXPECT_EQ(filter->QueryInterface(IID_PPV_ARGS(&source)), S_OK);
        loaded = source->Load(FixturePath(fixture).c_str(), nullptr);
        if (SUCCEEDED(loaded)) {
            pin = OutPin(filter.Get(), 0);
            pin->QueryInterface(IID_PPV_ARGS(&reader));
        }
    }
    ComPtr<IBaseFilter> filter;
    HRESULT loaded = E_FAIL;
    ComPtr<IPin> pin;
    ComPtr<IAsyncReader> reader;
};

TEST(AsyncReader, LoadsAFileAndReadsItByPositionThroughQueuedRequests)
{
    ComScope com;
    const std::string fixture = "avi/lines.avi";
    const std::vector<BYTE> bytes = FileBytes(Fixture(fixture));
    ASSERT_GT(bytes.size(), 4096u);
    Reader r(fixture);
    ASSERT_EQ(r.loaded, S_OK);
    ASSERT_TRUE(r.reader);

    ComPtr<IFileSourceFilter> source;
    r.filter->QueryInterface(IID_PPV_ARGS(&source));
    LPOLESTR name = nullptr;
    CMediaType type;
    ASSERT_EQ(source->GetCurFile(&name, &type), S_OK);
    EXPECT_EQ(std::wstring(name), FixturePath(fixture));
    CoTaskMemFree(name);
    EXPECT_TRUE(IsEqualGUID(*type.Type(), MEDIATYPE_Stream));
    EXPECT_TRUE(IsEqualGUID(*type.Subtype(), MEDIASUBTYPE_Avi));

    LONGLONG total = 0;
    LONGLONG available = 0;
    ASSERT_EQ(r.reader->Length(&total, &available), S_OK);
    EXPECT_EQ(total, LONGLONG(bytes.size()));
    EXPECT_EQ(available, total);

    BYTE head[12] = {};
    ASSERT_EQ(r.reader->SyncRead(0, 12, head), S_OK);
    EXPECT_EQ(std::memcmp(head, "RIFF", 4), 0);
    std::vector<BYTE> tail(64);
    EXPECT_EQ(r.reader->SyncRead(total - 10, 64, tail.data()), S_FALSE) << "past the end";

    ALLOCATOR_PROPERTIES props{4, 4096, 1, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(r.reader->RequestAllocator(nullptr, &props, &allocator), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    struct Case {
        LONGLONG position;
        LONG length;
        HRESULT result;
    };
    const Case cases[] = {{0, 4096, S_OK},
                          {1001, 333, S_OK},
                          {LONGLONG(bytes.size()) - 100, 4096, S_FALSE},
                          {LONGLONG(bytes.size()) + 50, 16, S_FALSE}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        ComPtr<IMediaSample> sample = ReadRequest(allocator.Get(), cases[i].position, cases[i].length);
        ASSERT_EQ(r.reader->Request(sample.Get(), DWORD_PTR(i)), S_OK);
    }
    for (size_t n = 0; n < std::size(cases); ++n) {
        ComPtr<IMediaSample> done;
        DWORD_PTR user = 99;
        const HRESULT hr = r.reader->WaitForNext(5000, &done, &user);
        ASSERT_TRUE(done) << "request " << n;
        ASSERT_LT(user, std::size(cases));
        const Case& c = cases[user];
        EXPECT_EQ(hr, c.result) << "request " << user;
        const LONGLONG expected =
            std::clamp<LONGLONG>(LONGLONG(bytes.size()) - c.position, 0, c.length);
        EXPECT_EQ(done->GetActualDataLength(), expected) << "request " << user;
        BYTE* data = nullptr;
        done->GetPointer(&data);
        if (expected > 0)
            EXPECT_EQ(std::memcmp(data, bytes.data() + c.position, size_t(expected)), 0);
    }
    ComPtr<IMediaSample> none;
    DWORD_PTR user = 0;
    EXPECT_EQ(r.reader->WaitForNext(0, &none, &user), VFW_E_TIMEOUT);
    allocator->Decommit();
}

TEST(AsyncReader, FlushHandsBackWhatWasQueuedAndRefusesNewRequests)
{
    ComScope com;
    Reader r("avi/lines.avi");
    ASSERT_TRUE(r.reader);
    ALLOCATOR_PROPERTIES props{8, 1024, 1, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(r.reader->RequestAllocator(nullptr, &props, &allocator), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(r.reader->Request(ReadRequest(allocator.Get(), i * 1024, 1024).Get(), 0), S_OK);
    ASSERT_EQ(r.reader->BeginFlush(), S_OK);
    int returned = 0;
    for (;;) {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user = 0;
        const HRESULT hr = r.reader->WaitForNext(INFINITE, &sample, &user);  // must not block
        if (!sample) {
            EXPECT_EQ(hr, VFW_E_WRONG_STATE);
            break;
        }
        ++returned;
    }
    EXPECT_EQ(returned, 6);
    EXPECT_EQ(r.reader->Request(ReadRequest(allocator.Get(), 0, 16).Get(), 0), VFW_E_WRONG_STATE);
    ASSERT_EQ(r.reader->EndFlush(), S_OK);
    EXPECT_EQ(r.reader->Request(ReadRequest(allocator.Get(), 0, 16).Get(), 7), S_OK);
    ComPtr<IMediaSample> sample;
    DWORD_PTR user = 0;
    EXPECT_EQ(r.reader->WaitForNext(5000, &sample, &user), S_OK);
    EXPECT_EQ(user, DWORD_PTR(7));
    sample = nullptr;
    allocator->Decommit();
}

TEST(AsyncReader, RefusesWhatCannotBeRead)
{
    ComScope com;
    ComPtr<IBaseFilter> filter = Make<IBaseFilter>(CLSID_AsyncReader);
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(&source)), S_OK);
    LPOLESTR name = nullptr;
    EXPECT_EQ(source->GetCurFile(&name, nullptr), E_FAIL);
    EXPECT_EQ(source->Load(nullptr, nullptr), E_POINTER);
    EXPECT_TRUE(FAILED(source->Load(FixturePath("avi/missing.avi").c_str(), nullptr)));
    EXPECT_TRUE(FAILED(source->Load(FixturePath("avi").c_str(), nullptr))) << "a folder";
    ASSERT_EQ(source->Load(FixturePath("avi/lines.avi").c_str(), nullptr), S_OK);
    EXPECT_EQ(source->Load(FixturePath("avi/lines.avi").c_str(), nullptr), E_UNEXPECTED);
}

// A graph of the reader and the splitter on one file, connected when the file allows.
struct SplitterGraph {
    explicit SplitterGraph(const std::string& fixture)
    {
        graph = Make<IGraphBuilder>(CLSID_FilterGraph);
        reader = Make<IBaseFilter>(CLSID_AsyncReader);
        splitter = Make<IBaseFilter>(CLSID_AviSplitter);
        graph->AddFilter(reader.Get(), L"DirectShow Async File Source");
        graph->AddFilter(splitter.Get(), L"DirectShow AVI Splitter");
        ComPtr<IFileSourceFilter> source;
        reader->QueryInterface(IID_PPV_ARGS(&source));
        loaded = source->Load(FixturePath(fixture).c_str(), nullptr);
        if (SUCCEEDED(loaded))
            connected = graph->Connect(OutPin(reader.Get(), 0).Get(), InPin(splitter.Get()).Get());
        graph->QueryInterface(IID_PPV_ARGS(&control));
        graph->QueryInterface(IID_PPV_ARGS(&events));
        graph->QueryInterface(IID_PPV_ARGS(&seeking));
    }
    ~SplitterGraph()
    {
        if (control)
            control->Stop();
    }

    // A recording renderer on the splitter's output `index`, through `through` when given.
    CNullRenderer* Render(size_t index, IBaseFilter* through = nullptr)
    {
        auto* renderer = new CNullRenderer();
        renderer->SetKeptBytes(4);
        ComPtr<IBaseFilter> keep(static_cast<IBaseFilter*>(renderer));
        graph->AddFilter(renderer, nullptr);
        ComPtr<IPin> out = OutPin(splitter.Get(), index);
        if (through) {
            graph->AddFilter(through, nullptr);
            EXPECT_EQ(graph->Connect(out.Get(), InPin(through).Get()), S_OK);
            out = OutPin(through, 0);
        }
        EXPECT_EQ(graph->Connect(out.Get(), renderer->InputPin()), S_OK);
        return renderer;  // the graph holds it
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> reader;
    ComPtr<IBaseFilter> splitter;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaSeeking> seeking;
    HRESULT loaded = E_FAIL;
    HRESULT connected = E_FAIL;
};

TEST(AviSplitter, MakesOnePinPerStreamWithTheTypesAUserOfTheSplitterSees)
{
    ComScope com;
    SplitterGraph g("avi/lines.avi");
    ASSERT_EQ(g.connected, S_OK);
    auto outputs = Pins(g.splitter.Get(), PINDIR_OUTPUT);
    ASSERT_EQ(outputs.size(), 3u);
    const wchar_t* names[] = {L"Stream 00", L"Stream 01", L"Stream 02"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(PinName(outputs[i].Get()), names[i]);

    auto firstType = [](IPin* pin) {
        CMediaType type;
        ComPtr<IEnumMediaTypes> types;
        AM_MEDIA_TYPE* got = nullptr;
        if (SUCCEEDED(pin->EnumMediaTypes(&types)) && types->Next(1, &got, nullptr) == S_OK) {
            type = *got;
            DeleteMediaType(got);
        }
        return type;
    };
    const CMediaType video = firstType(outputs[0].Get());
    EXPECT_TRUE(IsEqualGUID(*video.Type(), MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(*video.Subtype(), sysfilters::FourCCGuid(MAKEFOURCC('H', '2', '6', '4'))));
    ASSERT_TRUE(IsEqualGUID(*video.FormatType(), FORMAT_VideoInfo));
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(video.Format());
    EXPECT_EQ(vih->bmiHeader.biWidth, 320);
    EXPECT_EQ(vih->bmiHeader.biHeight, 180);
    EXPECT_EQ(vih->bmiHeader.biCompression, MAKEFOURCC('H', '2', '6', '4'));
    EXPECT_EQ(vih->AvgTimePerFrame, 666666);

    const CMediaType audio = firstType(outputs[1].Get());
    EXPECT_TRUE(IsEqualGUID(*audio.Type(), MEDIATYPE_Audio));
    EXPECT_TRUE(IsEqualGUID(*audio.Subtype(), MEDIASUBTYPE_PCM));
    const WAVEFORMATEX* wfx = sysfilters::WaveFormat(audio);
    ASSERT_TRUE(wfx);
    EXPECT_EQ(wfx->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nSamplesPerSec, 16000u);
    EXPECT_EQ(wfx->wBitsPerSample, 16);

    EXPECT_TRUE(IsEqualGUID(*firstType(outputs[2].Get()).Type(), MEDIATYPE_Text));

    LONGLONG duration = 0;
    ComPtr<IMediaSeeking> pinSeeking;
    ASSERT_EQ(outputs[0]->QueryInterface(IID_PPV_ARGS(&pinSeeking)), S_OK);
    ASSERT_EQ(pinSeeking->GetDuration(&duration), S_OK);
    EXPECT_NEAR(double(duration), 3.0 * kUnits, 0.1 * kUnits);

    // Letting go of the file takes the output pins away.
    ASSERT_EQ(g.graph->Disconnect(InPin(g.splitter.Get()).Get()), S_OK);
    g.graph->Disconnect(OutPin(g.reader.Get(), 0).Get());
    EXPECT_TRUE(Pins(g.splitter.Get(), PINDIR_OUTPUT).empty());
}

TEST(AviSplitter, RefusesAFileThatIsNoAviAtItsInputConnection)
{
    ComScope com;
    for (const char* fixture : {"single/normal.mp4", "single/empty.mp4", "single/truncated.mp4"}) {
        SplitterGraph g(fixture);
        if (FAILED(g.loaded))
            continue;
        EXPECT_TRUE(FAILED(g.connected)) << fixture;
        EXPECT_TRUE(Pins(g.splitter.Get(), PINDIR_OUTPUT).empty()) << fixture;
    }
}

TEST(AviSplitter, PlaysEveryStreamToItsEndWithTheSoundThroughTheWrapper)
{
    ComScope com;
    SplitterGraph g("avi/lines.avi");
    ASSERT_EQ(g.connected, S_OK);
    CNullRenderer* video = g.Render(0);
    ComPtr<IBaseFilter> wrapper = Make<IBaseFilter>(CLSID_ACMWrapper);
    CNullRenderer* sound = g.Render(1, wrapper.Get());
    ComPtr<IMediaFilter> timing;
    g.graph->QueryInterface(IID_PPV_ARGS(&timing));
    timing->SetSyncSource(nullptr);  // as fast as the filters go
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ASSERT_TRUE(WaitForEvent(g.events.Get(), EC_COMPLETE, 20000));

    const auto pictures = video->Samples();
    ASSERT_EQ(pictures.size(), 45u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].start, REFERENCE_TIME(i) * kUnits / 15) << "picture " << i;
        EXPECT_EQ(pictures[i].syncPoint, i % 15 == 0) << "picture " << i;
    }
    EXPECT_TRUE(pictures[0].discontinuity);

    const auto blocks = sound->Samples();
    ASSERT_FALSE(blocks.empty());
    LONGLONG bytes = 0;
    REFERENCE_TIME expectedStart = 0;
    for (const auto& block : blocks) {
        EXPECT_NEAR(double(block.start), double(expectedStart), 10.0) << "sound runs on";
        expectedStart = block.stop;
        bytes += block.length;
    }
    EXPECT_EQ(bytes, 3 * 16000 * 4);
}

TEST(AviSplitter, SeeksToTheKeyFrameBeforeThePositionWhilePaused)
{
    ComScope com;
    SplitterGraph g("avi/lines.avi");
    ASSERT_EQ(g.connected, S_OK);
    CNullRenderer* video = g.Render(0);
    ComPtr<IMediaFilter> timing;
    g.graph->QueryInterface(IID_PPV_ARGS(&timing));
    timing->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(g.control->Pause()));
    ASSERT_TRUE(video->WaitForSamples(1));
    video->SetHold(true);
    LONGLONG target = 15 * kUnits / 10;  // 1.5 s: the key frame before it is at 1 s
    video->ClearRecords();
    ASSERT_EQ(g.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning),
              S_OK);
    video->SetHold(false);
    ASSERT_TRUE(g.control->Run() >= 0);
    ASSERT_TRUE(WaitForEvent(g.events.Get(), EC_COMPLETE, 20000));
    // A picture held before the seek may be recorded as the flush lets it go: the new
    // position starts at the discontinuity.
    auto all = video->Samples();
    auto first = std::find_if(all.begin(), all.end(), [](const auto& p) { return p.discontinuity; });
    const std::vector<dshowtest::SampleRecord> pictures(first, all.end());
    ASSERT_EQ(pictures.size(), 30u) << "from the key frame at 1 s to the end";
    EXPECT_TRUE(pictures[0].syncPoint);
    EXPECT_EQ(pictures[0].start, -5000000) << "before the position: negative times";
    EXPECT_EQ(pictures[8].start, LONGLONG(8) * kUnits / 15 - 5000000);
}

TEST(AviSplitter, DamagedRecordingsFailAtTheConnectionOrEndEarly)
{
    ComScope com;
    for (const char* fixture : {"avi/short.avi", "avi/pastend.avi", "avi/hugeindex.avi",
                                "avi/sizes.avi", "avi/lowercase.avi",
                                "avi/undeclared.avi"}) {
        SCOPED_TRACE(fixture);
        SplitterGraph g(fixture);
        ASSERT_EQ(g.loaded, S_OK);
        // Chunks of a stream the header does not declare are passed over.
        const bool undeclared = std::string(fixture) == "avi/undeclared.avi";
        if (FAILED(g.connected)) {
            EXPECT_FALSE(undeclared);
            continue;  // a clear error from the input connection
        }
        auto outputs = Pins(g.splitter.Get(), PINDIR_OUTPUT);
        ASSERT_FALSE(outputs.empty());
        std::vector<CNullRenderer*> renderers;
        for (size_t i = 0; i < outputs.size(); ++i)
            renderers.push_back(g.Render(i));
        ComPtr<IMediaFilter> timing;
        g.graph->QueryInterface(IID_PPV_ARGS(&timing));
        timing->SetSyncSource(nullptr);
        ASSERT_TRUE(SUCCEEDED(g.control->Run()));
        EXPECT_TRUE(WaitForEvent(g.events.Get(), EC_COMPLETE, 20000));
        // Whatever the damage lets through lies on the recording's own timeline, in order.
        REFERENCE_TIME previous = -1;
        for (const auto& picture : renderers[0]->Samples()) {
            EXPECT_GT(picture.start, previous);
            EXPECT_LE(picture.start, 3 * kUnits);
            previous = picture.start;
        }
        if (undeclared) {
            EXPECT_EQ(outputs.size(), 3u) << "no pin for the undeclared stream";
            EXPECT_EQ(renderers[0]->Samples().size(), 45u) << "every picture of the 3 s";
        }
        EXPECT_EQ(g.control->Stop(), S_OK);
    }
}

// Compressed sound as a camera writes it, encoded here with libavcodec, decoded by the
// wrapper.
TEST(AcmWrapper, DecodesCompressedSoundToSixteenBitPcm)
{
    ComScope com;
    struct Case {
        const char* encoder;
        WORD tag;
        AVSampleFormat format;
    };
    const Case cases[] = {{"adpcm_ima_wav", 0x11, AV_SAMPLE_FMT_S16P},
                          {"libmp3lame", 0x55, AV_SAMPLE_FMT_S16P},
                          {"aac", 0xFF, AV_SAMPLE_FMT_FLTP}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
        if (!codec)
            continue;  // not in this FFmpeg
        AVCodecContext* enc = avcodec_alloc_context3(codec);
        enc->sample_rate = 44100;
        av_channel_layout_default(&enc->ch_layout, 2);
        enc->sample_fmt = c.format;
        enc->bit_rate = 128000;
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        bool supported = false;
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            supported = supported || *f == c.format;
        if (!supported || avcodec_open2(enc, codec, nullptr) < 0) {
            avcodec_free_context(&enc);
            continue;
        }
        // A second of a 1 kHz tone at half scale.
        std::vector<std::vector<BYTE>> packets;
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        const int frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
        int64_t done = 0;
        auto drain = [&] {
            while (avcodec_receive_packet(enc, packet) == 0) {
                packets.emplace_back(packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        };
        while (done < 44100) {
            frame->nb_samples = frameSize;
            frame->format = c.format;
            av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
            frame->sample_rate = 44100;
            av_frame_get_buffer(frame, 0);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < frameSize; ++i) {
                    const double v = 0.5 * std::sin(2 * M_PI * 1000 * double(done + i) / 44100);
                    if (c.format == AV_SAMPLE_FMT_FLTP)
                        reinterpret_cast<float*>(frame->data[ch])[i] = float(v);
                    else
                        reinterpret_cast<int16_t*>(frame->data[ch])[i] = int16_t(v * 32767);
                }
            frame->pts = done;
            avcodec_send_frame(enc, frame);
            drain();
            av_frame_unref(frame);
            done += frameSize;
        }
        avcodec_send_frame(enc, nullptr);
        drain();
        std::vector<BYTE> format(sizeof(WAVEFORMATEX) + size_t(enc->extradata_size));
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = c.tag;
        wfx.nChannels = 2;
        wfx.nSamplesPerSec = 44100;
        wfx.nBlockAlign = WORD(enc->block_align);
        wfx.wBitsPerSample = WORD(enc->bits_per_coded_sample);
        wfx.nAvgBytesPerSec = 16000;
        wfx.cbSize = WORD(enc->extradata_size);
        std::memcpy(format.data(), &wfx, sizeof wfx);
        if (enc->extradata_size > 0)
            std::memcpy(format.data() + sizeof wfx, enc->extradata, size_t(enc->extradata_size));
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&enc);

        CMediaType type;
        type.SetType(&MEDIATYPE_Audio);
        const GUID subtype = sysfilters::FourCCGuid(c.tag);
        type.SetSubtype(&subtype);
        type.SetFormatType(&FORMAT_WaveFormatEx);
        type.SetFormat(format.data(), ULONG(format.size()));
        auto* source = new h264test::CPushSource(type, 64 * 1024, 2);
        ComPtr<IBaseFilter> keepSource(static_cast<IBaseFilter*>(source));
        ComPtr<IBaseFilter> wrapper = Make<IBaseFilter>(CLSID_ACMWrapper);
        auto* sink = new CNullRenderer();
        ComPtr<IBaseFilter> keepSink(static_cast<IBaseFilter*>(sink));
        sink->SetKeptBytes(1 << 20);
        ComPtr<IGraphBuilder> graph = Make<IGraphBuilder>(CLSID_FilterGraph);
        graph->AddFilter(source, L"source");
        graph->AddFilter(wrapper.Get(), L"wrapper");
        graph->AddFilter(sink, L"sink");
        ASSERT_EQ(graph->Connect(source->OutputPin(), InPin(wrapper.Get()).Get()), S_OK);
        ASSERT_EQ(graph->Connect(OutPin(wrapper.Get(), 0).Get(), sink->InputPin()), S_OK);
        CMediaType out;
        OutPin(wrapper.Get(), 0)->ConnectionMediaType(&out);
        const WAVEFORMATEX* pcm = sysfilters::WaveFormat(out);
        ASSERT_TRUE(pcm);
        EXPECT_EQ(pcm->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(pcm->wBitsPerSample, 16);
        EXPECT_EQ(pcm->nChannels, 2);
        EXPECT_EQ(pcm->nSamplesPerSec, 44100u);
        ComPtr<IMediaFilter> timing;
        graph->QueryInterface(IID_PPV_ARGS(&timing));
        timing->SetSyncSource(nullptr);
        ComPtr<IMediaControl> control;
        graph->QueryInterface(IID_PPV_ARGS(&control));
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        REFERENCE_TIME t = 0;
        for (const auto& p : packets) {
            h264test::PushOptions options;
            options.start = t;
            options.stop = t + 1;
            options.sync = true;
            EXPECT_EQ(source->Push(p.data(), LONG(p.size()), options), S_OK);
            t = -1;  // the wrapper counts on from the first time
            options.timed = false;
        }
        source->PushEndOfStream();
        ASSERT_TRUE(sink->WaitForEndOfStream());
        LONGLONG frames = 0;
        int peak = 0;
        for (const auto& s : sink->Samples()) {
            frames += s.length / 4;
            for (size_t i = 0; i + 1 < s.data.size(); i += 2)
                peak = std::max(peak, std::abs(int(int16_t(s.data[i] | (s.data[i + 1] << 8)))));
        }
        EXPECT_NEAR(double(frames), 44100.0, 3000.0);
        EXPECT_NEAR(peak, 16384, 3000) << "the tone's level";
        control->Stop();
    }
}

}  // namespace
