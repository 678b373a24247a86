// The MP4 reading core against the recordings mkcard writes: which files open with which ports,
// the formats the ports carry, the samples delivered (bytes, times, sync points, PCM), and the
// reading thread under halt, resume and seek.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "Recordings.h"
#include "filtercore/KVMP4SourceCore.h"
#include "filtercore/PcmConversion.h"
#include "filtercore/ProbeRecording.h"
#include "filtercore/TextTrackReader.h"
#include "platform/dshow.h"

using namespace FilterCore;
namespace fs = std::filesystem;

namespace {

struct Pulled {
    LONGLONG start;
    bool sync;
    std::string data;
};

// Pulls samples of one track the way a pin does, until the core says there is none (the end
// marker, or a halt), or `limit` samples.
std::vector<Pulled> Pull(KVMP4SourceCore& core, int type, size_t limit = SIZE_MAX)
{
    std::vector<Pulled> pulled;
    CoreSample sample;
    while (pulled.size() < limit) {
        bool ok =
            type == CORE_TRACK_VIDEO ? core.GetVideoSample(&sample) : core.GetAudioSample(&sample);
        if (!ok)
            break;
        pulled.push_back(Pulled{sample.m_start, sample.m_syncPoint != 0,
                                std::string(reinterpret_cast<const char*>(sample.m_buffer),
                                            static_cast<size_t>(sample.m_length))});
    }
    return pulled;
}

// Pulls both tracks at once, each on a thread of its own as the two pins do.
void PullBoth(KVMP4SourceCore& core, std::vector<Pulled>* video, std::vector<Pulled>* audio,
              size_t videoLimit = SIZE_MAX, size_t audioLimit = SIZE_MAX)
{
    std::thread audioPin([&] { *audio = Pull(core, CORE_TRACK_AUDIO, audioLimit); });
    *video = Pull(core, CORE_TRACK_VIDEO, videoLimit);
    audioPin.join();
}

void OpenAndPlay(KVMP4SourceCore& core, const std::string& fixture, bool video, bool audio)
{
    ASSERT_TRUE(core.Open(recordings::Windows(fixture))) << fixture;
    if (video)
        core.EnableStream(core.GetVideoTrack().streamIndex);
    if (audio)
        core.EnableStream(core.GetAudioTrack().streamIndex);
    core.ResumeReading();
}

std::vector<LONGLONG> Starts(const std::vector<Pulled>& pulled)
{
    std::vector<LONGLONG> starts;
    for (const Pulled& p : pulled)
        starts.push_back(p.start);
    return starts;
}

std::vector<LONGLONG> Starts(const recordings::Stream& stream)
{
    std::vector<LONGLONG> starts;
    for (const auto& p : stream.packets) {
        int64_t t = p.pts != AV_NOPTS_VALUE ? p.pts : p.dts != AV_NOPTS_VALUE ? p.dts : 0;
        starts.push_back(recordings::ToHundredNs(t, stream.timeBase));
    }
    return starts;
}

template <class T>
std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Decodes a file's AAC track with FFmpeg alone, packets as the demultiplexer gives them (with
// their side data, which trims the encoder's delay), converted as the audio port announces.
std::string DecodeReference(const std::string& native)
{
    AVFormatContext* format = nullptr;
    avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr);
    avformat_find_stream_info(format, nullptr);
    int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, format->streams[index]->codecpar);
    avcodec_open2(context, codec, nullptr);

    std::string pcm;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index)
            avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            for (int s = 0; s < frame->nb_samples; ++s) {
                for (int c = 0; c < frame->ch_layout.nb_channels; ++c) {
                    int16_t v = FloatToPcm16(reinterpret_cast<float*>(frame->extended_data[c])[s]);
                    pcm.append(reinterpret_cast<const char*>(&v), 2);
                }
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return pcm;
}

}  // namespace

