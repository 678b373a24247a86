#include "Mp4Writer.h"

#include "FFmpegOwners.h"
#include "Sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace fs = std::filesystem;

namespace mkcard {

namespace {

// Text packet times are computed in milliseconds and stored in 1/90000 s. (With a time base of
// 1/10000 s or coarser the muxer adds an empty sample after every packet.)
constexpr AVRational kLineTimeBase{1, 1000};
constexpr AVRational kTextTimeBase{1, 90000};

void PutBe16(std::string& s, unsigned v)
{
    s += static_cast<char>((v >> 8) & 0xFF);
    s += static_cast<char>(v & 0xFF);
}
void PutBe32(std::string& s, uint32_t v)
{
    PutBe16(s, v >> 16);
    PutBe16(s, v & 0xFFFF);
}

struct Track {
    AVStream* stream = nullptr;
    CodecContextPtr encoder;
};

// One recording being written. Owns the output context and the encoders; the output file is
// closed when the session ends, whichever way.
class Session {
public:
    Session(const RecordingSpec& spec, const std::string& path, const char* formatName)
        : m_spec(spec), m_path(path)
    {
        AVFormatContext* raw = nullptr;
        AvCheck(avformat_alloc_output_context2(&raw, nullptr, formatName, path.c_str()),
                "creating the " + std::string(formatName) + " muxer");
        m_out.reset(raw);
        m_out->flags |= AVFMT_FLAG_BITEXACT;
        m_length = spec.LengthSeconds();
        if (spec.video != VideoCodec::None)
            OpenVideo();
        if (spec.audio != AudioCodec::None)
            OpenAudio();
        if (spec.text)
            OpenText();
        if (m_out->nb_streams == 0)
            throw std::invalid_argument("a recording needs at least one track");
    }

    void Run()
    {
        AvCheck(avio_open(&m_out->pb, m_path.c_str(), AVIO_FLAG_WRITE), "opening " + m_path);
        AvCheck(avformat_write_header(m_out.get(), nullptr), "writing the file header");

        const int64_t fps = m_spec.fps;
        const int64_t rate = m_audio.encoder ? m_audio.encoder->sample_rate : 1;
        const int frames = m_video.encoder ? m_spec.FrameCount() : 0;
        const int64_t samples =
            m_audio.encoder ? std::llround(m_length * static_cast<double>(rate)) : 0;
        const int lines = m_textStream ? static_cast<int>(m_lines.size()) : 0;
        int videoDone = 0, linesDone = 0;
        int64_t samplesDone = 0;
        // Each track's next item is taken in time order; times are compared exactly in units of
        // 1 / (fps * rate * lines per second) seconds.
        while (videoDone < frames || samplesDone < samples || linesDone < lines) {
            const int64_t never = INT64_MAX;
            const int64_t tv = videoDone < frames ? videoDone * rate * kLinesPerSecond : never;
            const int64_t ta = samplesDone < samples ? samplesDone * fps * kLinesPerSecond : never;
            const int64_t tt = linesDone < lines ? linesDone * fps * rate : never;
            if (tv <= ta && tv <= tt)
                SendVideoFrame(videoDone++);
            else if (ta <= tt)
                samplesDone += SendAudioFrame(samplesDone, samples);
            else
                WriteTextPacket(linesDone++);
        }
        Flush(m_video);
        Flush(m_audio);
        AvCheck(av_write_trailer(m_out.get()), "writing the index");
        AvCheck(avio_closep(&m_out->pb), "closing " + m_path);
    }

private:
    void OpenVideo()
    {
        const bool x264 = m_spec.video != VideoCodec::Mpeg4Part2;
        const AVCodec* codec = x264 ? avcodec_find_encoder_by_name("libx264")
                                    : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        if (!codec)
            throw std::runtime_error(std::string("video encoder ") + (x264 ? "libx264" : "mpeg4") +
                                     " is not available");
        m_video.encoder.reset(avcodec_alloc_context3(codec));
        if (!m_video.encoder)
            throw std::bad_alloc();
        AVCodecContext* c = m_video.encoder.get();
        c->width = m_spec.width;
        c->height = m_spec.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1, m_spec.fps};
        c->framerate = AVRational{m_spec.fps, 1};
        c->gop_size = m_spec.fps;  // a key frame every second, as cameras write them
        c->max_b_frames = m_spec.video == VideoCodec::H264BFrames ? 2 : 0;
        c->thread_count = 1;
        c->flags |= AV_CODEC_FLAG_BITEXACT;
        if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (x264) {
            av_dict_set(&options, "preset",
                        m_spec.video == VideoCodec::H264BFrames ? "veryfast" : "ultrafast", 0);
            if (m_spec.videoKbps > 0) {
                // An average rate with a one-second buffer, as cameras encode.
                c->bit_rate = int64_t(m_spec.videoKbps) * 1000;
                c->rc_max_rate = c->bit_rate * 3 / 2;
                c->rc_buffer_size = static_cast<int>(c->bit_rate);
            } else {
                av_dict_set(&options, "crf", "26", 0);
            }
        } else {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * 4;
        }
        const int rc = avcodec_open2(c, codec, &options);
        av_dict_free(&options);
        AvCheck(rc, std::string("opening the ") + codec->name + " encoder");
        m_video.stream = NewStream();
        AvCheck(avcodec_parameters_from_context(m_video.stream->codecpar, c),
                "describing the video track");
        m_video.stream->time_base = c->time_base;
        m_video.stream->avg_frame_rate = c->framerate;

