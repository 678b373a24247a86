// The MP4 reading core: opens one recording through FFmpeg's demultiplexer, describes its H.264
// video track and its audio track as output ports, demultiplexes the file on a reading thread
// of its own into a video and an audio packet queue, and hands the queued packets to the output
// pins one sample at a time, with start times in 100 ns. AAC sound is decoded to interleaved
// 16-bit PCM on the way out; PCM tracks pass as stored.
//
// Threads: the thread that opens the file; the reading thread; the streaming threads of up to
// two pins (video and audio), which call GetVideoSample and GetAudioSample; the filter's
// thread, which enables tracks, halts, resumes and seeks. Start, stop, halt, resume, seek and
// open are serialised by the thread lock; the reading thread never takes it. Each queue has its
// own lock (see PacketQueue).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "filtercore/CoreDocInterface.h"
#include "filtercore/CoreProperties.h"
#include "filtercore/CorePropertyContainer.h"
#include "filtercore/CoreSample.h"
#include "filtercore/FFmpegOwners.h"
#include "filtercore/H264KeyFrames.h"
#include "filtercore/PacketQueue.h"
#include "platform/kernel.h"

namespace FilterCore {

// The core's own codec codes.
enum CoreCodecId {
    CORE_CODEC_NONE = 0,
    CORE_CODEC_PCMS16LE = 64,
    CORE_CODEC_PCMS16BE = 65,
    CORE_CODEC_AAC = 66,
    CORE_CODEC_H264 = 193,
};

// Track types for TrackCount.
enum CoreTrackType {
    CORE_TRACK_VIDEO = 1,
    CORE_TRACK_AUDIO = 2,
};

struct CoreVideoTrack {
    int count;          // 0 or 1
    int codec;          // CoreCodecId
    LONGLONG duration;  // 100 ns
    int streamIndex;    // FFmpeg's stream number
    double timeBase;    // seconds per tick of the stream's times
    BYTE enabled;       // set once a pin for the track is connected
    int width;
    int height;
    DWORD bitRate;       // bits per second, the low 32 bits of what the stream declares
    double frameRate;    // frames per second
    const BYTE* config;  // the avcC decoder configuration record; FFmpeg owns it
    int configSize;      // bytes
};

struct CoreAudioTrack {
    int count;          // 0 or 1
    int codec;          // CoreCodecId
    LONGLONG duration;  // 100 ns
    int streamIndex;
    double timeBase;
    BYTE enabled;
    int channels;
    int sampleRate;      // Hz
    int bytesPerSample;  // of the delivered sound: 2 for AAC, else as stored
};

class KVMP4SourceCore : public CorePropertyContainer, public CoreDocInterface {
public:
    KVMP4SourceCore();
    // Stops a reading thread that still runs, then closes the file.
    ~KVMP4SourceCore() override;

    // Opens the recording at a Windows path. An open core is closed first (its thread stopped,
    // its queues and ports dropped). False, with nothing left open, when FFmpeg cannot open the
    // file, when it is not of the MOV/MP4 family, when a stream has no codec parameters or when
    // a video stream is not H.264.
    bool Open(const std::wstring& path);
    bool IsOpen() const { return m_format != nullptr; }

    // CORE_TRACK_VIDEO: the video track count; CORE_TRACK_AUDIO: the audio track count; else 0.
    int TrackCount(int type) const;
    const CoreVideoTrack& GetVideoTrack() const { return m_video; }
    const CoreAudioTrack& GetAudioTrack() const { return m_audio; }

    // The stream's duration in 100 ns: its own, else the file's; 0 when neither is known or the
    // stream does not exist.
    LONGLONG StreamDuration(int stream) const;

    // Marks the video or the audio track enabled when `stream` is its stream index. The reading
    // thread reads only the tracks that were enabled when it started.
    void EnableStream(int stream);
    // The opposite, for a pin that lets go of its connection: the track is no longer read from
    // the reading thread's next start, so that nothing fills a queue that no pin empties. While
    // no reading thread runs (the filter is stopped), what was queued for the track is dropped
    // as well.
    void DisableStream(int stream);

    // Clears the halted state and starts reading (a pin starts playing).
    void ResumeReading();
    // Sets the halted state (the filter stops): waiting pins are released at once, the reading
    // thread stops, and the packets already queued are kept, so that the next ResumeReading
    // continues right after the last sample delivered.
    void HaltReading();
    bool IsHalted() const { return m_halted.load(); }

    // Starts the reading thread when a file is open, some track is enabled and no thread has been
    // started since the last stop.
    void StartReadThread();
    // Stops the reading thread (waiting for it to end) and frees both queues' packets.
    void StopReadThread();

    // The next sample of the track, written into the sample's buffer (a buffer is allocated when
    // the record has none). False at the end marker, when the core is halted, or when no file is
    // open. A packet larger than a lent buffer is not written: the sample comes back empty.
    bool GetVideoSample(CoreSample* sample);
    bool GetAudioSample(CoreSample* sample);

