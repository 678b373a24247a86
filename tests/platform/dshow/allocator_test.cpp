// CMemAllocator and CMediaSample: properties, the pool's reference counting, and callers
// blocked in GetBuffer being woken by Decommit and by samples coming back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/dshow/streams.h"

namespace {

// An allocator that tells how many callers wait in GetBuffer, so that a test knows a thread
// is blocked before it acts.
class CWatchedAllocator final : public CMemAllocator {
public:
    CWatchedAllocator() : CMemAllocator(NAME("Watched"), nullptr, nullptr) {}
    LONG Waiting()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lWaiting;
    }
};

ComPtr<IMemAllocator> MakeAllocator(CWatchedAllocator** watched = nullptr)
{
    auto* allocator = new CWatchedAllocator;
    if (watched)
        *watched = allocator;
    ComPtr<IMemAllocator> result;
    allocator->NonDelegatingQueryInterface(IID_PPV_ARGS(&result));
    return result;
}

HRESULT Configure(IMemAllocator* allocator, LONG buffers, LONG size, LONG align = 1,
                  LONG prefix = 0, ALLOCATOR_PROPERTIES* actual = nullptr)
{
    ALLOCATOR_PROPERTIES request{buffers, size, align, prefix};
    ALLOCATOR_PROPERTIES ignored;
    return allocator->SetProperties(&request, actual ? actual : &ignored);
}

void WaitUntilBlocked(CWatchedAllocator* allocator)
{
    while (allocator->Waiting() == 0)
        std::this_thread::yield();
}

TEST(CMemAllocatorTest, PropertiesAreCheckedAndRoundedToTheAlignment)
{
    struct Case {
        LONG buffers, size, align, prefix;
        HRESULT result;
        LONG actualSize;
    };
    const Case cases[] = {
        {2, 100, 1, 0, S_OK, 100},
        {2, 100, 16, 8, S_OK, 104},  // prefix + buffer rounded up to 112
        {1, 64, 64, 0, S_OK, 64},
        {1, 100, 0, 0, VFW_E_BADALIGN, 0},
        {1, 100, 3, 0, VFW_E_BADALIGN, 0},
        {-1, 100, 1, 0, E_INVALIDARG, 0},
        {1, -5, 1, 0, E_INVALIDARG, 0},
        {4, 0x40000000, 1, 0, E_OUTOFMEMORY, 0},  // a pool beyond 2 GiB
    };
    for (const Case& c : cases) {
        ComPtr<IMemAllocator> allocator = MakeAllocator();
        ALLOCATOR_PROPERTIES actual{};
        EXPECT_EQ(Configure(allocator.Get(), c.buffers, c.size, c.align, c.prefix, &actual),
                  c.result)
            << c.size << " bytes aligned to " << c.align;
        if (c.result != S_OK)
            continue;
        EXPECT_EQ(actual.cbBuffer, c.actualSize);
        ALLOCATOR_PROPERTIES reported{};
        ASSERT_EQ(allocator->GetProperties(&reported), S_OK);
        EXPECT_EQ(reported.cbBuffer, c.actualSize);
        EXPECT_EQ(reported.cBuffers, c.buffers);
    }
}

TEST(CMemAllocatorTest, BuffersAreAlignedAfterTheirPrefixAndWritableWhole)
{
    ComPtr<IMemAllocator> allocator = MakeAllocator();
    ASSERT_EQ(Configure(allocator.Get(), 3, 100, 32, 24), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* samples[3] = {};
    for (IMediaSample*& sample : samples) {
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* data = nullptr;
        ASSERT_EQ(sample->GetPointer(&data), S_OK);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 32, 0u);
        EXPECT_EQ(sample->GetSize(), 104);
        // The prefix before the buffer and the whole buffer belong to the sample.
        std::memset(data - 24, 0xA5, 24 + 104);
    }
    for (IMediaSample* sample : samples)
        sample->Release();
    EXPECT_EQ(allocator->Decommit(), S_OK);
}

