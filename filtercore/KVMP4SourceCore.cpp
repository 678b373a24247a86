#include "filtercore/KVMP4SourceCore.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "filtercore/PcmConversion.h"
#include "platform/dshow.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace FilterCore {

namespace {

// Ports never ask for buffers larger than this, whatever sizes a damaged file claims.
constexpr LONGLONG kMaxPortBuffer = 256LL << 20;
// A buffer the core allocates for itself starts at most this large and grows to fit a packet.
constexpr int kMaxInitialBuffer = 16 << 20;
// The buffer the core allocates for an audio sample when the pin lends none.
constexpr int kAudioSampleBuffer = 100000;
// No camera writes sound beyond these; a header that claims more is damaged, and buffers sized
// from it (twenty of a second's PCM each) would commit gigabytes.
constexpr int kMaxAudioChannels = 8;
constexpr int kMaxAudioSampleRate = 192000;
// The largest audio buffer a port asks for: a second of 16-bit PCM at the limits above.
constexpr LONGLONG kMaxAudioBuffer = LONGLONG(kMaxAudioChannels) * 2 * kMaxAudioSampleRate;

// A count of 100 ns from a double, truncated toward zero; values beyond the 64-bit range are
// clamped and NaN gives 0, as damaged files can make any number appear here.
LONGLONG ToReferenceTime(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return LLONG_MAX;
    if (value <= -9.2e18)
        return LLONG_MIN + 1;
    return static_cast<LONGLONG>(value);
}

// `ticks` of `timeBase` in 100 ns, exactly (truncated toward zero); 0 when the time base is not
// a positive fraction or the result cannot be represented.
LONGLONG TicksToReferenceTime(int64_t ticks, AVRational timeBase)
{
    if (timeBase.num <= 0 || timeBase.den <= 0)
        return 0;
    int64_t result = av_rescale_rnd(ticks, static_cast<int64_t>(timeBase.num) * 10000000,
                                    timeBase.den, AV_ROUND_ZERO);
    return result == AV_NOPTS_VALUE ? 0 : result;
}

double TimeBaseSeconds(AVRational timeBase)
{
    return timeBase.den != 0 ? static_cast<double>(timeBase.num) / timeBase.den : 0.0;
}

int ClampBufferSize(LONGLONG bytes)
{
    return static_cast<int>(std::clamp<LONGLONG>(bytes, 0, kMaxPortBuffer));
}

LONGLONG PacketStart(const AVPacket* packet, AVRational timeBase)
{
    return KVMP4SourceCore::SampleStartFrom(packet->pts, packet->dts, timeBase);
}

// The time a queue measures its span by: decode order, so that it rises through the queue.
LONGLONG PacketDecodeTime(const AVPacket* packet, AVRational timeBase)
{
    int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    return t == AV_NOPTS_VALUE ? LLONG_MIN : TicksToReferenceTime(t, timeBase);
}

// Copies a packet into the sample's buffer, growing a buffer the core owns. A packet that does
// not fit a lent buffer leaves the sample empty rather than writing past the buffer's end.
void CopyPacket(CoreSample* sample, const AVPacket* packet)
{
    sample->m_length = 0;
    if (packet->size <= 0 || !packet->data)
        return;
    if (packet->size > sample->m_capacity && !sample->Grow(packet->size))
        return;
    std::memcpy(sample->m_buffer, packet->data, packet->size);
    sample->m_length = packet->size;
}

// Copies the parameter sets of an avcC record (from byte 5: the sequence sets, then the picture
// sets) with their 2-byte length prefixes, end to end, into `out`. Each pass takes the low five
// bits of its count byte as the number of sets and stops at the first set that would run past
// the record or past `capacity`. Returns the bytes written.
int CopyParameterSets(const BYTE* record, int size, BYTE* out, int capacity)
{
    int pos = 5;
    int written = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pos >= size)
            break;
        int count = record[pos] & 0x1F;
        ++pos;
        for (int i = 0; i < count; ++i) {
            if (pos + 2 > size)
                break;
            int length = (record[pos] << 8) | record[pos + 1];
            int entry = 2 + length;
            if (entry > size - pos || entry > capacity - written)
                break;
            std::memcpy(out + written, record + pos, entry);
            written += entry;
            pos += entry;
        }
    }
    return written;
}

