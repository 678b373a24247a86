#include "Sound.h"

#include <cmath>
#include <stdexcept>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace mkcard {

namespace {
constexpr double kTwoPi = 6.28318530717958647692;
constexpr double kLevel = 0.25;  // of full scale, leaving headroom for encoders
}  // namespace

Tone::Tone(double baseHz, int sampleRate, int64_t totalSamples)
    : m_baseHz(baseHz), m_sampleRate(sampleRate), m_total(totalSamples > 0 ? totalSamples : 1)
{
}

void Tone::Fill(AVFrame* frame)
{
    const int channels = frame->ch_layout.nb_channels;
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    for (int i = 0; i < frame->nb_samples; ++i, ++m_done) {
        const double pitch =
            m_baseHz * std::exp2(static_cast<double>(m_done) / static_cast<double>(m_total));
        for (int ch = 0; ch < channels; ++ch) {
            const int voice = ch == 0 ? 0 : 1;
            const double value = kLevel * std::sin(m_phase[voice]);
            const int16_t pcm = static_cast<int16_t>(std::lround(value * 32767.0));
            switch (fmt) {
                case AV_SAMPLE_FMT_FLTP:
                    reinterpret_cast<float*>(frame->extended_data[ch])[i] =
                        static_cast<float>(value);
                    break;
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(frame->data[0])[i * channels + ch] =
                        static_cast<float>(value);
                    break;
                case AV_SAMPLE_FMT_S16P:
                    reinterpret_cast<int16_t*>(frame->extended_data[ch])[i] = pcm;
                    break;
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(frame->data[0])[i * channels + ch] = pcm;
                    break;
                default:
                    throw std::runtime_error(std::string("unsupported sample format ") +
                                             av_get_sample_fmt_name(fmt));
            }
        }
        m_phase[0] = std::fmod(m_phase[0] + kTwoPi * pitch / m_sampleRate, kTwoPi);
        m_phase[1] = std::fmod(m_phase[1] + kTwoPi * pitch * 1.5 / m_sampleRate, kTwoPi);
    }
}

}  // namespace mkcard
