// Where the sound renderer's sound goes: an SDL2 audio device, or the null device, which
// consumes sound in real time and plays nothing. PLATFORM_AUDIO=null chooses the null device;
// without it SDL's default device is opened, and the null device stands in when SDL has none.
//
// The device pulls: `pull` is called on the device's thread (SDL's audio thread, or the null
// device's own "kv-audio-null") with a buffer of interleaved 16-bit frames to fill completely.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace sysfilters {

class CAudioOutput {
public:
    using Pull = std::function<void(int16_t* frames, int count)>;

    CAudioOutput() = default;
    ~CAudioOutput();
    CAudioOutput(const CAudioOutput&) = delete;
    CAudioOutput& operator=(const CAudioOutput&) = delete;

    // Opens a device for the rate and channels and starts pulling; false when not even the
    // null device could start (a thread could not be made). Closes an open one first.
    bool Open(int sampleRate, int channels, Pull pull);
    // Stops pulling and closes the device; once it returns `pull` is not called again.
    void Close();
    bool IsOpen() const { return m_open; }
    // True when SDL audio plays the sound.
    bool IsReal() const { return m_sdlDevice != 0; }

private:
    static void SdlCallback(void* self, unsigned char* stream, int bytes);
    void NullLoop();

    Pull m_pull;
    int m_channels = 0;
    int m_sampleRate = 0;
    bool m_open = false;
    unsigned m_sdlDevice = 0;         // SDL_AudioDeviceID, 0 for the null device
    bool m_sdlInitialised = false;    // this object holds a reference on SDL's audio subsystem
    std::atomic<bool> m_stopNull{false};
    std::thread m_nullThread;
};

}  // namespace sysfilters