TEST(KVMP4SourceCore, WhichRecordingsOpenAndWithWhichPorts)
{
    struct {
        const char* fixture;
        bool opens;
        int videoCount;
        int audioCount;
        int audioCodec;
        std::vector<std::wstring> ports;
    } cases[] = {
        {"single/normal.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        {"single/noaudio.mp4", true, 1, 0, 0, {L"Video Out"}},
        {"single/pcm_s16le.mov", true, 1, 1, CORE_CODEC_PCMS16LE, {L"Video Out", L"Audio Out"}},
        {"single/pcm_s16be.mov", true, 1, 1, CORE_CODEC_PCMS16BE, {L"Video Out", L"Audio Out"}},
        // Sound the core cannot play is left out; the picture still plays.
        {"single/mp3.mp4", true, 1, 0, 0, {L"Video Out"}},
        {"single/bframes.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        {"single/tiny16.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        {"single/oneframe.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        {"single/audioonly.mp4", true, 0, 1, CORE_CODEC_AAC, {L"Audio Out"}},
        {"single/notext.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        // A broken configuration record still gives a port: its parameter sets are cut short.
        {"single/badavcc.mp4", true, 1, 1, CORE_CODEC_AAC, {L"Video Out", L"Audio Out"}},
        {"single/mpeg4.mp4", false, 0, 0, 0, {}},
        {"single/truncated.mp4", false, 0, 0, 0, {}},
        {"single/empty.mp4", false, 0, 0, 0, {}},
        {"single/missing.mp4", false, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        KVMP4SourceCore core;
        ASSERT_EQ(core.Open(recordings::Windows(c.fixture)), c.opens);
        EXPECT_EQ(core.IsOpen(), c.opens);
        EXPECT_EQ(core.TrackCount(CORE_TRACK_VIDEO), c.videoCount);
        EXPECT_EQ(core.TrackCount(CORE_TRACK_AUDIO), c.audioCount);
        EXPECT_EQ(core.TrackCount(3), 0);
        if (c.audioCount) {
            EXPECT_EQ(core.GetAudioTrack().codec, c.audioCodec);
            EXPECT_EQ(core.GetAudioTrack().bytesPerSample, 2);
        }
        CoreProperties* properties = core.GetProperties();
        ASSERT_EQ(properties->GetOutputPortCount(), static_cast<int>(c.ports.size()));
        for (size_t i = 0; i < c.ports.size(); ++i) {
            EXPECT_EQ(properties->GetOutputPort(static_cast<int>(i))->Name(), c.ports[i]);
        }

        int hasAudio = -1;
        EXPECT_EQ(ProbeRecording(recordings::Windows(c.fixture), &hasAudio), c.opens);
        if (c.opens)
            EXPECT_EQ(hasAudio, c.audioCount > 0 ? 1 : 0);
        EXPECT_EQ(ProbeRecording(recordings::Windows(c.fixture), nullptr), c.opens);
    }
}

TEST(KVMP4SourceCore, FilesOutsideTheMovFamilyAreRefused)
{
    // A valid WAV file opens in FFmpeg, but not as an MP4 recording.
    std::string native = fs::temp_directory_path() / "filtercore-not-mov.wav";
    {
        std::ofstream wav(native, std::ios::binary);
        const int dataBytes = 4000;
        auto u32 = [&](uint32_t v) { wav.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { wav.write(reinterpret_cast<const char*>(&v), 2); };
        wav.write("RIFF", 4);
        u32(36 + dataBytes);
        wav.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(2);
        u32(48000);
        u32(192000);
        u16(4);
        u16(16);
        wav.write("data", 4);
        u32(dataBytes);
        wav.write(std::string(dataBytes, '\0').data(), dataBytes);
    }
    KVMP4SourceCore core;
    EXPECT_FALSE(core.Open(platform::ToWindowsPath(native)));
    EXPECT_EQ(core.GetProperties()->GetOutputPortCount(), 0);
    EXPECT_FALSE(ProbeRecording(platform::ToWindowsPath(native), nullptr));
    fs::remove(native);
}

TEST(KVMP4SourceCore, PortsDescribeH264AndPcm)
{
    KVMP4SourceCore core;
    ASSERT_TRUE(core.Open(recordings::Windows("single/normal.mp4")));
    std::wstring text;
    core.GetName(text);
    EXPECT_EQ(text, L"KESTROVAN MP4 Source");
    core.GetVersion(text);
    EXPECT_EQ(text, L"1.2");

    const CoreVideoTrack& video = core.GetVideoTrack();
    EXPECT_EQ(video.codec, CORE_CODEC_H264);
    EXPECT_EQ(video.width, 320);
    EXPECT_EQ(video.height, 180);
    EXPECT_DOUBLE_EQ(video.frameRate, 15.0);
    EXPECT_NEAR(static_cast<double>(video.duration), 2e7, 1e6);
    ASSERT_NE(video.config, nullptr);

    CorePortProperties* port = core.GetProperties()->GetOutputPort(0);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(*port->GetMajorType(), MEDIATYPE_Video);
    ASSERT_EQ(port->GetSubtypeCount(), 1);
    EXPECT_EQ(*port->GetSubtype(0), MEDIASUBTYPE_AVC1);
    EXPECT_EQ(*port->GetFormatType(), FORMAT_MPEG2Video);
    int length = 0;
    const auto* info = static_cast<const MPEG2VIDEOINFO*>(port->GetFormat(&length));
    ASSERT_EQ(length, video.configSize + 136);
    EXPECT_EQ(info->hdr.rcSource.right, 320);
    EXPECT_EQ(info->hdr.rcSource.bottom, 180);
    EXPECT_EQ(info->hdr.rcTarget.right, 320);
    EXPECT_EQ(info->hdr.AvgTimePerFrame, 666666);
    EXPECT_EQ(info->hdr.dwPictAspectRatioX, 320u);
    EXPECT_EQ(info->hdr.dwPictAspectRatioY, 180u);
    EXPECT_EQ(info->hdr.bmiHeader.biSize, 40u);
    EXPECT_EQ(info->hdr.bmiHeader.biWidth, 320);
    EXPECT_EQ(info->hdr.bmiHeader.biHeight, 180);
    EXPECT_EQ(info->hdr.bmiHeader.biPlanes, 1);
    EXPECT_EQ(info->hdr.bmiHeader.biBitCount, 24);
    EXPECT_EQ(info->hdr.bmiHeader.biCompression, MAKEFOURCC('A', 'V', 'C', '1'));
    EXPECT_EQ(info->hdr.bmiHeader.biSizeImage, 320u * 180 * 3);
    EXPECT_EQ(info->dwProfile, video.config[1]);
    EXPECT_EQ(info->dwLevel, video.config[3]);
    EXPECT_EQ(info->dwFlags, 4u) << "x264 writes 4-byte NAL lengths";

    // The sequence header is the sequence and picture parameter sets, each with its 2-byte
    // length, end to end: the decoder filter walks it this way.
    const BYTE* header = reinterpret_cast<const BYTE*>(info->dwSequenceHeader);
    std::vector<int> nalTypes;
    DWORD pos = 0;
    while (pos + 2 <= info->cbSequenceHeader) {
        int size = (header[pos] << 8) | header[pos + 1];
        ASSERT_LE(pos + 2 + size, info->cbSequenceHeader);
        nalTypes.push_back(header[pos + 2] & 0x1F);
        pos += 2 + size;
    }
    EXPECT_EQ(pos, info->cbSequenceHeader);
    EXPECT_EQ(nalTypes, (std::vector<int>{7, 8}));

    int reserved = -1, count = 0, size = 0;
    port->GetAllocator(&reserved, &count, &size);
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(size, 320 * 180 * 3);

    CorePortProperties* audio = core.GetProperties()->GetOutputPort(1);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(*audio->GetMajorType(), MEDIATYPE_Audio);
    EXPECT_EQ(*audio->GetSubtype(0), MEDIASUBTYPE_PCM);
    EXPECT_EQ(*audio->GetFormatType(), FORMAT_WaveFormatEx);
    const auto* wave = static_cast<const WAVEFORMATEX*>(audio->GetFormat(&length));
    ASSERT_EQ(length, 18);
    EXPECT_EQ(wave->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave->nChannels, 2);
    EXPECT_EQ(wave->nSamplesPerSec, 48000u);
    EXPECT_EQ(wave->nBlockAlign, 4);
    EXPECT_EQ(wave->nAvgBytesPerSec, 192000u);
    EXPECT_EQ(wave->wBitsPerSample, 16);
    EXPECT_EQ(wave->cbSize, 0);
    audio->GetAllocator(&reserved, &count, &size);
    EXPECT_EQ(count, 20);
    EXPECT_EQ(size, 192000);
}

// The sound port's buffers are sized from the header (a second of PCM, twenty buffers): a
// header claiming more channels than any camera writes gives no sound port at all, instead of
// buffers of gigabytes, and the pictures still play.
TEST(KVMP4SourceCore, SoundFormatsNoCameraWritesAreRefused)
{
    std::ifstream in(recordings::Native("single/pcm_s16le.mov"), std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    // The sound description: its entry type, 8 bytes of entry header, version, revision and
    // vendor, then the channel count (16 bits, big-endian).
    const size_t entry = original.find("sowt");
    ASSERT_NE(entry, std::string::npos);
    const struct {
        int channels;
        bool sound;
    } cases[] = {{2, true}, {8, true}, {9, false}, {64, false}, {65535, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        std::string bytes = original;
        bytes[entry + 20] = char(c.channels >> 8);
        bytes[entry + 21] = char(c.channels & 0xFF);
        const std::string native = fs::temp_directory_path() / "filtercore-channels.mov";
        std::ofstream(native, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        KVMP4SourceCore core;
        ASSERT_TRUE(core.Open(platform::ToWindowsPath(native)));
        EXPECT_EQ(core.TrackCount(CORE_TRACK_AUDIO), c.sound ? 1 : 0);
        CoreProperties* ports = core.GetProperties();
        ASSERT_EQ(ports->GetOutputPortCount(), c.sound ? 2 : 1);
        EXPECT_EQ(*ports->GetOutputPort(0)->GetMajorType(), MEDIATYPE_Video);
        if (c.sound) {
            int reserved = 0, count = 0, size = 0;
            ports->GetOutputPort(1)->GetAllocator(&reserved, &count, &size);
            EXPECT_EQ(size, c.channels * 2 * 48000);
        }
        core.EnableStream(core.GetVideoTrack().streamIndex);
        core.ResumeReading();
        EXPECT_FALSE(Pull(core, CORE_TRACK_VIDEO).empty());
        core.HaltReading();
        fs::remove(native);
    }
}

TEST(KVMP4SourceCore, VideoSamplesAreTheFilesPacketsWithTheirTimes)
{
    for (const char* fixture : {"single/normal.mp4", "single/bframes.mp4", "single/oneframe.mp4"}) {
        SCOPED_TRACE(fixture);
        recordings::Stream reference =
            recordings::ReadStream(recordings::Native(fixture), AVMEDIA_TYPE_VIDEO);
        ASSERT_FALSE(reference.packets.empty());
        KVMP4SourceCore core;
        OpenAndPlay(core, fixture, true, true);
        std::vector<Pulled> video, audio;
        PullBoth(core, &video, &audio);
        ASSERT_EQ(video.size(), reference.packets.size());
        for (size_t i = 0; i < video.size(); ++i) {
            EXPECT_EQ(video[i].data, reference.packets[i].data) << "sample " << i;
            EXPECT_EQ(video[i].sync, reference.packets[i].key) << "sample " << i;
        }
        EXPECT_EQ(Starts(video), Starts(reference));
        EXPECT_TRUE(video.front().sync);
        EXPECT_FALSE(audio.empty());
        core.HaltReading();
    }
}

// Where a recording's sync-sample table and its pictures disagree, a picture is a key frame
// when FFmpeg's own reading of the file calls it one: the table below moves the first picture's
// entry to the second picture (which starts no new sequence).
TEST(KVMP4SourceCore, KeyFramesAreThoseOfTheFilesPictures)
{
    std::ifstream in(recordings::Native("single/normal.mp4"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t table = bytes.find("stss");
    ASSERT_NE(table, std::string::npos);
    ASSERT_EQ(bytes.substr(table + 12, 4), std::string("\0\0\0\1", 4)) << "first entry: 1";
    bytes[table + 15] = 2;
    const std::string native =
        (std::filesystem::temp_directory_path() / ("kv-stss-" + std::to_string(getpid()) + ".mp4"))
            .string();
    std::ofstream(native, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    recordings::Stream reference = recordings::ReadStream(native, AVMEDIA_TYPE_VIDEO);
    ASSERT_GE(reference.packets.size(), 2u);
    KVMP4SourceCore core;
    ASSERT_TRUE(core.Open(platform::ToWindowsPath(native)));
    core.EnableStream(core.GetVideoTrack().streamIndex);
    core.ResumeReading();
    std::vector<Pulled> video = Pull(core, CORE_TRACK_VIDEO, SIZE_MAX);
    core.HaltReading();
    std::filesystem::remove(native);
    ASSERT_EQ(video.size(), reference.packets.size());
    for (size_t i = 0; i < video.size(); ++i)
        EXPECT_EQ(video[i].sync, reference.packets[i].key) << "sample " << i;
    EXPECT_TRUE(video[0].sync);
    EXPECT_FALSE(video[1].sync);
}

TEST(KVMP4SourceCore, AacIsDecodedToInterleavedPcmAndPcmPassesAsStored)
{
    {
        std::string native = recordings::Native("single/normal.mp4");
        recordings::Stream reference = recordings::ReadStream(native, AVMEDIA_TYPE_AUDIO);
        KVMP4SourceCore core;
        OpenAndPlay(core, "single/normal.mp4", false, true);
        std::vector<Pulled> audio = Pull(core, CORE_TRACK_AUDIO);
        ASSERT_EQ(audio.size(), reference.packets.size()) << "one sample per packet";
        std::string pcm;
        for (const Pulled& p : audio) {
            EXPECT_EQ(p.data.size() % 4, 0u) << "whole stereo 16-bit frames";
            pcm += p.data;
        }
        EXPECT_EQ(Starts(audio), Starts(reference));
        const std::string expected = DecodeReference(native);
        EXPECT_EQ(pcm.size(), expected.size());
        EXPECT_TRUE(pcm == expected) << "the decoded sound differs";
        // About two seconds of 48 kHz stereo.
        EXPECT_NEAR(static_cast<double>(pcm.size()) / 192000, 2.0, 0.1);
    }
    for (const char* fixture : {"single/pcm_s16le.mov", "single/pcm_s16be.mov"}) {
        SCOPED_TRACE(fixture);
        recordings::Stream reference =
            recordings::ReadStream(recordings::Native(fixture), AVMEDIA_TYPE_AUDIO);
        KVMP4SourceCore core;
        OpenAndPlay(core, fixture, false, true);
        std::vector<Pulled> audio = Pull(core, CORE_TRACK_AUDIO);
        ASSERT_EQ(audio.size(), reference.packets.size());
        for (size_t i = 0; i < audio.size(); ++i) {
            EXPECT_EQ(audio[i].data, reference.packets[i].data) << "sample " << i;
        }
        EXPECT_EQ(Starts(audio), Starts(reference));
        int reserved, count, size;
        core.GetProperties()->GetOutputPort(1)->GetAllocator(&reserved, &count, &size);
        for (const auto& p : reference.packets)
            EXPECT_LE(p.data.size(), static_cast<size_t>(size));
    }
}

TEST(KVMP4SourceCore, FloatSamplesBecomeRounded16BitValues)
{
    struct {
        float value;
        int16_t expected;
    } cases[] = {{1.5f, 32767},
                 {-1.5f, -32767},
                 {0.5f, 16384},
                 {-0.5f, -16384},
                 {1.0f, 32767},
                 {-1.0f, -32767},
                 {0.0f, 0},
                 {std::nanf(""), 0},
                 {1e-6f, 0},
                 {0.25f, 8192},
                 // 8192.49998 exactly; a single-precision product would round up to 8193.
                 {0.250022888f, 8192},
                 {-0.250022888f, -8192},
                 {INFINITY, 32767},
                 {-INFINITY, -32767}};
    for (const auto& c : cases)
        EXPECT_EQ(FloatToPcm16(c.value), c.expected) << c.value;

    // Interleaved by sample, and only whole frames that fit.
    const float left[3] = {0.5f, 1.0f, -1.0f};
    const float right[3] = {-0.5f, 0.0f, 2.0f};
    const float* planes[2] = {left, right};
    int16_t out[6] = {};
    EXPECT_EQ(InterleaveFloatPlanes(planes, 2, 3, reinterpret_cast<BYTE*>(out), 12), 12);
    EXPECT_EQ(std::vector<int16_t>(out, out + 6),
              (std::vector<int16_t>{16384, -16384, 32767, 0, -32767, 32767}));
    int16_t small[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(InterleaveFloatPlanes(planes, 2, 3, reinterpret_cast<BYTE*>(small), 10), 8);
    EXPECT_EQ(small[4], 7) << "nothing past the last whole frame";
}

TEST(KVMP4SourceCore, TimesAndDurationsIn100Nanoseconds)
{
    const AVRational k90k = {1, 90000};
    const AVRational k48k = {1, 48000};
    struct {
        int64_t pts, dts;
        AVRational timeBase;
        LONGLONG start;
    } starts[] = {
        {90000, 0, k90k, 10000000},
        {AV_NOPTS_VALUE, 45000, k90k, 5000000},
        {AV_NOPTS_VALUE, AV_NOPTS_VALUE, k90k, 0},
        // Exact where double arithmetic would fall one unit short.
        {48000, 48000, k48k, 10000000},
        {1024, 1024, {1, 15360}, 666666},
        {-90000, -90000, k90k, -10000000},
        {INT64_MAX, 0, {1000, 1}, 0},  // not representable
        {5, 5, {0, 1}, 0},             // no time base
    };
    for (const auto& c : starts) {
        EXPECT_EQ(KVMP4SourceCore::SampleStartFrom(c.pts, c.dts, c.timeBase), c.start) << c.pts;
    }

    struct {
        int64_t stream;
        AVRational timeBase;
        int64_t file;
        LONGLONG duration;
    } durations[] = {
        {180000, k90k, 0, 20000000},
        {AV_NOPTS_VALUE, k90k, 2000000, 20000000},  // the file's microseconds
        {AV_NOPTS_VALUE, k90k, AV_NOPTS_VALUE, 0},  // neither known: no overflow
        {AV_NOPTS_VALUE, k90k, INT64_MAX, LLONG_MAX},
    };
    for (const auto& c : durations) {
        EXPECT_EQ(KVMP4SourceCore::DurationFrom(c.stream, c.timeBase, c.file), c.duration);
    }
}

TEST(KVMP4SourceCore, OneTrackPlaysToTheEndWhileTheOtherWaits)
{
    // Three seconds: more than a queue reads ahead, so the unread sound fills its queue and the
    // picture can only go on because its pin starves.
    const char* fixture = "card/cont_rec/REC_2026_05_14_08_30_00_F.mp4";
    const std::string native = recordings::Native(fixture);
    const recordings::Stream video = recordings::ReadStream(native, AVMEDIA_TYPE_VIDEO);
    const recordings::Stream audio = recordings::ReadStream(native, AVMEDIA_TYPE_AUDIO);
    ASSERT_GT(recordings::ToHundredNs(audio.packets.back().pts, audio.timeBase), 25000000);
    KVMP4SourceCore core;
    OpenAndPlay(core, fixture, true, true);
    EXPECT_EQ(Starts(Pull(core, CORE_TRACK_VIDEO)), Starts(video));
    // Nothing of the sound was lost meanwhile.
    EXPECT_EQ(Starts(Pull(core, CORE_TRACK_AUDIO)), Starts(audio));
    core.HaltReading();
}

TEST(KVMP4SourceCore, OnlyEnabledTracksAreQueued)
{
    const size_t frames =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_VIDEO)
            .packets.size();
    KVMP4SourceCore core;
    OpenAndPlay(core, "single/normal.mp4", true, false);
    std::vector<Pulled> video = Pull(core, CORE_TRACK_VIDEO);
    EXPECT_EQ(video.size(), frames);
    // The end marker was consumed; the audio queue never received anything.
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_AUDIO), 0u);
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), 0u);
    core.HaltReading();

    // Nothing enabled: nothing is read, and a seek has nothing to do.
    KVMP4SourceCore idle;
    ASSERT_TRUE(idle.Open(recordings::Windows("single/normal.mp4")));
    idle.ResumeReading();
    LONGLONG out = -1;
    EXPECT_TRUE(idle.Seek(10000000, &out, nullptr));
    EXPECT_EQ(out, -1);
    EXPECT_EQ(idle.QueuedPackets(CORE_TRACK_VIDEO), 0u);
    // Enabling a track later takes effect with the next start.
    idle.EnableStream(idle.GetVideoTrack().streamIndex);
    idle.ResumeReading();
    EXPECT_EQ(Pull(idle, CORE_TRACK_VIDEO).size(), frames);
    idle.HaltReading();
}

// A pin that lets go of its connection disables its track: what was queued for it goes, and
// the reader no longer queues it, so no queue fills for nobody while the other track plays.
TEST(KVMP4SourceCore, ADisabledTrackIsNoLongerRead)
{
    const char* fixture = "card/cont_rec/REC_2026_05_14_08_30_00_F.mp4";
    const recordings::Stream audio =
        recordings::ReadStream(recordings::Native(fixture), AVMEDIA_TYPE_AUDIO);
    KVMP4SourceCore core;
    OpenAndPlay(core, fixture, true, true);
    // Only the sound is pulled: the whole picture is read meanwhile and waits in its queue.
    EXPECT_EQ(Starts(Pull(core, CORE_TRACK_AUDIO)), Starts(audio));
    core.HaltReading();
    EXPECT_GT(core.QueuedPackets(CORE_TRACK_VIDEO), 0u);

    core.DisableStream(core.GetVideoTrack().streamIndex);
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), 0u);
    core.ResumeReading();
    ASSERT_TRUE(core.Seek(0, nullptr, nullptr));
    // From 0 on: the encoder's priming frame lies before it.
    std::vector<LONGLONG> fromZero = Starts(audio);
    fromZero.erase(fromZero.begin(), std::lower_bound(fromZero.begin(), fromZero.end(), 0));
    EXPECT_EQ(Starts(Pull(core, CORE_TRACK_AUDIO)), fromZero);
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), 0u);
    core.HaltReading();
}

TEST(KVMP4SourceCore, TinyPicturesNeverOverrunTheBuffer)
{
    recordings::Stream reference =
        recordings::ReadStream(recordings::Native("single/tiny16.mp4"), AVMEDIA_TYPE_VIDEO);
    size_t largest = 0;
    for (const auto& p : reference.packets)
        largest = std::max(largest, p.data.size());
    ASSERT_GT(largest, 16u * 16 * 3) << "the fixture must carry a frame larger than its picture";

    KVMP4SourceCore core;
    OpenAndPlay(core, "single/tiny16.mp4", true, false);
    int reserved, count, size;
    core.GetProperties()->GetOutputPort(0)->GetAllocator(&reserved, &count, &size);
    EXPECT_GE(static_cast<size_t>(size), largest) << "the port asks for buffers every frame fits";

    // A buffer of the port's size receives every frame whole.
    std::vector<BYTE> buffer(size);
    for (size_t i = 0; i < reference.packets.size(); ++i) {
        CoreSample sample;
        sample.Lend(buffer.data(), size);
        ASSERT_TRUE(core.GetVideoSample(&sample));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(sample.m_buffer), sample.m_length),
                  reference.packets[i].data);
    }
    core.HaltReading();

    // A smaller lent buffer is never written past its end; frames that do not fit come back
    // empty, the others whole.
    core.ResumeReading();
    ASSERT_TRUE(core.Seek(0, nullptr, nullptr));
    const int small = 64;
    std::vector<BYTE> guarded(small + 16, 0xCD);
    for (size_t i = 0; i < reference.packets.size(); ++i) {
        CoreSample sample;
        sample.Lend(guarded.data(), small);
        ASSERT_TRUE(core.GetVideoSample(&sample));
        size_t expected =
            reference.packets[i].data.size() <= small ? reference.packets[i].data.size() : 0;
        EXPECT_EQ(static_cast<size_t>(sample.m_length), expected) << "sample " << i;
    }
    for (int i = small; i < small + 16; ++i)
        ASSERT_EQ(guarded[i], 0xCD);
    core.HaltReading();
}

TEST(KVMP4SourceCore, HaltReleasesAWaitingPin)
{
    KVMP4SourceCore core;
    ASSERT_TRUE(core.Open(recordings::Windows("single/normal.mp4")));
    core.EnableStream(core.GetVideoTrack().streamIndex);
    // No reading thread runs: the pin waits on an empty queue until the halt releases it.
    bool result = true;
    std::thread pin([&] {
        CoreSample sample;
        result = core.GetVideoSample(&sample);
    });
    core.HaltReading();
    pin.join();
    EXPECT_FALSE(result);
    CoreSample sample;
    EXPECT_FALSE(core.GetVideoSample(&sample)) << "a halted core hands out nothing";
    EXPECT_FALSE(core.Seek(0, nullptr, nullptr)) << "a halted core refuses to seek";

    KVMP4SourceCore closed;
    EXPECT_FALSE(closed.GetVideoSample(&sample));
    EXPECT_FALSE(closed.GetAudioSample(&sample));
    EXPECT_FALSE(closed.Seek(0, nullptr, nullptr));
}

TEST(KVMP4SourceCore, StopThenRunResumesAfterTheLastDeliveredSample)
{
    recordings::Stream video =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_VIDEO);
    recordings::Stream audio =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_AUDIO);
    KVMP4SourceCore core;
    OpenAndPlay(core, "single/normal.mp4", true, true);
    std::vector<Pulled> video1, audio1, video2, audio2, video3, audio3;
    PullBoth(core, &video1, &audio1, 7, 20);
    core.HaltReading();
    size_t queued = core.QueuedPackets(CORE_TRACK_VIDEO);
    // A halted core keeps what it read ahead.
    EXPECT_FALSE(core.Seek(0, nullptr, nullptr));
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), queued);
    core.ResumeReading();
    PullBoth(core, &video2, &audio2, 5, 30);
    core.HaltReading();
    core.ResumeReading();
    PullBoth(core, &video3, &audio3);
    EXPECT_EQ(Starts(Concat(Concat(video1, video2), video3)), Starts(video));
    EXPECT_EQ(Starts(Concat(Concat(audio1, audio2), audio3)), Starts(audio));

    // At the end, a stop and a run end the streams again.
    core.HaltReading();
    core.ResumeReading();
    PullBoth(core, &video1, &audio1);
    EXPECT_TRUE(video1.empty());
    EXPECT_TRUE(audio1.empty());
    core.HaltReading();
}

