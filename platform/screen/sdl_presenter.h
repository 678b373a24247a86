// The SDL presenter: an SDL2 window that shows the composed screen, scaled to fit the display,
// and turns the window's mouse, keyboard, wheel and dropped files into the window manager's
// input, in screen pixels.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform::screen {

class SdlPresenter {
public:
    SdlPresenter() = default;
    ~SdlPresenter() { Stop(); }
    SdlPresenter(const SdlPresenter&) = delete;
    SdlPresenter& operator=(const SdlPresenter&) = delete;

    // Starts the presenter's thread and returns at once. With `reportFailure`, a display that
    // SDL cannot open is reported on standard error (the user asked for this presenter).
    void Start(bool reportFailure);
    // Blocks until the window is open (true) or SDL failed and the thread ended (false).
    bool WaitUntilOpen();
    // Whether the window is open and showing the screen.
    bool Open();
    // Asks the thread to close the window and end, and waits for it. The thread notices within
    // one poll period.
    void Stop();

private:
    enum class State { Starting, Open, Failed, Ended };
    void Run();
    void SetState(State state);

    // Started once; joined once, by whoever took the presenter out of service (see
    // StopPresenter), or by the destructor.
    std::thread m_thread;
    bool m_reportFailure = false;  // set before the thread starts
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_stateChanged;  // with m_lock
    State m_state = State::Starting;         // guarded by m_lock
};

}  // namespace platform::screen