    // Moves reading to `position` (100 ns) and writes it to each output that is given: to the
    // first key frame at or after it, or to the last key frame when the position lies between
    // that and the end of the recording. False when no file is open, when the core is halted,
    // when the position is past the end, or when FFmpeg cannot seek there; a failed
    // seek keeps the queued packets, and reading goes on where it was. True without seeking
    // when no track is enabled.
    bool Seek(LONGLONG position, LONGLONG* out1, LONGLONG* out2);

    // "KESTROVAN MP4 Source" and "1.2".
    void GetName(std::wstring& name) override;
    void GetVersion(std::wstring& version) override;

    void BuildPorts() override;

    // Entries (end markers included) and bytes queued for a track (CoreTrackType), for
    // diagnostics.
    size_t QueuedPackets(int type);
    size_t QueuedBytes(int type);

    // A stream's duration in 100 ns from its own duration in ticks of `timeBase`, else from the
    // file's duration in microseconds; 0 when neither is known. Exact, truncated toward zero,
    // clamped to the 64-bit range.
    static LONGLONG DurationFrom(int64_t streamDuration, AVRational timeBase, int64_t fileDuration);
    // A sample's start in 100 ns: the packet's presentation time, else its decode time, else 0,
    // in ticks of `timeBase`. Exact, truncated toward zero.
    static LONGLONG SampleStartFrom(int64_t pts, int64_t dts, AVRational timeBase);

private:
    void Close();
    bool ScanTracks();
    bool ScanVideo(int index, AVStream* stream);
    void ScanAudio(int index, AVStream* stream);
    void SkipParsers();
    void BuildVideoPort();
    void BuildAudioPort();
    void StopThread(bool flush);
    bool FillVideo(CoreSample* sample, AVPacket* packet);
    bool FillAudio(CoreSample* sample, AVPacket* packet);
    int DecodeAac(const AVPacket* packet, BYTE* out, int capacity);
    int LargestPacket(int stream) const;
    int VideoBufferSize() const;
    int AudioBufferSize() const;
    // Buffer sizes the ports ask for, computed once per open.
    int m_videoBufferSize = 0;
    int m_audioBufferSize = 0;

    static DWORD WINAPI ReadThreadProc(LPVOID parameter);
    void ReadLoop();
    bool WaitForRoom();
    // A blank packet to read into: one the pins are done with (taken from the queues into
    // `spares` when it has none), else a new one; null when the allocation fails.
    AVPacket* NextReadPacket(std::vector<AVPacket*>* spares);
    bool SkipAlreadyRead(int track, const AVPacket* packet);
    void RestoreReadPosition();
    // Puts the demultiplexer where a seek to `position` starts reading; false when it cannot.
    bool SeekDemuxer(LONGLONG position);
    void ForgetReadPosition();

    // Written by Open on the opening thread (under m_csThread) and read by the pins while the
    // file stays open.
    CoreVideoTrack m_video;
    CoreAudioTrack m_audio;
    FormatContextPtr m_format;
    // The time bases of the two tracks as FFmpeg gives them, for exact sample times.
    AVRational m_videoTimeBase = {0, 1};
    AVRational m_audioTimeBase = {0, 1};
    // Set up by Open when the demultiplexer reads without its parsers (AVFMT_FLAG_NOPARSE):
    // gives the video packets the key-frame flags that parser would have. Used by the reading
    // thread only while it runs.
    H264KeyFrames m_keyFrames;
    // The AAC decoder; used only under the audio queue's lock while a sample is filled.
    CodecContextPtr m_aacDecoder;
    FramePtr m_frame;

    // Auto reset; wakes the reading thread when a queue may have room, a consumer starves, or
    // the thread is asked to stop. Only the reading thread waits on it, and the queues signal it
    // only while m_readerWaiting is set.
    HANDLE m_hReaderWake;
    std::atomic<bool> m_readerWaiting{false};
    PacketQueue m_audioQueue;
    PacketQueue m_videoQueue;

    // Serialises open, start, stop, halt, resume, seek and the enabling of tracks.
    CRITICAL_SECTION m_csThread;
    // Guarded by m_csThread: the reading thread's handle, null while no thread has been started
    // since the last stop (a thread that ended at the end of the file keeps its handle).
    HANDLE m_hThread = nullptr;
    // The tracks the running thread reads, copied from the enabled flags when it starts;
    // written before the thread exists and only read by it.
    bool m_readVideo = false;
    bool m_readAudio = false;
    // Per track (kVideo, kAudio): the decode time, in stream ticks, of the last packet the
    // reading thread queued since the file was opened or last sought (AV_NOPTS_VALUE: none), and
    // the decode time through which a restarted thread drops what it had queued before. Written
    // by the reading thread while it runs, by the thread lock's holder while none runs.
    enum { kVideo = 0, kAudio = 1 };
    int64_t m_lastRead[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE};
    int64_t m_skipThrough[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE};
    // Per track, used only by the reading thread: whether the queue was full when the reader
    // last pushed to it or looked at it.
    bool m_queueFull[2] = {false, false};
    // Where reading started: the position of the last successful seek in 100 ns, 0 after open.
    LONGLONG m_origin = 0;
    // Cleared (under m_csThread) to ask the reading thread to stop; read by it once per packet.
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_halted{false};
};

}  // namespace FilterCore