TEST(KVMP4SourceCore, SeekMovesReadingAndAFailedSeekLosesNothing)
{
    recordings::Stream reference =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_VIDEO);
    const std::vector<LONGLONG> all = Starts(reference);
    KVMP4SourceCore core;
    OpenAndPlay(core, "single/normal.mp4", true, false);
    std::vector<Pulled> first = Pull(core, CORE_TRACK_VIDEO, 4);

    // Key frames come once a second; seeking to one second starts there.
    LONGLONG out1 = 0, out2 = 0;
    ASSERT_TRUE(core.Seek(10000000, &out1, &out2));
    EXPECT_EQ(out1, 10000000);
    EXPECT_EQ(out2, 10000000);
    std::vector<Pulled> after = Pull(core, CORE_TRACK_VIDEO, 3);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_TRUE(after[0].sync);
    EXPECT_EQ(after[0].start, 10000000);

    // Far past the end there is nothing to seek to: reading goes on right where it was.
    out1 = -1;
    EXPECT_FALSE(core.Seek(1000000000, &out1, nullptr));
    EXPECT_EQ(out1, -1);
    std::vector<Pulled> rest = Pull(core, CORE_TRACK_VIDEO);
    std::vector<LONGLONG> expected(all.begin() + 15, all.end());
    EXPECT_EQ(Starts(Concat(after, rest)), expected);

    // After the end of the file a seek starts reading again.
    ASSERT_TRUE(core.Seek(0, nullptr, nullptr));
    EXPECT_EQ(Starts(Pull(core, CORE_TRACK_VIDEO)), all);
    core.HaltReading();
}

