#include "AudioOutput.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sysfilters {

namespace {

bool NullAsked()
{
    const char* choice = std::getenv("PLATFORM_AUDIO");
    return choice && std::strcmp(choice, "null") == 0;
}

}  // namespace

CAudioOutput::~CAudioOutput()
{
    Close();
}

bool CAudioOutput::Open(int sampleRate, int channels, Pull pull)
{
    Close();
    m_pull = std::move(pull);
    m_sampleRate = sampleRate;
    m_channels = channels;
    if (!NullAsked() && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        m_sdlInitialised = true;
        SDL_AudioSpec want{};
        want.freq = sampleRate;
        want.format = AUDIO_S16SYS;
        want.channels = Uint8(channels);
        want.samples = 1024;
        want.callback = &CAudioOutput::SdlCallback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to what the device plays.
        m_sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_sdlDevice != 0) {
            SDL_PauseAudioDevice(m_sdlDevice, 0);
            m_open = true;
            return true;
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlInitialised = false;
    }
    m_stopNull = false;
    try {
        m_nullThread = std::thread([this] { NullLoop(); });
    } catch (...) {
        return false;
    }
    m_open = true;
    return true;
}

void CAudioOutput::Close()
{
    if (m_sdlDevice != 0) {
        SDL_CloseAudioDevice(m_sdlDevice);  // waits for a callback under way
        m_sdlDevice = 0;
    }
    if (m_sdlInitialised) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlInitialised = false;
    }
    m_stopNull = true;
    if (m_nullThread.joinable())
        m_nullThread.join();
    m_open = false;
}

void CAudioOutput::SdlCallback(void* self, unsigned char* stream, int bytes)
{
    auto* output = static_cast<CAudioOutput*>(self);
    const int frameBytes = output->m_channels * 2;
    output->m_pull(reinterpret_cast<int16_t*>(stream), bytes / frameBytes);
}

void CAudioOutput::NullLoop()
{
    pthread_setname_np(pthread_self(), "kv-audio-null");
    using Clock = std::chrono::steady_clock;
    const auto begin = Clock::now();
    long long consumed = 0;  // frames handed to pull since begin
    std::vector<int16_t> buffer;
    while (!m_stopNull) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
        const long long due = static_cast<long long>(elapsed * m_sampleRate);
        const int count = static_cast<int>(std::min<long long>(due - consumed, m_sampleRate));
        if (count <= 0)
            continue;
        buffer.assign(size_t(count) * size_t(m_channels), 0);
        m_pull(buffer.data(), count);
        consumed += count;
    }
}

}  // namespace sysfilters