// Whether the header leaves open something the tracks are described by: for a video stream its
// size, frame rate, bit rate or decoder configuration; for a sound stream its sample rate, its
// channel count or, for AAC, its decoder configuration; for any of them the duration, its own
// and the file's.
bool HeaderLeavesOpen(const AVFormatContext* format)
{
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (!stream || !stream->codecpar)
            continue;
        const AVCodecParameters* par = stream->codecpar;
        const bool video = par->codec_type == AVMEDIA_TYPE_VIDEO;
        const bool audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
        if (!video && !audio)
            continue;
        if (stream->duration == AV_NOPTS_VALUE && format->duration == AV_NOPTS_VALUE)
            return true;
        if (video && (par->width <= 0 || par->height <= 0 || par->bit_rate <= 0 ||
                      stream->avg_frame_rate.num <= 0 || stream->avg_frame_rate.den <= 0 ||
                      !par->extradata || par->extradata_size <= 0)) {
            return true;
        }
        if (audio && (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0 ||
                      (par->codec_id == AV_CODEC_ID_AAC &&
                       (!par->extradata || par->extradata_size <= 0)))) {
            return true;
        }
    }
    return false;
}

}  // namespace

KVMP4SourceCore::KVMP4SourceCore()
    : CorePropertyContainer(new CoreProperties()),
      m_frame(av_frame_alloc()),
      m_hReaderWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_audioQueue(m_hReaderWake, &m_readerWaiting),
      m_videoQueue(m_hReaderWake, &m_readerWaiting)
{
    InitializeCriticalSection(&m_csThread);
    std::memset(&m_video, 0, sizeof m_video);
    std::memset(&m_audio, 0, sizeof m_audio);
}

KVMP4SourceCore::~KVMP4SourceCore()
{
    EnterCriticalSection(&m_csThread);
    m_audioQueue.SetReleased(true);
    m_videoQueue.SetReleased(true);
    Close();
    LeaveCriticalSection(&m_csThread);
    DeleteCriticalSection(&m_csThread);
    if (m_hReaderWake)
        CloseHandle(m_hReaderWake);
}

void KVMP4SourceCore::Close()
{
    StopThread(true);
    m_audioQueue.Flush();
    m_videoQueue.Flush();
    m_aacDecoder.reset();
    m_keyFrames.Close();
    m_format.reset();
    std::memset(&m_video, 0, sizeof m_video);
    std::memset(&m_audio, 0, sizeof m_audio);
    m_videoTimeBase = AVRational{0, 1};
    m_audioTimeBase = AVRational{0, 1};
    ForgetReadPosition();
    m_origin = 0;
    m_videoBufferSize = 0;
    m_audioBufferSize = 0;
    m_pProperties->Clear();
}

bool KVMP4SourceCore::Open(const std::wstring& path)
{
    EnterCriticalSection(&m_csThread);
    Close();
    m_halted = false;
    m_audioQueue.SetReleased(false);
    m_videoQueue.SetReleased(false);

    std::string url = FFmpegFileUrl(platform::ToNativePath(path));
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, url.c_str(), nullptr, nullptr) < 0) {
        LeaveCriticalSection(&m_csThread);
        return false;
    }
    m_format.reset(opened);

    bool ok = m_format->iformat && m_format->iformat->name &&
              std::strncmp(m_format->iformat->name, "mov", 3) == 0;
    if (ok) {
        // The stream analysis decodes several pictures of the file, which costs far more than
        // reading its header; it runs only to fill in what the header leaves open (sizes, frame
        // and bit rates, sound parameters, durations). A file it cannot fully analyse may
        // still play.
        const bool analysed = HeaderLeavesOpen(m_format.get());
        if (analysed)
            avformat_find_stream_info(m_format.get(), nullptr);
        ok = ScanTracks();
        // The analysis leaves parsers behind that go on with the packets it read.
        if (ok && !analysed)
            SkipParsers();
    }
    if (!ok) {
        Close();
        LeaveCriticalSection(&m_csThread);
        return false;
    }
    BuildPorts();
    LeaveCriticalSection(&m_csThread);
    return true;
}

bool KVMP4SourceCore::ScanTracks()
{
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        AVStream* stream = m_format->streams[i];
        if (!stream)
            continue;
        if (!stream->codecpar)
            return false;
        switch (stream->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                if (!ScanVideo(static_cast<int>(i), stream))
                    return false;
                break;
            case AVMEDIA_TYPE_AUDIO:
                ScanAudio(static_cast<int>(i), stream);
                break;
            default:
                break;
        }
    }
    return true;
}