// Between the last key frame and the end there is no key frame to start at: reading starts at
// the last one, so that a jump of some seconds near the end still plays the end. Both tracks
// move together.
TEST(KVMP4SourceCore, ASeekPastTheLastKeyFrameStartsAtTheLastKeyFrame)
{
    recordings::Stream reference =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_VIDEO);
    const std::vector<LONGLONG> all = Starts(reference);
    size_t lastKey = 0;
    for (size_t i = 0; i < reference.packets.size(); ++i) {
        if (reference.packets[i].key)
            lastKey = i;
    }
    ASSERT_GT(lastKey, 0u);
    ASSERT_LT(lastKey + 2, all.size()) << "the fixture has pictures after its last key frame";
    const std::vector<LONGLONG> tail(all.begin() + static_cast<std::ptrdiff_t>(lastKey), all.end());

    KVMP4SourceCore core;
    OpenAndPlay(core, "single/normal.mp4", true, true);
    const LONGLONG end = std::max(core.GetVideoTrack().duration, core.GetAudioTrack().duration);
    struct Case {
        const char* what;
        LONGLONG position;
    } cases[] = {
        {"one picture after the last key frame", all[lastKey + 1]},
        {"a tenth of a second before the end", end - 1000000},
        {"the end itself", end},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.position, all[lastKey]);
        LONGLONG out1 = -1;
        ASSERT_TRUE(core.Seek(c.position, &out1, nullptr));
        EXPECT_EQ(out1, c.position) << "the position asked for is the one reported";
        std::vector<Pulled> video, audio;
        PullBoth(core, &video, &audio);
        ASSERT_FALSE(video.empty());
        EXPECT_TRUE(video.front().sync);
        EXPECT_EQ(Starts(video), tail);
        ASSERT_FALSE(audio.empty()) << "the sound moves with the pictures";
        EXPECT_GE(audio.front().start, all[lastKey] - 10000000);
        EXPECT_LE(audio.front().start, all[lastKey] + 10000000);
    }

    // Past the end there is still nothing to seek to.
    EXPECT_FALSE(core.Seek(end + 10000000, nullptr, nullptr));
    core.HaltReading();
}

