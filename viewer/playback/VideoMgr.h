// The playback engine: one DirectShow graph for the open recording, with one or two video
// chains (decoder and windowless renderer) and the front recording's sound, and its control:
// play, pause, stop, seeking in whole seconds and percent, rate, volume, the graph's events,
// the front/rear swap between the two video windows and the geometry of the pictures.
//
// An MP4 recording (a front file and its rear partner) is read by the dual source filter, an
// AVI recording by the system's file reader and AVI splitter; both are decoded by the H.264
// decoder filter. The viewer's own filters are created by class identifier and, when the class
// is not registered, from their file in the program's folder (FilterFileTable, CreateObject).
//
// One instance lives in the main dialog; every operation runs on the user-interface thread,
// which the constructor enters into COM's single-threaded apartment. Every trace line goes to
// LogWrite; failures the user must know of are shown with MessageBoxW.
#pragma once

#include <string>

#include "platform/dshow.h"
#include "platform/gdi.h"
#include "platform/user.h"

// The decoder's and the brightness filter's class identifiers, as the viewer holds them (the
// dual source's are in filters/dualsource/KVMP4DualSourceInfo.h).
DEFINE_GUID(CLSID_KVH264DecodeFilter, 0x1BD9030B, 0xC6EB, 0x4A16, 0x8D, 0x87, 0xD0, 0x73, 0x4A,
            0xA8, 0x4C, 0xB5);
DEFINE_GUID(CLSID_KVBrightnessFilter, 0xA7F8E31D, 0x1F9E, 0x462A, 0x9D, 0xF0, 0xD1, 0x05, 0x7F,
            0x82, 0xAE, 0xA1);

// Messages the engine sends its owner window (the main dialog).
#define WM_VIDEO_GRAPHNOTIFY 0x406  // the graph has queued events: call HandleGraphEvent
#define WM_VIDEO_END 0x407          // the recording played to its end; the graph is closed
#define WM_VIDEO_SIZECHANGED 0x40E  // the main picture's zoom changed

// Engine states.
enum {
    STATE_STOP = 0,   // nothing plays; a graph may still exist
    STATE_PLAY = 1,   // the graph runs
    STATE_PAUSE = 2,  // the graph is paused; also right after a successful open
};

// The file each of the viewer's own filters is loaded from when its class is not registered:
// a bare file name, looked up in the program's folder only.
struct FilterFileEntry {
    const GUID* clsid;
    const wchar_t* file;
};
extern const FilterFileEntry FilterFileTable[3];
// The table's file for a class, or null for a class that has none.
const wchar_t* FilterFileFor(REFCLSID clsid);

// Creates the filter `clsid` from the library `file` in the program's folder through its
// exported DllGetClassObject and class factory, and stores its IBaseFilter in *out (one
// reference, the caller releases it). The library stays loaded. FALSE, with a trace line
// saying why, when any step fails.
BOOL CreateObject(LPCWSTR file, REFCLSID clsid, void** out);

// A duration in media time (100 ns) as whole seconds: rounded to the nearest second below
// 20 s and above 70 s, 60 from just over 58 s to just under 62 s, else truncated.
int RoundedDurationSeconds(LONGLONG duration);
// A volume (0..100, clamped) as IBasicAudio's attenuation in hundredths of a decibel: 0 gives
// -9999, 50 gives -301, 100 gives 0.
LONG VolumeToAttenuation(int volume);

// S_OK (0) when one of the pin's media types has the major type, S_FALSE (1) when none has,
// or the failing enumeration's result.
HRESULT HasMajorType(IPin* pin, REFGUID majorType);
// HasMajorType with MEDIATYPE_Video.
HRESULT IsVideoPin(IPin* pin);

class CVideoMgr {
public:
    CVideoMgr();
    ~CVideoMgr();
    CVideoMgr(const CVideoMgr&) = delete;
    CVideoMgr& operator=(const CVideoMgr&) = delete;

    // The window that receives the engine's messages; returns 0.
    int SetOwnerWnd(HWND owner);
    // The main (large) and sub (small) video windows; returns 0.
    int SetVideoWnd(HWND main, HWND sub);

    // Builds, loads and connects the graph for the recording at path. TRUE leaves it paused
    // (STATE_PAUSE), not yet run. singleFile: an MP4 recording without its partner; oneStream:
    // only the first video chain is connected (the stream count still says what the recording
    // holds). FALSE leaves STATE_STOP and no filter of the failed open behind (the graph
    // object is kept for the next open); a message box has said why when the user must know.
    BOOL OnMovieOpen(const std::wstring& path, BOOL singleFile, BOOL oneStream);
    // Stops and dismantles the graph; the two video renderers stay, detached from any window.
    // Always 1.
    BOOL Close();

    // Puts renderer Main (unless subOnly) and renderer Sub into windowless mode; detach FALSE
    // attaches each to its window with letter-box aspect, TRUE detaches it from any window.
    void SetupVideoRendererSettings(BOOL subOnly, BOOL detach);
    // SetupVideoRendererSettings(TRUE, TRUE): the sub window paints its own placeholder.
    void SetupSubRendererSettings();

    // The video streams counted at the open (1 or 2; an AVI file's video outputs), 0 after
    // Close.
    int GetVideoTrackCount() const { return m_nVideoStreams; }
    BOOL HasAudio() const { return !m_bNoAudio; }

    int GetState() const { return m_nState; }
    // Run and Pause: S_OK (0) and the new state, or the failure with the state unchanged.
    // Without a graph 0 and nothing else.
    HRESULT Play();
    HRESULT Pause();
    // STATE_STOP, the pictures fitted to their windows again, then IMediaControl::Stop's
    // result; 1 without a graph.
    HRESULT Stop();