bool KVMP4SourceCore::ScanVideo(int index, AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (par->codec_id != AV_CODEC_ID_H264)
        return false;

    float frameRate = 30.0f;
    if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
        frameRate = static_cast<float>(stream->avg_frame_rate.num) /
                    static_cast<float>(stream->avg_frame_rate.den);
    }
    m_video.count = 1;
    m_video.enabled = 0;
    m_video.codec = CORE_CODEC_H264;
    m_video.bitRate = static_cast<DWORD>(static_cast<uint64_t>(par->bit_rate) & 0xFFFFFFFFu);
    m_video.duration = StreamDuration(index);
    m_video.width = par->width;
    m_video.height = par->height;
    m_video.config = par->extradata;
    m_video.configSize = par->extradata ? par->extradata_size : 0;
    m_video.streamIndex = index;
    m_video.timeBase = TimeBaseSeconds(stream->time_base);
    m_video.frameRate = frameRate;
    m_videoTimeBase = stream->time_base;
    return true;
}

void KVMP4SourceCore::ScanAudio(int index, AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    int codec;
    switch (par->codec_id) {
        case AV_CODEC_ID_PCM_S16LE:
            codec = CORE_CODEC_PCMS16LE;
            break;
        case AV_CODEC_ID_PCM_S16BE:
            codec = CORE_CODEC_PCMS16BE;
            break;
        case AV_CODEC_ID_AAC:
            codec = CORE_CODEC_AAC;
            break;
        default:
            return;
    }
    if (par->ch_layout.nb_channels < 0 || par->ch_layout.nb_channels > kMaxAudioChannels ||
        par->sample_rate < 0 || par->sample_rate > kMaxAudioSampleRate)
        return;
    m_audio.enabled = 0;
    m_audio.count = 1;
    m_audio.codec = codec;
    m_audio.sampleRate = par->sample_rate;
    m_audio.duration = StreamDuration(index);
    m_audio.channels = par->ch_layout.nb_channels;
    m_audio.streamIndex = index;
    m_audio.timeBase = TimeBaseSeconds(stream->time_base);
    m_audio.bytesPerSample = codec == CORE_CODEC_AAC ? 2 : par->bits_per_coded_sample / 8;
    m_audioTimeBase = stream->time_base;

    // A later accepted track replaces an earlier one, and with it the earlier decoder.
    m_aacDecoder.reset();
    if (codec == CORE_CODEC_AAC && decoder) {
        // A decoder that cannot be set up leaves the track playable as silence: its samples
        // come back empty.
        m_aacDecoder.reset(avcodec_alloc_context3(decoder));
        if (m_aacDecoder && avcodec_parameters_to_context(m_aacDecoder.get(), par) >= 0) {
            avcodec_open2(m_aacDecoder.get(), decoder, nullptr);
        }
    }
}

// The demultiplexer runs FFmpeg's H.264 parser over every picture only to set key-frame flags;
// it costs a zeroed buffer the size of each picture. The core reads its tracks without parsers
// when nothing else needs one: the pictures are H.264 with an avcC record, whose key frames are
// then flagged by m_keyFrames at a fraction of the cost, and the sound is AAC or PCM, which the
// MP4 demultiplexer gives whole without a parser. Every other track goes unread.
void KVMP4SourceCore::SkipParsers()
{
    const bool soundWhole = m_audio.count == 0 || m_audio.codec == CORE_CODEC_AAC ||
                            m_audio.codec == CORE_CODEC_PCMS16LE ||
                            m_audio.codec == CORE_CODEC_PCMS16BE;
    if (m_video.count == 0 || m_video.streamIndex < 0 ||
        m_video.streamIndex >= static_cast<int>(m_format->nb_streams) || !soundWhole)
        return;
    if (m_keyFrames.Open(m_format->streams[m_video.streamIndex]->codecpar))
        m_format->flags |= AVFMT_FLAG_NOPARSE;
}