TEST(KVMP4SourceCore, ReopeningReplacesFileTracksAndPorts)
{
    KVMP4SourceCore core;
    ASSERT_TRUE(core.Open(recordings::Windows("single/normal.mp4")));
    core.EnableStream(core.GetVideoTrack().streamIndex);
    core.EnableStream(core.GetAudioTrack().streamIndex);
    core.ResumeReading();
    ASSERT_TRUE(core.Open(recordings::Windows("single/noaudio.mp4")));
    EXPECT_EQ(core.TrackCount(CORE_TRACK_AUDIO), 0);
    ASSERT_EQ(core.GetProperties()->GetOutputPortCount(), 1);
    EXPECT_EQ(core.GetProperties()->GetOutputPort(0)->Name(), L"Video Out");
    EXPECT_EQ(core.GetVideoTrack().enabled, 0);
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), 0u);

    ASSERT_TRUE(core.Open(recordings::Windows("single/pcm_s16be.mov")));
    EXPECT_EQ(core.GetAudioTrack().codec, CORE_CODEC_PCMS16BE);
    ASSERT_TRUE(core.Open(recordings::Windows("single/normal.mp4")));
    EXPECT_EQ(core.GetAudioTrack().codec, CORE_CODEC_AAC);
    EXPECT_EQ(core.GetProperties()->GetOutputPortCount(), 2);

    EXPECT_FALSE(core.Open(recordings::Windows("single/truncated.mp4")));
    EXPECT_FALSE(core.IsOpen());
    EXPECT_EQ(core.TrackCount(CORE_TRACK_VIDEO), 0);
    EXPECT_EQ(core.GetProperties()->GetOutputPortCount(), 0);
}