    // Whole seconds: the duration rounded (58 to 62 s count as 60), the position truncated and
    // never beyond the duration; 0 without a graph.
    int GetDuration();
    int GetPosition();
    // Seeks to percent (clamped to 0..100) of the duration, in any state.
    void SetPosition(int percent);
    // 10 s back or forward while playing or paused.
    void SeekBackwards();
    void SeekForwards();
    // Playback rate (0.2 to 4.0); stored, and applied when a graph exists.
    void SetVideoSpeed(float rate);
    float GetVideoSpeed() const { return m_fSpeed; }
    // Sound volume 0..100 (stored as given, applied clamped); applied again at every open.
    void SetVolume(int volume);
    int GetVolume() const { return m_nVolume; }
    // The brightness slider's value (0..100); the graph has no brightness stage.
    void SetBrightness(int value);

    // Drains the graph's event queue (one WM_VIDEO_GRAPHNOTIFY). At EC_COMPLETE the graph is
    // closed, and once the queue is drained WM_VIDEO_END is sent to the owner. E_ABORT without
    // a graph.
    HRESULT HandleGraphEvent(LPARAM unused);

    // Front/rear swap: nonzero shows the rear picture in the main window. Stopped, it is only
    // stored for the next open. Returns 0.
    int SetReverseMode(BOOL reverse);
    BOOL GetReverseMode() const { return m_bReverse; }

    // Zoom of the main window's picture (1.0 fits the window).
    void SetVideoViewSize(float factor);
    float GetVideoViewSize() const { return m_fViewSize; }
    // Fits both pictures to their windows, letter-boxed when aspectMode is nonzero; while the
    // main picture is zoomed, only the sub picture is fitted and the zoom applied again.
    // Returns 0.
    int ResetSize(int aspectMode);
    // Places the zoomed main picture: x from -100 (right edges together) to 0, y from 0 to 100
    // (bottom edges together), relative to the zoomed rectangle.
    void MoveVideoPosByPercent(int x, int y);
    // Moves the main picture left by dx and up by dy pixels; the move stays.
    void MoveVideoPosByPixel(int dx, int dy);
    // Repaints both pictures from the renderers' last frames.
    void ReDrawVideo();

    // Renderer Main (first video stream) or Sub, for looking at what they show; null before the
    // first open. No reference is added.
    IBaseFilter* GetVideoRenderer(BOOL sub) const
    {
        return sub ? m_pVideoRendererSub.Get() : m_pVideoRendererMain.Get();
    }

    // Where the pictures are placed, client pixels of their windows.
    RECT GetMainDestRect() const { return m_rcMainDest; }
    RECT GetSubDestRect() const { return m_rcSubDest; }

private:
    // An open abandoned by a failing step: -1 a filter could not be created, -2 the graph
    // refused a filter, -3 a connection or stream count failed.
    struct OpenFailure {
        int code;
    };

    HRESULT RunOrPause(bool run);
    void BuildGraph(BOOL isMP4);
    void CreateFilter(REFCLSID clsid, REFIID iid, void** out, LPCWSTR label);
    void AddFilter(IBaseFilter* filter, LPCWSTR name);
    // Connects the output pin (an output pin of upstream: the index's, else the last one) to
    // the first input pin of downstream.
    void ConnectFilter(IBaseFilter* upstream, IBaseFilter* downstream, LPCWSTR label,
                       int outPinIndex);
    void ConnectPins(IPin* out, IBaseFilter* downstream, LPCWSTR label);
    void ConnectGraph(BOOL isMP4, int streams, IBaseFilter* upstream);
    BOOL LoadMovieFile(const std::wstring& path);
    // The AVI splitter's video outputs; clears the no-audio flag for a sound output. A
    // negative result is the failing query's.
    int GetVideoStreamCount();
    void ReportError(LPCWSTR text, HRESULT code, BOOL showBox);
    // Takes every filter out of the graph and releases all but the two video renderers.
    void ReleaseFilters();

    // The renderers shown in the main and in the sub window (null when missing).
    IBaseFilter* MainViewRenderer() const;
    IBaseFilter* SubViewRenderer() const;
    // Places one renderer's picture and paints it again (paint false: placing only).
    static void PlacePicture(IBaseFilter* renderer, const RECT& dest, HWND window, bool paint);
    static void Repaint(IBaseFilter* renderer, HWND window);

    RECT m_rcMainDest = {};  // client pixels of the main window
    RECT m_rcSubDest = {};   // client pixels of the sub window
    BOOL m_bReverse = FALSE;
    int m_nAspectMode = 1;  // 1 letter-box, 0 stretch: the mode last applied by ResetSize
    BOOL m_bNoAudio = TRUE;
    BOOL m_bAudioRendererFailed = FALSE;
    int m_nVideoStreams = 0;
    ComPtr<IGraphBuilder> m_pGraph;
    ComPtr<IBaseFilter> m_pSource;  // the dual source (MP4) or the file reader (AVI)
    ComPtr<IBaseFilter> m_pAviSplitter;
    ComPtr<IBaseFilter> m_pVideoRendererMain;  // kept across graphs
    ComPtr<IBaseFilter> m_pVideoRendererSub;   // kept across graphs
    ComPtr<IBaseFilter> m_pAudioWrapper;
    ComPtr<IBaseFilter> m_pAudioRenderer;
    ComPtr<IBaseFilter> m_pDecoderMain;
    ComPtr<IBaseFilter> m_pDecoderSub;
    HWND m_hMainWnd = nullptr;
    HWND m_hSubWnd = nullptr;
    HWND m_hOwnerWnd = nullptr;
    float m_fSpeed = 1.0f;
    int m_nVolume = 50;
    float m_fViewSize = 1.0f;
    int m_nState = STATE_STOP;
    BOOL m_bComInitialized = FALSE;
};
