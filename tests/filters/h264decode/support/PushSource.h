// Test support: a source filter whose one output pin delivers what the test hands it, on the
// test's own thread, so that a filter under test runs step by step: Push returns after the
// filters downstream have handled the sample. Its pin offers one media type, asks its
// allocator for the buffers the test chose, and records the quality messages that reach it.
#pragma once

#include <mutex>
#include <vector>

#include "platform/dshow/streams.h"

namespace h264test {

class CPushSource;

class CPushPin : public CBaseOutputPin {
public:
    CPushPin(CPushSource* filter, CCritSec* lock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;

private:
    CPushSource* m_source;
};

// What to put on one pushed sample.
struct PushOptions {
    bool timed = true;
    REFERENCE_TIME start = 0;  // 100 ns
    REFERENCE_TIME stop = 0;
    bool sync = false;
    bool preroll = false;
    bool discontinuity = false;
    const AM_MEDIA_TYPE* mediaType = nullptr;  // a type change carried by the sample
};

class CPushSource : public CBaseFilter {
public:
    CPushSource(const CMediaType& type, LONG bufferSize, LONG buffers = 1);
    ~CPushSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
    IPin* OutputPin() { return &m_pin; }

    // Fills a sample with the bytes (cut to the buffer's size) and delivers it; the result is
    // the downstream pin's answer, or the failure to get a buffer.
    HRESULT Push(const BYTE* data, LONG length, const PushOptions& options);
    HRESULT PushEndOfStream() { return m_pin.DeliverEndOfStream(); }
    // A flush, as a source does it around a seek.
    HRESULT Flush();
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
    {
        return m_pin.DeliverNewSegment(start, stop, rate);
    }

    std::vector<Quality> QualityMessages();

private:
    friend class CPushPin;

    CCritSec m_stateLock;
    CPushPin m_pin;
    CMediaType m_type;
    LONG m_bufferSize;
    LONG m_buffers;
    std::mutex m_lock;
    std::vector<Quality> m_quality;  // guarded by m_lock
};

}  // namespace h264test