TEST(KVMP4SourceCore, StopRightAfterStartNeverDeadlocks)
{
    KVMP4SourceCore core;
    ASSERT_TRUE(core.Open(recordings::Windows("single/normal.mp4")));
    core.EnableStream(core.GetVideoTrack().streamIndex);
    core.EnableStream(core.GetAudioTrack().streamIndex);
    for (int i = 0; i < 200; ++i) {
        core.StartReadThread();
        core.StopReadThread();
    }
    EXPECT_EQ(core.QueuedPackets(CORE_TRACK_VIDEO), 0u) << "a stop frees the queues";
    // The core still works: from the start again, every picture arrives.
    ASSERT_TRUE(core.Seek(0, nullptr, nullptr));
    core.StartReadThread();
    EXPECT_EQ(Pull(core, CORE_TRACK_VIDEO).size(),
              recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_VIDEO)
                  .packets.size());
    core.HaltReading();
}

TEST(KVMP4SourceCore, DamagedRecordingsPlayToTheirEnd)
{
    for (const char* fixture : {"single/badavcc.mp4", "single/audioonly.mp4", "single/tiny16.mp4",
                                "single/oneframe.mp4"}) {
        SCOPED_TRACE(fixture);
        KVMP4SourceCore core;
        ASSERT_TRUE(core.Open(recordings::Windows(fixture)));
        if (core.TrackCount(CORE_TRACK_VIDEO))
            core.EnableStream(core.GetVideoTrack().streamIndex);
        if (core.TrackCount(CORE_TRACK_AUDIO))
            core.EnableStream(core.GetAudioTrack().streamIndex);
        core.ResumeReading();
        std::vector<Pulled> video, audio;
        if (core.TrackCount(CORE_TRACK_VIDEO) && core.TrackCount(CORE_TRACK_AUDIO)) {
            PullBoth(core, &video, &audio);
            EXPECT_FALSE(video.empty());
        } else {
            audio = Pull(core, CORE_TRACK_AUDIO);
        }
        EXPECT_FALSE(audio.empty());
        core.HaltReading();
    }
}