LONGLONG KVMP4SourceCore::DurationFrom(int64_t streamDuration, AVRational timeBase,
                                       int64_t fileDuration)
{
    if (streamDuration != AV_NOPTS_VALUE)
        return TicksToReferenceTime(streamDuration, timeBase);
    if (fileDuration == AV_NOPTS_VALUE)
        return 0;
    if (fileDuration > LLONG_MAX / 10)
        return LLONG_MAX;
    if (fileDuration < LLONG_MIN / 10)
        return LLONG_MIN + 1;
    return fileDuration * 10;
}

LONGLONG KVMP4SourceCore::SampleStartFrom(int64_t pts, int64_t dts, AVRational timeBase)
{
    int64_t t = pts != AV_NOPTS_VALUE ? pts : dts != AV_NOPTS_VALUE ? dts : 0;
    return TicksToReferenceTime(t, timeBase);
}

LONGLONG KVMP4SourceCore::StreamDuration(int stream) const
{
    if (!m_format || stream < 0 || stream >= static_cast<int>(m_format->nb_streams))
        return 0;
    const AVStream* st = m_format->streams[stream];
    if (!st)
        return 0;
    return DurationFrom(st->duration, st->time_base, m_format->duration);
}

size_t KVMP4SourceCore::QueuedPackets(int type)
{
    if (type == CORE_TRACK_VIDEO)
        return m_videoQueue.Count();
    if (type == CORE_TRACK_AUDIO)
        return m_audioQueue.Count();
    return 0;
}

size_t KVMP4SourceCore::QueuedBytes(int type)
{
    if (type == CORE_TRACK_VIDEO)
        return m_videoQueue.Bytes();
    if (type == CORE_TRACK_AUDIO)
        return m_audioQueue.Bytes();
    return 0;
}

int KVMP4SourceCore::TrackCount(int type) const
{
    if (type == CORE_TRACK_VIDEO)
        return m_video.count;
    if (type == CORE_TRACK_AUDIO)
        return m_audio.count;
    return 0;
}

void KVMP4SourceCore::EnableStream(int stream)
{
    EnterCriticalSection(&m_csThread);
    if (m_video.count > 0 && stream == m_video.streamIndex) {
        m_video.enabled = 1;
    } else if (m_audio.count > 0 && stream == m_audio.streamIndex) {
        m_audio.enabled = 1;
    }
    LeaveCriticalSection(&m_csThread);
}

void KVMP4SourceCore::DisableStream(int stream)
{
    EnterCriticalSection(&m_csThread);
    int track = -1;
    if (m_video.count > 0 && stream == m_video.streamIndex) {
        m_video.enabled = 0;
        track = kVideo;
    } else if (m_audio.count > 0 && stream == m_audio.streamIndex) {
        m_audio.enabled = 0;
        track = kAudio;
    }
    if (track >= 0 && !m_hThread) {
        (track == kVideo ? m_videoQueue : m_audioQueue).Flush();
        // A later start must not go back for, or skip, packets of a track it no longer reads.
        m_lastRead[track] = AV_NOPTS_VALUE;
        m_skipThrough[track] = AV_NOPTS_VALUE;
    }
    LeaveCriticalSection(&m_csThread);
}

// ---------------------------------------------------------------------------------------------
// Ports

int KVMP4SourceCore::LargestPacket(int stream) const
{
    if (!m_format || stream < 0 || stream >= static_cast<int>(m_format->nb_streams))
        return 0;
    AVStream* st = m_format->streams[stream];
    int largest = 0;
    int entries = avformat_index_get_entries_count(st);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(st, i);
        if (entry && entry->size > largest)
            largest = entry->size;
    }
    return largest;
}

int KVMP4SourceCore::VideoBufferSize() const
{
    // A picture's worth of 24-bit pixels holds any compressed frame of a sensible size; tiny
    // pictures can carry frames larger than that, which the file's index tells.
    LONGLONG picture = static_cast<LONGLONG>(m_video.width) * m_video.height * 3;
    return ClampBufferSize(std::max<LONGLONG>(picture, LargestPacket(m_video.streamIndex)));
}

int KVMP4SourceCore::AudioBufferSize() const
{
    LONGLONG second = static_cast<LONGLONG>(m_audio.channels) * 2 * m_audio.sampleRate;
    if (m_audio.codec != CORE_CODEC_AAC) {
        second = std::max<LONGLONG>(second, LargestPacket(m_audio.streamIndex));
    }
    // A stored packet larger than that comes back empty rather than growing every buffer.
    return ClampBufferSize(std::min(second, kMaxAudioBuffer));
}

