// Writes recordings in the ISO base media family (MP4, and QuickTime MOV for PCM sound) the way
// the camera does: an H.264 video track, a sound track and a timed-text track whose samples are
// telemetry lines. The index (moov box) is written at the end of the file, after the media
// data, so a recording cut short loses it as a camera's does on power loss.
#pragma once

#include "Recording.h"

namespace mkcard {

class Mp4Writer : public RecordingWriter {
public:
    enum class Container { Mp4, Mov };
    explicit Mp4Writer(Container container = Container::Mp4) : m_container(container) {}

    std::string Extension() const override { return m_container == Container::Mp4 ? "mp4" : "mov"; }
    // Deterministic: the same spec gives the same bytes (bit-exact encoders, one encoding
    // thread, no wall-clock times in the file).
    void Write(const RecordingSpec& spec, const std::filesystem::path& path) const override;

private:
    Container m_container;
};

// The timed-text sample description (the tx3g sample entry's fields after the data-reference
// index) that the text track carries: display flags, justification, background colour, text
// box, default style and a one-font table.
std::string TimedTextSampleDescription();

}  // namespace mkcard