        m_picture.reset(av_frame_alloc());
        if (!m_picture)
            throw std::bad_alloc();
        m_picture->format = c->pix_fmt;
        m_picture->width = c->width;
        m_picture->height = c->height;
        AvCheck(av_frame_get_buffer(m_picture.get(), 0), "allocating a picture");
    }

    void OpenAudio()
    {
        const AVCodec* codec = nullptr;
        switch (m_spec.audio) {
            case AudioCodec::Aac:
                codec = avcodec_find_encoder_by_name("aac");
                break;
            case AudioCodec::PcmS16Le:
                codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
                break;
            case AudioCodec::PcmS16Be:
                codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16BE);
                break;
            case AudioCodec::Mp3:
                codec = avcodec_find_encoder_by_name("libmp3lame");
                break;
            case AudioCodec::None:
                return;
        }
        if (!codec)
            throw std::runtime_error("the sound encoder is not available");
        m_audio.encoder.reset(avcodec_alloc_context3(codec));
        if (!m_audio.encoder)
            throw std::bad_alloc();
        AVCodecContext* c = m_audio.encoder.get();
        c->sample_rate = m_spec.sampleRate;
        const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AvCheck(av_channel_layout_copy(&c->ch_layout, &stereo), "setting the channel layout");
        c->sample_fmt = AV_SAMPLE_FMT_NONE;
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_S16P ||
                *f == AV_SAMPLE_FMT_S16) {
                c->sample_fmt = *f;
                break;
            }
        }
        if (c->sample_fmt == AV_SAMPLE_FMT_NONE)
            throw std::runtime_error(std::string(codec->name) +
                                     " takes no sample format mkcard can fill");
        if (m_spec.audio == AudioCodec::Aac || m_spec.audio == AudioCodec::Mp3)
            c->bit_rate = 96000;
        c->time_base = AVRational{1, c->sample_rate};
        c->flags |= AV_CODEC_FLAG_BITEXACT;
        if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AvCheck(avcodec_open2(c, codec, nullptr),
                std::string("opening the ") + codec->name + " encoder");
        m_audio.stream = NewStream();
        AvCheck(avcodec_parameters_from_context(m_audio.stream->codecpar, c),
                "describing the sound track");
        m_audio.stream->time_base = c->time_base;
        const bool anySize =
            c->frame_size <= 0 || (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
        m_frameSamples = anySize ? 1024 : c->frame_size;
        m_shortLastFrame = anySize || (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
        m_tone = std::make_unique<Tone>(m_spec.channel == Channel::Front ? 440.0 : 330.0,
                                        c->sample_rate, std::llround(m_length * c->sample_rate));
    }

    void OpenText()
    {
        TelemetryPlan plan = m_spec.telemetry;
        plan.lengthSeconds = m_length;
        plan.style = m_spec.channel == Channel::Front ? LineStyle::Integrated : LineStyle::Plain;
        m_lines = TelemetryLines(plan);
        m_lengthMs = std::llround(m_length * 1000.0);

        m_textStream = NewStream();
        AVCodecParameters* par = m_textStream->codecpar;
        par->codec_type = AVMEDIA_TYPE_SUBTITLE;
        par->codec_id = AV_CODEC_ID_MOV_TEXT;
        const std::string description = TimedTextSampleDescription();
        par->extradata =
            static_cast<uint8_t*>(av_mallocz(description.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata)
            throw std::bad_alloc();
        std::memcpy(par->extradata, description.data(), description.size());
        par->extradata_size = static_cast<int>(description.size());
        m_textStream->time_base = kTextTimeBase;
        m_textStream->disposition = AV_DISPOSITION_DEFAULT;
    }

    AVStream* NewStream()
    {
        AVStream* s = avformat_new_stream(m_out.get(), nullptr);
        if (!s)
            throw std::bad_alloc();
        return s;
    }

    void SendVideoFrame(int index)
    {
        AvCheck(av_frame_make_writable(m_picture.get()), "preparing a picture");
        PaintFrame(m_picture.get(), m_spec.channel, index, m_spec.fps, m_spec.videoKbps > 0);
        m_picture->pts = index;
        AvCheck(avcodec_send_frame(m_video.encoder.get(), m_picture.get()), "encoding a picture");
        Drain(m_video);
    }

    // Encodes the next frame of sound starting at sample `done`; returns the samples it covers.
    int64_t SendAudioFrame(int64_t done, int64_t total)
    {
        AVCodecContext* c = m_audio.encoder.get();
        int count = static_cast<int>(std::min<int64_t>(m_frameSamples, total - done));
        if (count < m_frameSamples && !m_shortLastFrame)
            count = m_frameSamples;
        FramePtr frame(av_frame_alloc());
        if (!frame)
            throw std::bad_alloc();
        frame->format = c->sample_fmt;
        frame->sample_rate = c->sample_rate;
        frame->nb_samples = count;
        AvCheck(av_channel_layout_copy(&frame->ch_layout, &c->ch_layout),
                "setting the channel layout");
        AvCheck(av_frame_get_buffer(frame.get(), 0), "allocating sound");
        m_tone->Fill(frame.get());
        frame->pts = done;
        AvCheck(avcodec_send_frame(c, frame.get()), "encoding sound");
        Drain(m_audio);
        return count;
    }

    // A telemetry packet: the line's length in two bytes, big-endian, then the line, covering
    // the time until the next line (the last one ends with the recording).
    void WriteTextPacket(int index)
    {
        const std::string& line = m_lines[static_cast<size_t>(index)];
        PacketPtr pkt(av_packet_alloc());
        if (!pkt)
            throw std::bad_alloc();
        AvCheck(av_new_packet(pkt.get(), static_cast<int>(line.size() + 2)),
                "allocating a text packet");
        pkt->data[0] = static_cast<uint8_t>(line.size() >> 8);
        pkt->data[1] = static_cast<uint8_t>(line.size() & 0xFF);
        std::memcpy(pkt->data + 2, line.data(), line.size());
        const int64_t step = 1000 / kLinesPerSecond;
        const int64_t start = index * step;
        pkt->pts = pkt->dts = start;
        pkt->duration = std::max<int64_t>(1, std::min(step, m_lengthMs - start));
        pkt->flags |= AV_PKT_FLAG_KEY;
        pkt->stream_index = m_textStream->index;
        av_packet_rescale_ts(pkt.get(), kLineTimeBase, m_textStream->time_base);
        AvCheck(av_interleaved_write_frame(m_out.get(), pkt.get()), "writing a text packet");
    }

    void Drain(Track& track)
    {
        PacketPtr pkt(av_packet_alloc());
        if (!pkt)
            throw std::bad_alloc();
        for (;;) {
            const int rc = avcodec_receive_packet(track.encoder.get(), pkt.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            AvCheck(rc, "encoding");
            av_packet_rescale_ts(pkt.get(), track.encoder->time_base, track.stream->time_base);
            pkt->stream_index = track.stream->index;
            AvCheck(av_interleaved_write_frame(m_out.get(), pkt.get()), "writing a packet");
        }
    }

    void Flush(Track& track)
    {
        if (!track.encoder)
            return;
        AvCheck(avcodec_send_frame(track.encoder.get(), nullptr), "finishing the encoder");
        Drain(track);
    }

    const RecordingSpec& m_spec;
    std::string m_path;
    double m_length = 0.0;
    OutputContextPtr m_out;
    Track m_video;
    Track m_audio;
    AVStream* m_textStream = nullptr;  // owned by m_out
    FramePtr m_picture;
    std::unique_ptr<Tone> m_tone;
    int m_frameSamples = 1024;
    bool m_shortLastFrame = true;
    std::vector<std::string> m_lines;
    int64_t m_lengthMs = 0;
};

void Validate(const RecordingSpec& spec)
{
    if (spec.video != VideoCodec::None &&
        (spec.width < 2 || spec.height < 2 || spec.width % 2 || spec.height % 2))
        throw std::invalid_argument("the picture size must be even and at least 2x2");
    if (spec.fps < 1)
        throw std::invalid_argument("the frame rate must be at least 1");
    if (!(spec.LengthSeconds() > 0))
        throw std::invalid_argument("the recording length must be above 0");
}

}  // namespace

int RecordingSpec::FrameCount() const
{
    if (frameCount > 0)
        return frameCount;
    return static_cast<int>(std::max<long long>(1, std::llround(seconds * fps)));
}

std::string TimedTextSampleDescription()
{
    std::string d;
    PutBe32(d, 0);           // display flags
    d += '\x01';             // horizontal justification: centre
    d += '\xFF';             // vertical justification: bottom
    PutBe32(d, 0x00000000);  // background colour, RGBA: transparent
    PutBe16(d, 0);           // text box: top, left, bottom, right
    PutBe16(d, 0);
    PutBe16(d, 0);
    PutBe16(d, 0);
    PutBe16(d, 0);  // style: first and last character
    PutBe16(d, 0);
    PutBe16(d, 1);           // font id
    d += '\x00';             // face style flags
    d += '\x12';             // font size
    PutBe32(d, 0xFFFFFFFF);  // text colour, RGBA: white
    const std::string font = "Serif";
    PutBe32(d, static_cast<uint32_t>(8 + 2 + 3 + font.size()));  // font table box
    d += "ftab";
    PutBe16(d, 1);
    PutBe16(d, 1);
    d += static_cast<char>(font.size());
    d += font;
    return d;
}

void Mp4Writer::Write(const RecordingSpec& spec, const fs::path& path) const
{
    Validate(spec);
    const fs::path partial = fs::path(path).concat(".partial");
    try {
        {
            Session session(spec, partial.string(), m_container == Container::Mp4 ? "mp4" : "mov");
            session.Run();
        }
        fs::rename(partial, path);
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

}  // namespace mkcard