void KVMP4SourceCore::BuildPorts()
{
    m_videoBufferSize = m_video.count ? VideoBufferSize() : 0;
    m_audioBufferSize = m_audio.count ? AudioBufferSize() : 0;
    BuildVideoPort();
    BuildAudioPort();
}

void KVMP4SourceCore::BuildVideoPort()
{
    const BYTE* record = m_video.config;
    const int size = m_video.configSize;
    // The record must be of version 1 and long enough for its header and the count of its
    // sequence parameter sets.
    if (m_video.count < 1 || !record || size < 7 || record[0] != 1)
        return;

    const int width = m_video.width;
    const int height = m_video.height;
    std::vector<BYTE> block(static_cast<size_t>(size) + sizeof(MPEG2VIDEOINFO), 0);
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block.data());
    info->hdr.rcSource = RECT{0, 0, width, height};
    info->hdr.rcTarget = RECT{0, 0, width, height};
    info->hdr.dwBitRate = m_video.bitRate;
    info->hdr.AvgTimePerFrame =
        m_video.frameRate > 0 ? ToReferenceTime(10000000.0 / m_video.frameRate) : 0;
    info->hdr.dwPictAspectRatioX = static_cast<DWORD>(width);
    info->hdr.dwPictAspectRatioY =
        static_cast<DWORD>(height < 0 ? -static_cast<LONGLONG>(height) : height);
    BITMAPINFOHEADER& bmi = info->hdr.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = MAKEFOURCC('A', 'V', 'C', '1');
    bmi.biSizeImage =
        static_cast<DWORD>(ClampBufferSize(static_cast<LONGLONG>(width) * height * 3));
    info->dwProfile = record[1];
    info->dwLevel = record[3];
    info->dwFlags = (record[4] & 3) + 1;
    // The block leaves room for `size` + 4 bytes of sequence header from dwSequenceHeader on.
    const int room = static_cast<int>(block.size()) - SIZE_MPEG2VIDEOINFO_HEADER;
    info->cbSequenceHeader = static_cast<DWORD>(
        CopyParameterSets(record, size, block.data() + SIZE_MPEG2VIDEOINFO_HEADER, room));

    auto* port = new CorePortProperties(L"Video Out");
    PortMediaTypeDesc desc = {&MEDIATYPE_Video,   1,
                              &MEDIASUBTYPE_AVC1, &FORMAT_MPEG2Video,
                              block.data(),       static_cast<int>(block.size())};
    port->SetPortMediaType(&desc);
    port->SetAllocator(0, 1, m_videoBufferSize);
    if (!m_pProperties->AddOutputPort(port))
        delete port;
}

void KVMP4SourceCore::BuildAudioPort()
{
    if (m_audio.count < 1)
        return;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(m_audio.channels);
    format.nSamplesPerSec = static_cast<DWORD>(m_audio.sampleRate);
    format.nBlockAlign = static_cast<WORD>(m_audio.channels * 2);
    format.nAvgBytesPerSec = static_cast<DWORD>(format.nBlockAlign) * format.nSamplesPerSec;
    format.wBitsPerSample = 16;
    format.cbSize = 0;

    auto* port = new CorePortProperties(L"Audio Out");
    PortMediaTypeDesc desc = {&MEDIATYPE_Audio,     1,       &MEDIASUBTYPE_PCM,
                              &FORMAT_WaveFormatEx, &format, static_cast<int>(sizeof format)};
    port->SetPortMediaType(&desc);
    port->SetAllocator(0, 20, m_audioBufferSize);
    if (!m_pProperties->AddOutputPort(port))
        delete port;
}

// ---------------------------------------------------------------------------------------------
// The reading thread

void KVMP4SourceCore::StartReadThread()
{
    EnterCriticalSection(&m_csThread);
    if (m_format && !m_hThread) {
        bool video = m_video.count > 0 && m_video.enabled;
        bool audio = m_audio.count > 0 && m_audio.enabled;
        // Without an enabled track there is nothing to read; a later start, once a pin is
        // connected, reads then.
        if (video || audio) {
            m_readVideo = video;
            m_readAudio = audio;
            m_running = true;
            m_hThread = CreateThread(nullptr, 0, ReadThreadProc, this, 0, nullptr);
            if (!m_hThread)
                m_running = false;
        }
    }
    LeaveCriticalSection(&m_csThread);
}

