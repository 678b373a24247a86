// The async file reader (CLSID_AsyncReader, "File Source (Async.)"): a source filter that loads
// one file by its Windows path and offers its bytes through IAsyncReader on its one output pin
// ("Output"), for a parser downstream that pulls what it needs.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dshow/streams.h"

namespace sysfilters {

class CAsyncReader;

// The output pin. It carries MEDIATYPE_Stream (MEDIASUBTYPE_Avi for a RIFF AVI file) and
// moves no samples itself: the connected input pin asks it for IAsyncReader and reads.
//
// Queued requests are read by one worker thread ("kv-async-read"), started with the first
// request and joined when the pin's filter goes. Fields marked so are guarded by m_queueLock.
class CAsyncOutputPin final : public CBasePin, public IAsyncReader {
public:
    CAsyncOutputPin(CAsyncReader* filter, CCritSec* lock, HRESULT* phr);
    ~CAsyncOutputPin() override;

    DECLARE_IUNKNOWN
    // IAsyncReader, then the base pin's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    // The downstream pin must offer nothing more than IPin: it pulls.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;

    // IAsyncReader
    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* props,
                                               IMemAllocator** actual) override;
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, IMediaSample** sample,
                                          DWORD_PTR* user) override;
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // IPin: a pulled pin takes no stream calls.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }

    // Ends the worker thread and answers every request still queued.
    void Shutdown();

private:
    struct Pending {
        IMediaSample* sample;  // one reference, handed back by WaitForNext
        DWORD_PTR user;
        HRESULT result;
    };

    // Reads into a sample whose times give the byte range; the result for the request.
    HRESULT ReadSample(IMediaSample* sample);
    void WorkerLoop();

    CAsyncReader* m_pReader;

    std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    std::deque<Pending> m_queued;  // waiting for the worker; m_queueLock
    std::deque<Pending> m_done;    // read, for WaitForNext; m_queueLock
    int m_reading = 0;             // requests the worker holds now; m_queueLock
    bool m_flushing = false;       // m_queueLock
    bool m_exit = false;           // m_queueLock
    std::thread m_worker;          // started under m_queueLock
};

class CAsyncReader final : public CBaseFilter, public IFileSourceFilter {
public:
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CAsyncReader(LPUNKNOWN outer, HRESULT* phr);
    ~CAsyncReader() override;

    DECLARE_IUNKNOWN
    // IFileSourceFilter, then the filter's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    // IFileSourceFilter. Load opens the file for reading (E_INVALIDARG for a null name, the
    // open's error as an HRESULT, E_UNEXPECTED when a file is loaded already); the media type,
    // when given, becomes the pin's type. GetCurFile: E_FAIL before a Load.
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* mediaType) override;

    // What the pin reads: the open file (-1 before Load) and the pin's type.
    int FileDescriptor() const { return m_fd; }
    const CMediaType& StreamType() const { return m_type; }

private:
    CCritSec m_lock;
    CAsyncOutputPin* m_pPin = nullptr;  // made when a file is loaded, owned
    std::wstring m_name;                // the path as Load received it; m_lock
    int m_fd = -1;                      // set once by Load under m_lock, closed at the end
    CMediaType m_type;                  // set once by Load under m_lock
};

}  // namespace sysfilters