TEST(KVMP4SourceCore, MissingOrShortConfigurationRecordGivesNoVideoPort)
{
    std::ifstream in(recordings::Native("single/normal.mp4"), std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    const size_t box = original.find("avcC");
    ASSERT_NE(box, std::string::npos);
    std::string missing = original;
    missing.replace(box, 4, "zzzz");  // an unknown box in its place: no record at all
    std::string shortened = original;
    const char three[4] = {0, 0, 0, 8 + 3};  // the record keeps only its first 3 bytes
    shortened.replace(box - 4, 4, three, 4);

    for (const std::string* bytes : {&missing, &shortened}) {
        std::string native = fs::temp_directory_path() / "filtercore-avcc.mp4";
        std::ofstream(native, std::ios::binary)
            .write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
        KVMP4SourceCore core;
        ASSERT_TRUE(core.Open(platform::ToWindowsPath(native)));
        EXPECT_EQ(core.TrackCount(CORE_TRACK_VIDEO), 1);
        EXPECT_LT(core.GetVideoTrack().configSize, 7);
        ASSERT_EQ(core.GetProperties()->GetOutputPortCount(), 1);
        EXPECT_EQ(core.GetProperties()->GetOutputPort(0)->Name(), L"Audio Out");
        fs::remove(native);
    }
}

TEST(KVMP4SourceCore, PathsOutsideAsciiOpen)
{
    fs::path folder = fs::temp_directory_path() / "filtercore-ünï-日本";
    fs::create_directories(folder);
    fs::path copy = folder / "Fahrt über Straße.mp4";
    fs::copy_file(recordings::Native("single/normal.mp4"), copy,
                  fs::copy_options::overwrite_existing);
    std::wstring path = platform::ToWindowsPath(copy.string());
    KVMP4SourceCore core;
    EXPECT_TRUE(core.Open(path));
    int hasAudio = 0;
    EXPECT_TRUE(ProbeRecording(path, &hasAudio));
    EXPECT_EQ(hasAudio, 1);
    TextTrackReader reader;
    TextTrackList list;
    EXPECT_EQ(reader.Read(path, &list), 20);
    fs::remove_all(folder);
}

// Seeks, halts, resumes, stops and starts a core round after round while two pins pull. In every
// round both pins are served again (a sample, or the end marker); between two samples that no
// seek came between, a pin gets the file's packets in file order, since a halt keeps what was
// read ahead and a stop drops it, and neither goes back; and afterwards the core plays the
// whole file from the start. Under ThreadSanitizer it also shows the locking.
TEST(KVMP4SourceCore, PinsPullWhileTheFilterSeeksHaltsAndResumes)
{
    const std::string native = recordings::Native("single/normal.mp4");
    const recordings::Stream streams[2] = {recordings::ReadStream(native, AVMEDIA_TYPE_VIDEO),
                                           recordings::ReadStream(native, AVMEDIA_TYPE_AUDIO)};
    // Each track's packets by their start, to their place in the file.
    std::map<LONGLONG, size_t> places[2];
    for (int t : {0, 1}) {
        const std::vector<LONGLONG> starts = Starts(streams[t]);
        for (size_t i = 0; i < starts.size(); ++i)
            places[t][starts[i]] = i;
        ASSERT_EQ(places[t].size(), starts.size()) << "starts must tell the packets apart";
    }

    KVMP4SourceCore core;
    OpenAndPlay(core, "single/normal.mp4", true, true);

    struct Taken {
        LONGLONG start;
        unsigned seeksBefore;  // seekPhase before the pin asked, and after it was answered
        unsigned seeksAfter;
    };
    // Odd while the filter seeks: raised before a seek and again after it.
    std::atomic<unsigned> seekPhase{0};
    std::atomic<bool> done{false};
    std::mutex lock;
    std::condition_variable answered;
    // Guarded by `lock`: what each pin (0 video, 1 audio) took, and the last round in which it
    // was answered (a sample, or the end marker).
    std::vector<Taken> taken[2];
    int servedRound[2] = {-1, -1};
    // The round whose reading thread runs, set once the core is no longer halted and nothing
    // is queued, before the thread starts: every answer from then on comes from that thread.
    // -1 while the filter seeks and halts (an answer then may be a refusal).
    std::atomic<int> round{-1};

    auto pin = [&](int t) {
        CoreSample sample;
        while (!done.load()) {
            const unsigned before = seekPhase.load();
            const bool ok = t == 0 ? core.GetVideoSample(&sample) : core.GetAudioSample(&sample);
            const int now = round.load();
            std::lock_guard<std::mutex> hold(lock);
            if (ok)
                taken[t].push_back(Taken{sample.m_start, before, seekPhase.load()});
            if (now >= 0) {
                servedRound[t] = now;
                answered.notify_all();
            }
        }
    };
    std::thread videoPin(pin, 0);
    std::thread audioPin(pin, 1);
    for (int i = 0; i < 30 && !HasFailure(); ++i) {
        ++seekPhase;
        core.Seek((i * 1234567LL) % 20000000, nullptr, nullptr);
        ++seekPhase;
        core.HaltReading();
        core.ResumeReading();
        core.StopReadThread();
        round = i;
        core.StartReadThread();
        // Reading runs again: each pin gets an answer.
        std::unique_lock<std::mutex> hold(lock);
        if (!answered.wait_for(hold, std::chrono::seconds(30),
                               [&] { return servedRound[0] == i && servedRound[1] == i; })) {
            ADD_FAILURE() << "round " << i << ": a pin was left waiting (video served in round "
                          << servedRound[0] << ", audio in " << servedRound[1] << ")";
        }
        hold.unlock();
        round = -1;
    }
    done = true;
    // Releases whichever pin still waits; a halted core hands out nothing.
    core.HaltReading();
    videoPin.join();
    audioPin.join();

    for (int t : {0, 1}) {
        SCOPED_TRACE(t == 0 ? "video" : "audio");
        EXPECT_FALSE(taken[t].empty());
        const Taken* previous = nullptr;
        for (const Taken& now : taken[t]) {
            auto place = places[t].find(now.start);
            ASSERT_NE(place, places[t].end()) << now.start << " starts no packet of the file";
            // No seek began or ran from the previous request to this answer.
            if (previous && previous->seeksBefore == now.seeksAfter && now.seeksAfter % 2 == 0) {
                EXPECT_GT(place->second, places[t][previous->start])
                    << "sample at " << now.start << " after " << previous->start;
            }
            previous = &now;
        }
    }

    // The core still plays the whole file from the start: every picture and every sound packet
    // from 0 on (the encoder's priming frame lies before it), with the file's bytes.
    core.ResumeReading();
    ASSERT_TRUE(core.Seek(0, nullptr, nullptr));
    std::vector<Pulled> video, audio;
    PullBoth(core, &video, &audio);
    core.HaltReading();
    EXPECT_EQ(Starts(video), Starts(streams[0]));
    for (size_t i = 0; i < std::min(video.size(), streams[0].packets.size()); ++i)
        EXPECT_EQ(video[i].data, streams[0].packets[i].data) << "picture " << i;
    std::vector<LONGLONG> fromZero = Starts(streams[1]);
    fromZero.erase(fromZero.begin(), std::lower_bound(fromZero.begin(), fromZero.end(), 0));
    EXPECT_EQ(Starts(audio), fromZero);
}
