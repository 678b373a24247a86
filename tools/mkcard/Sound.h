// The sound a camera records: a tone whose pitch rises by an octave over the recording, the
// right channel a fifth above the left, so that a listener hears that sound plays and where in
// the recording it is.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

namespace mkcard {

class Tone {
public:
    // baseHz: the left channel's pitch at the start; totalSamples: the recording's length in
    // samples per channel, over which the pitch doubles.
    Tone(double baseHz, int sampleRate, int64_t totalSamples);

    // Fills frame->nb_samples samples of every channel of the frame, continuing where the last
    // call ended. The frame's format is one of FLT, FLTP, S16, S16P; other formats throw.
    void Fill(AVFrame* frame);

private:
    double m_baseHz;
    int m_sampleRate;
    int64_t m_total;
    int64_t m_done = 0;
    double m_phase[2] = {0.0, 0.0};  // radians, one per channel pitch
};

}  // namespace mkcard