void KVMP4SourceCore::StopReadThread()
{
    StopThread(true);
}

void KVMP4SourceCore::StopThread(bool flush)
{
    EnterCriticalSection(&m_csThread);
    if (m_hThread) {
        m_running = false;
        SetEvent(m_hReaderWake);
        // The reading thread takes no lock that is held here, so it ends.
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        if (flush) {
            m_audioQueue.Flush();
            m_videoQueue.Flush();
        }
    }
    LeaveCriticalSection(&m_csThread);
}

void KVMP4SourceCore::ResumeReading()
{
    EnterCriticalSection(&m_csThread);
    m_halted = false;
    m_audioQueue.SetReleased(false);
    m_videoQueue.SetReleased(false);
    StartReadThread();
    LeaveCriticalSection(&m_csThread);
}

void KVMP4SourceCore::HaltReading()
{
    EnterCriticalSection(&m_csThread);
    m_halted = true;
    m_audioQueue.SetReleased(true);
    m_videoQueue.SetReleased(true);
    StopThread(false);
    LeaveCriticalSection(&m_csThread);
}

DWORD WINAPI KVMP4SourceCore::ReadThreadProc(LPVOID parameter)
{
    static_cast<KVMP4SourceCore*>(parameter)->ReadLoop();
    return 0;
}

bool KVMP4SourceCore::WaitForRoom()
{
    auto mayRead = [this] {
        PacketQueue::Fill audio;
        PacketQueue::Fill video;
        if (m_readAudio)
            audio = m_audioQueue.GetFill();
        if (m_readVideo)
            video = m_videoQueue.GetFill();
        m_queueFull[kAudio] = audio.full;
        m_queueFull[kVideo] = video.full;
        if (!PacketQueue::ReaderMayRead(audio, video))
            return false;
        // A queue grows past its limits only for a starving pin, whose batch may be slow to
        // fill: it is handed what has come for it once that is overdue, even if no packet of
        // its track comes meanwhile.
        if (audio.full || video.full) {
            if (audio.starving)
                m_audioQueue.DeliverOverdue();
            if (video.starving)
                m_videoQueue.DeliverOverdue();
        }
        return true;
    };
    for (;;) {
        if (!m_running.load())
            return false;
        // Only the reader's own pushes fill a queue; while none did, there is room.
        if (!m_queueFull[kAudio] && !m_queueFull[kVideo])
            return true;
        if (mayRead())
            return true;
        // Announce the wait, then look once more: a consumer that changed a queue before the
        // announcement is seen here, one that changes it afterwards signals the event.
        m_readerWaiting = true;
        if (!m_running.load() || mayRead()) {
            m_readerWaiting = false;
            continue;
        }
        // The pins get what is queued before the reader sleeps.
        m_audioQueue.Deliver();
        m_videoQueue.Deliver();
        WaitForSingleObject(m_hReaderWake, INFINITE);
        m_readerWaiting = false;
    }
}

AVPacket* KVMP4SourceCore::NextReadPacket(std::vector<AVPacket*>* spares)
{
    if (spares->empty()) {
        m_videoQueue.TakeSpares(spares);
        m_audioQueue.TakeSpares(spares);
    }
    if (spares->empty())
        return av_packet_alloc();
    AVPacket* packet = spares->back();
    spares->pop_back();
    av_packet_unref(packet);
    return packet;
}

