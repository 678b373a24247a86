// The AVI splitter (CLSID_AviSplitter): pulls an AVI file's bytes through the upstream pin's
// IAsyncReader into libavformat and delivers each stream's chunks on an output pin of its own.
//
// The input pin ("input pin") takes MEDIATYPE_Stream. When it connects, the file's header is
// read and one output pin per stream is made, in stream order, named "Stream 00", "Stream 01",
// ...: H.264 and other video as MEDIATYPE_Video with the stream's own handler as subtype and a
// VIDEOINFOHEADER; PCM as MEDIASUBTYPE_PCM, other sound as the subtype of its format tag, both
// with a WAVEFORMATEX (the codec's extra bytes after it); text streams as MEDIATYPE_Text. A file
// libavformat cannot read as AVI fails the connection with VFW_E_INVALID_FILE_FORMAT. When the
// input disconnects, the output pins go (their objects live on, unconnected, until the filter
// does, since callers may still hold them).
//
// Streaming. From pause, one demultiplexing thread ("kv-avi-demux") reads chunks in file order
// into a bounded queue per connected pin, and a delivery thread per connected pin
// ("kv-avi-pin") hands them downstream in samples of the pin's own allocator. Sample times are
// stream times: (media time - segment start) / rate, 100 ns. At the end of the file, or at a
// read error (a damaged file), every connected pin sends end of stream.
//
// Seeking. The pins answer IMediaSeeking in media time; the first connected pin is the one
// that seeks (the graph reaches every connected pin once per seek; the others take note and
// change nothing). A seek flushes downstream, stops the threads, moves libavformat to the key
// frame at or before the position (so decoding starts on a key frame; the pictures before the
// position carry negative times), ends the flush, announces the new segment and streams again
// when the filter is active. SetRate keeps the rate for the next segment (the graph seeks
// after a rate change).
//
// Locks: m_lock is the state lock of the filter and its pins; the threads never take it. The
// queues have their own lock (m_queueLock).
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow/streams.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace sysfilters {

class CAviSplitter;

class CAviInputPin final : public CBaseInputPin {
public:
    CAviInputPin(CAviSplitter* filter, CCritSec* lock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    // The pin pulls; nothing is pushed to it, and it has no allocator to decommit.
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample*) override { return E_UNEXPECTED; }
    HRESULT Inactive() override { return S_OK; }

private:
    CAviSplitter* m_pSplitter;
};

class CAviOutputPin final : public CBaseOutputPin, public CMediaTimeSeeking {
public:
    // Everything a stream's chunks need to become samples.
    struct Stream {
        int index = 0;                  // libavformat's stream index
        CMediaType type;                // the one type the pin offers
        LONG bufferSize = 0;            // bytes of each sample buffer
        LONGLONG timeBaseNum = 1;       // the stream's time base
        LONGLONG timeBaseDen = 1;
        LONG bytesPerSecond = 0;        // PCM: for chunks without times
        LONG blockAlign = 0;
        LONGLONG duration = 0;          // 100 ns
    };

    CAviOutputPin(CAviSplitter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name,
                  Stream stream);
    ~CAviOutputPin() override;

    DECLARE_IUNKNOWN
    // IMediaSeeking, then the base pin's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // A quality message ends here: the splitter does not thin out its chunks.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;

    // IMediaSeeking in media time (the capabilities and formats are CMediaTimeSeeking's).
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;

    const Stream& StreamInfo() const { return m_stream; }

    // The delivery side, driven by the splitter. Queue hands a chunk over (owned by the queue
    // then; null is the end of the stream) and waits while the queue is full, unless the
    // streaming stops; false when it stops.
    bool Queue(AVPacket* packet);
    void StartDelivery(LONGLONG segmentStart, double rate);
    // Asks the delivery thread to end; JoinDelivery waits for it and empties the queue.
    void RequestStop();
    void JoinDelivery();

private:
    void DeliveryLoop();
    HRESULT DeliverPacket(AVPacket* packet, bool* discontinuity);

    CAviSplitter* m_pSplitter;
    const Stream m_stream;

    std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    std::deque<AVPacket*> m_queue;  // owned packets, null marks the end; m_queueLock
    bool m_stopping = false;        // m_queueLock
    std::thread m_delivery;         // started and joined by the filter's state changes
    LONGLONG m_segmentStart = 0;    // media time of stream time 0; set before the thread starts
    double m_rate = 1.0;            // set before the thread starts
};

class CAviSplitter final : public CBaseFilter {
public:
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CAviSplitter(LPUNKNOWN outer, HRESULT* phr);
    ~CAviSplitter() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;

    // Input connection: reads the header and makes the output pins; undone by CloseFile.
    HRESULT OpenFile(IAsyncReader* reader);
    void CloseFile();

    // Seeking through the seeking pin; m_lock taken here.
    HRESULT Seek(CAviOutputPin* pin, const LONGLONG* current, DWORD currentFlags,
                 const LONGLONG* stop, DWORD stopFlags);
    HRESULT ChangeRate(CAviOutputPin* pin, double rate);
    double Rate();
    LONGLONG Duration();
    LONGLONG StopPosition();

    // The custom I/O of libavformat (demultiplexing thread, or under m_lock while stopped).
    int ReadBytes(unsigned char* buffer, int size);
    int64_t SeekBytes(int64_t offset, int whence);

private:
    struct FormatCloser {
        void operator()(AVFormatContext* context) const;
    };
    struct IoCloser {
        void operator()(AVIOContext* io) const;
    };

    bool IsSeekingPin(CAviOutputPin* pin);
    // With m_lock held: starts and stops the threads.
    void StartStreaming();
    void StopStreaming();
    void DemuxLoop();

    CCritSec m_lock;
    CAviInputPin* m_pInput = nullptr;           // owned
    std::vector<CAviOutputPin*> m_outputs;      // owned; changed under m_lock while stopped
    std::vector<CAviOutputPin*> m_retired;      // pins of an earlier file, owned
    ComPtr<IAsyncReader> m_reader;              // set while the input is connected
    LONGLONG m_fileLength = 0;                  // bytes
    LONGLONG m_ioPosition = 0;                  // the I/O's byte position
    std::unique_ptr<AVIOContext, IoCloser> m_io;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    LONGLONG m_duration = 0;                    // 100 ns
    LONGLONG m_segmentStart = 0;                // media time, 100 ns; m_lock
    LONGLONG m_segmentStop = 0;                 // media time, 100 ns; m_lock
    double m_rate = 1.0;                        // m_lock
    bool m_streaming = false;                   // the threads run; m_lock
    std::atomic<bool> m_stopDemux{false};
    std::thread m_demux;                        // started and joined under m_lock
};

}  // namespace sysfilters
