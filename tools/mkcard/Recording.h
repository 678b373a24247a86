// What one recording holds, independent of its container. A writer turns a RecordingSpec into a
// file; the MP4/MOV writer is one (Mp4Writer.h). A writer for another container implements
// RecordingWriter and is chosen by the card layout (Card.h) per recording.
#pragma once

#include "Picture.h"
#include "Telemetry.h"

#include <filesystem>
#include <string>

namespace mkcard {

enum class VideoCodec {
    None,
    H264,         // libx264, no B-frames: decode order equals presentation order
    H264BFrames,  // libx264 with B-frames: decode order differs from presentation order
    Mpeg4Part2,   // FFmpeg's MPEG-4 part 2 encoder
};

enum class AudioCodec { None, Aac, PcmS16Le, PcmS16Be, Mp3 };

struct RecordingSpec {
    Channel channel = Channel::Front;  // picks the picture, the tone and the telemetry style
    int width = 320;
    int height = 180;
    int fps = 15;
    double seconds = 3.0;  // the length of the recording
    int frameCount = 0;    // when above 0, the number of video frames instead
    VideoCodec video = VideoCodec::H264;
    AudioCodec audio = AudioCodec::Aac;
    int sampleRate = 48000;   // Hz; sound is always stereo
    bool text = true;         // a telemetry text track
    // Video bit rate in kbit/s; when above 0 the picture carries fine grain, as a real sensor
    // gives, and the encoder holds that average rate. 0: constant quality, smooth pictures.
    int videoKbps = 0;
    TelemetryPlan telemetry;  // the drive the text track logs (lengthSeconds is set by the writer)

    // The number of video frames: frameCount when above 0, else `seconds` at `fps`, rounded,
    // at least 1.
    int FrameCount() const;
    // The length of the recording in seconds: the video timeline (FrameCount() frames of
    // 1/fps s each) when there is video, else `seconds`. Sound and telemetry cover exactly it.
    double LengthSeconds() const
    {
        return video != VideoCodec::None ? static_cast<double>(FrameCount()) / fps : seconds;
    }
};

class RecordingWriter {
public:
    virtual ~RecordingWriter() = default;
    // The file-name extension the writer produces, without the dot ("mp4", "mov").
    virtual std::string Extension() const = 0;
    // Writes the recording to path, replacing a file there. On failure nothing is left at path
    // and a runtime_error says what failed.
    virtual void Write(const RecordingSpec& spec, const std::filesystem::path& path) const = 0;
};

}  // namespace mkcard