void KVMP4SourceCore::ReadLoop()
{
    AVFormatContext* format = m_format.get();
    // The demultiplexer skips the data of the tracks nobody reads instead of reading it.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        bool wanted = (m_readVideo && static_cast<int>(i) == m_video.streamIndex) ||
                      (m_readAudio && static_cast<int>(i) == m_audio.streamIndex);
        format->streams[i]->discard = wanted ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    // Every start of reading follows an open or a seek, after which the demultiplexer's own
    // parser would start over too.
    m_keyFrames.Restart();

    // Packets the pins are done with, to read into again; and the packet read into next (one
    // that goes to no queue is read into again).
    std::vector<AVPacket*> spares;
    PacketPtr packet;
    bool ended = false;
    m_queueFull[kAudio] = m_queueFull[kVideo] = true;  // unknown until the first look
    while (WaitForRoom()) {
        if (!packet)
            packet.reset(NextReadPacket(&spares));
        if (!packet || av_read_frame(format, packet.get()) < 0) {
            // The end of the file, a read error and a failed allocation end reading alike: the
            // pins get the end marker.
            ended = true;
            break;
        }
        PacketQueue* queue = nullptr;
        AVRational timeBase = {0, 1};
        if (m_readAudio && packet->stream_index == m_audio.streamIndex) {
            queue = &m_audioQueue;
            timeBase = m_audioTimeBase;
        } else if (m_readVideo && packet->stream_index == m_video.streamIndex) {
            queue = &m_videoQueue;
            timeBase = m_videoTimeBase;
            m_keyFrames.Apply(packet.get());
        }
        const int track = queue == &m_videoQueue ? kVideo : kAudio;
        if (!queue || SkipAlreadyRead(track, packet.get())) {
            av_packet_unref(packet.get());
            continue;
        }
        int64_t key = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (key != AV_NOPTS_VALUE)
            m_lastRead[track] = key;
        const LONGLONG time = PacketDecodeTime(packet.get(), timeBase);
        m_queueFull[track] = queue->Push(packet.release(), time);
    }
    if (ended) {
        if (m_readAudio)
            m_audioQueue.Push(nullptr, LLONG_MIN);
        if (m_readVideo)
            m_videoQueue.Push(nullptr, LLONG_MIN);
    }
    // A stopped reader leaves nobody waiting for a batch that will not be completed.
    m_audioQueue.Deliver();
    m_videoQueue.Deliver();
    for (AVPacket*& spare : spares)
        av_packet_free(&spare);
}

bool KVMP4SourceCore::SkipAlreadyRead(int track, const AVPacket* packet)
{
    if (m_skipThrough[track] == AV_NOPTS_VALUE)
        return false;
    int64_t key = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (key != AV_NOPTS_VALUE && key <= m_skipThrough[track])
        return true;
    m_skipThrough[track] = AV_NOPTS_VALUE;
    return false;
}

void KVMP4SourceCore::ForgetReadPosition()
{
    for (int track : {kVideo, kAudio}) {
        m_lastRead[track] = AV_NOPTS_VALUE;
        m_skipThrough[track] = AV_NOPTS_VALUE;
    }
}

// A seek that FFmpeg refuses may still have moved the demultiplexer (it falls back to reading
// forward through the file). The packets already queued stay, so reading must go on right
// after the last packet queued: the demultiplexer is put back on a key frame at or before it,
// and the restarted thread drops what it had queued already.
void KVMP4SourceCore::RestoreReadPosition()
{
    int stream = -1;
    int64_t ticks = 0;
    LONGLONG earliest = LLONG_MAX;
    const int streams[2] = {m_video.streamIndex, m_audio.streamIndex};
    const AVRational timeBases[2] = {m_videoTimeBase, m_audioTimeBase};
    for (int track : {kVideo, kAudio}) {
        if (m_lastRead[track] == AV_NOPTS_VALUE)
            continue;
        LONGLONG time = TicksToReferenceTime(m_lastRead[track], timeBases[track]);
        if (time < earliest) {
            earliest = time;
            stream = streams[track];
            ticks = m_lastRead[track];
        }
    }
    if (stream < 0) {
        // Nothing was queued since reading started: start there again.
        if (m_origin == 0)
            av_seek_frame(m_format.get(), -1, 0, AVSEEK_FLAG_BACKWARD);
        else
            SeekDemuxer(m_origin);
        return;
    }
    if (av_seek_frame(m_format.get(), stream, ticks, AVSEEK_FLAG_BACKWARD) >= 0) {
        m_skipThrough[kVideo] = m_lastRead[kVideo];
        m_skipThrough[kAudio] = m_lastRead[kAudio];
    }
}

// ---------------------------------------------------------------------------------------------
// Samples

bool KVMP4SourceCore::GetVideoSample(CoreSample* sample)
{
    if (!sample || !m_format)
        return false;
    if (!sample->HasBuffer() && !sample->Allocate(std::min(m_videoBufferSize, kMaxInitialBuffer))) {
        return false;
    }
    return m_videoQueue.Consume([&](AVPacket* packet) { return FillVideo(sample, packet); });
}