TEST(CMemAllocatorTest, CommitStatesGateGetBufferAndSetProperties)
{
    ComPtr<IMemAllocator> allocator = MakeAllocator();
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);  // no buffers asked for
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(sample, nullptr);

    ASSERT_EQ(Configure(allocator.Get(), 1, 16), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(Configure(allocator.Get(), 2, 16), VFW_E_ALREADY_COMMITTED);
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    IMediaSample* second = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

    ASSERT_EQ(allocator->Decommit(), S_OK);
    EXPECT_EQ(Configure(allocator.Get(), 2, 16), VFW_E_BUFFERS_OUTSTANDING);
    // The sample out is still good to use until it comes back.
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    std::memset(data, 1, 16);
    sample->Release();
    EXPECT_EQ(Configure(allocator.Get(), 2, 16), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    sample->Release();
    second->Release();
}

TEST(CMemAllocatorTest, DecommitWakesEveryBlockedCaller)
{
    CWatchedAllocator* watched = nullptr;
    ComPtr<IMemAllocator> allocator = MakeAllocator(&watched);
    ASSERT_EQ(Configure(allocator.Get(), 1, 16), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* taken = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&taken, nullptr, nullptr, 0), S_OK);

    HRESULT results[2] = {S_OK, S_OK};
    std::thread waiters[2];
    for (int i = 0; i < 2; ++i) {
        waiters[i] = std::thread([&, i] {
            IMediaSample* sample = nullptr;
            results[i] = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
            if (sample)
                sample->Release();
        });
    }
    while (watched->Waiting() < 2)
        std::this_thread::yield();
    ASSERT_EQ(allocator->Decommit(), S_OK);
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(results[0], VFW_E_NOT_COMMITTED);
    EXPECT_EQ(results[1], VFW_E_NOT_COMMITTED);
    taken->Release();
}

TEST(CMemAllocatorTest, ReturnedSampleWakesABlockedCallerWithItsPropertiesCleared)
{
    CWatchedAllocator* watched = nullptr;
    ComPtr<IMemAllocator> allocator = MakeAllocator(&watched);
    ASSERT_EQ(Configure(allocator.Get(), 1, 32), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = 10;
    REFERENCE_TIME stop = 20;
    sample->SetTime(&start, &stop);
    LONGLONG mediaStart = 3;
    LONGLONG mediaStop = 4;
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TRUE);
    sample->SetPreroll(TRUE);
    sample->SetActualDataLength(5);
    CMediaType type(&MEDIATYPE_Audio);
    sample->SetMediaType(&type);

    IMediaSample* next = nullptr;
    HRESULT result = E_FAIL;
    std::thread waiter([&] { result = allocator->GetBuffer(&next, nullptr, nullptr, 0); });
    WaitUntilBlocked(watched);
    sample->Release();
    waiter.join();
    ASSERT_EQ(result, S_OK);
    ASSERT_EQ(next, sample);  // the only buffer of the pool, back again

    EXPECT_EQ(next->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(next->GetMediaTime(&mediaStart, &mediaStop), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(next->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(next->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(next->IsPreroll(), S_FALSE);
    EXPECT_EQ(next->GetActualDataLength(), 32);
    AM_MEDIA_TYPE* carried = nullptr;
    EXPECT_EQ(next->GetMediaType(&carried), S_FALSE);
    EXPECT_EQ(carried, nullptr);
    next->Release();
}

TEST(CMemAllocatorTest, OutstandingSamplesKeepThePoolAlive)
{
    const LONG before = CBaseObject::ObjectsActive();
    IMediaSample* sample = nullptr;
    {
        ComPtr<IMemAllocator> allocator = MakeAllocator();
        ASSERT_EQ(Configure(allocator.Get(), 2, 64), S_OK);
        ASSERT_EQ(allocator->Commit(), S_OK);
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        allocator->Decommit();
    }
    // The caller's last reference went; the pool stays while its sample is out.
    EXPECT_EQ(CBaseObject::ObjectsActive(), before + 1);
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    std::memset(data, 7, 64);
    sample->Release();
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

TEST(CMemAllocatorTest, RecommitBeforeTheSamplesComeBackKeepsTheirBuffers)
{
    ComPtr<IMemAllocator> allocator = MakeAllocator();
    ASSERT_EQ(Configure(allocator.Get(), 2, 8), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* first = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    first->GetPointer(&data);
    std::memcpy(data, "kept!", 6);
    ASSERT_EQ(allocator->Decommit(), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "kept!");
    IMediaSample* second = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    EXPECT_NE(second, first);
    first->Release();
    second->Release();
}

TEST(CMediaSampleTest, TimesLengthsAndTypesFollowTheirRules)
{
    ComPtr<IMemAllocator> allocator = MakeAllocator();
    ASSERT_EQ(Configure(allocator.Get(), 1, 16), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);

    REFERENCE_TIME start = 500;
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(sample->SetTime(&start, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(stop, 501);
    EXPECT_EQ(sample->GetTime(nullptr, &stop), E_POINTER);
    sample->SetTime(nullptr, nullptr);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

    EXPECT_EQ(sample->SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(16), S_OK);

    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_AVC1);
    ASSERT_EQ(sample->SetMediaType(&type), S_OK);
    AM_MEDIA_TYPE* carried = nullptr;
    ASSERT_EQ(sample->GetMediaType(&carried), S_OK);
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(carried->subtype, MEDIASUBTYPE_AVC1);
    DeleteMediaType(carried);
    ASSERT_EQ(sample->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(sample->GetMediaType(&carried), S_FALSE);
    sample->Release();
}

}  // namespace
