// CVideoWndHost: what the two video windows ask of the window that holds them (the main
// dialog) besides the messages they send it.
#pragma once

#include "platform/mfc.h"

// Messages the video windows send to the dialog (values fixed).
#define WM_VIDEO_PAUSE 0x40F      // pause playback (0, 0)
#define WM_VIDEO_PANZOOM 0x59A    // wParam 1, lParam a new int[2] {pan x, pan y}; the receiver
                                  // frees it with delete[]
#define WM_VIDEO_RELAYOUT 0x59B   // end of a paint: wParam 1 main window, 0 sub window
#define WM_VIDEO_RBUTTONUP 0x5F4  // right button released over the main window (0, 0)

// The main dialog derives from it next to its dialog class; the video windows find it as the
// permanent framework object of their parent window. Called on the user-interface thread.
class CVideoWndHost {
public:
    virtual ~CVideoWndHost() = default;

    // Video streams of the open recording (1 or 2), 0 without one.
    virtual int GetVideoTrackCount() = 0;
    // A recording is open: the engine is playing or paused.
    virtual BOOL IsMovieOpen() = 0;
    // The recording being played is an MP4 recording.
    virtual BOOL IsPlayingMP4() = 0;
    // The play type setting is single view (only the front channel is played).
    virtual BOOL IsSingleView() = 0;
    // A camera's device record has been read from a memory card.
    virtual BOOL HasDeviceRecord() = 0;
};

// The host behind a window handle: its permanent object, when that object is a host; null
// for a null handle or a window of another kind.
inline CVideoWndHost* VideoWndHostOf(HWND window)
{
    return dynamic_cast<CVideoWndHost*>(CWnd::FromHandlePermanent(window));
}

// A recording with two video streams is open, so the renderers paint both windows.
inline bool IsTwoViewOpen(CVideoWndHost* host)
{
    return host && host->GetVideoTrackCount() > 1 && host->IsMovieOpen();
}

// Sends a mouse message on to `parent` with its point moved from `window`'s client
// coordinates to the parent's, so the dialog sees every forwarded point in its own space.
inline void ForwardMouseToParent(HWND window, HWND parent, UINT message, WPARAM wParam,
                                 LPARAM lParam)
{
    if (!parent)
        return;
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(window, &point);
    ::ScreenToClient(parent, &point);
    ::SendMessageW(parent, message, wParam, MAKELPARAM(point.x, point.y));
}