bool KVMP4SourceCore::GetAudioSample(CoreSample* sample)
{
    if (!sample || !m_format)
        return false;
    if (!sample->HasBuffer() && !sample->Allocate(kAudioSampleBuffer))
        return false;
    return m_audioQueue.Consume([&](AVPacket* packet) { return FillAudio(sample, packet); });
}

bool KVMP4SourceCore::FillVideo(CoreSample* sample, AVPacket* packet)
{
    if (!packet)
        return false;
    CopyPacket(sample, packet);
    sample->m_syncPoint = (packet->flags & AV_PKT_FLAG_KEY) ? TRUE : FALSE;
    sample->m_start = PacketStart(packet, m_videoTimeBase);
    return true;
}

bool KVMP4SourceCore::FillAudio(CoreSample* sample, AVPacket* packet)
{
    if (!packet)
        return false;
    if (m_audio.codec == CORE_CODEC_AAC) {
        sample->m_length = DecodeAac(packet, sample->m_buffer, sample->m_capacity);
    } else {
        CopyPacket(sample, packet);
    }
    sample->m_syncPoint = (packet->flags & AV_PKT_FLAG_KEY) ? TRUE : FALSE;
    sample->m_start = PacketStart(packet, m_audioTimeBase);
    return true;
}

int KVMP4SourceCore::DecodeAac(const AVPacket* packet, BYTE* out, int capacity)
{
    AVCodecContext* decoder = m_aacDecoder.get();
    AVFrame* frame = m_frame.get();
    // An empty packet would tell the decoder that the stream has ended.
    if (!decoder || !avcodec_is_open(decoder) || !frame || packet->size <= 0)
        return 0;
    // A packet the decoder refuses decodes to nothing; frames it still holds are drained below.
    avcodec_send_packet(decoder, packet);
    int written = 0;
    while (avcodec_receive_frame(decoder, frame) == 0) {
        const int channels = frame->ch_layout.nb_channels;
        if (frame->format == AV_SAMPLE_FMT_FLTP && frame->extended_data && channels > 0) {
            written += InterleaveFloatPlanes(
                reinterpret_cast<const float* const*>(frame->extended_data), channels,
                frame->nb_samples, out + written, capacity - written);
        }
        av_frame_unref(frame);
    }
    return written;
}

// ---------------------------------------------------------------------------------------------
// Seeking

// Reading starts at the first key frame at or after the position. Between the last key frame
// and the end of the recording there is none: reading starts at the last key frame, so that a
// jump near the end still shows the end of the recording (the pictures before the position come
// with times before it). Past the end there is nothing to read.
bool KVMP4SourceCore::SeekDemuxer(LONGLONG position)
{
    if (av_seek_frame(m_format.get(), -1, position / 10, 0) >= 0)
        return true;
    const LONGLONG end = std::max(m_video.count > 0 ? m_video.duration : 0,
                                  m_audio.count > 0 ? m_audio.duration : 0);
    if (position > end)
        return false;
    return av_seek_frame(m_format.get(), -1, position / 10, AVSEEK_FLAG_BACKWARD) >= 0;
}

bool KVMP4SourceCore::Seek(LONGLONG position, LONGLONG* out1, LONGLONG* out2)
{
    EnterCriticalSection(&m_csThread);
    if (!m_format || m_halted) {
        LeaveCriticalSection(&m_csThread);
        return false;
    }
    bool anyEnabled =
        (m_video.count > 0 && m_video.enabled) || (m_audio.count > 0 && m_audio.enabled);
    if (!anyEnabled) {
        LeaveCriticalSection(&m_csThread);
        return true;
    }
    // A thread that ended at the end of the file still counts: reading restarts from the new
    // position.
    bool wasReading = m_hThread != nullptr;
    StopThread(false);
    bool ok = SeekDemuxer(position);
    if (ok) {
        m_audioQueue.Flush();
        m_videoQueue.Flush();
        ForgetReadPosition();
        m_origin = position;
        if (out1)
            *out1 = position;
        if (out2)
            *out2 = position;
    } else {
        RestoreReadPosition();
    }
    if (wasReading)
        StartReadThread();
    LeaveCriticalSection(&m_csThread);
    return ok;
}

void KVMP4SourceCore::GetName(std::wstring& name)
{
    name = L"KESTROVAN MP4 Source";
}

void KVMP4SourceCore::GetVersion(std::wstring& version)
{
    version = L"1.2";
}

}  // namespace FilterCore
