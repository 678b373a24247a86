// CUnknown's reference counting and aggregation rules, and CAMThread's request and reply.
#include <gtest/gtest.h>

#include "platform/dshow/streams.h"

namespace {

// {4F1C2B7A-9E3D-4A51-8C60-1D2E3F4A5B6C}
DEFINE_GUID(IID_ITestInner, 0x4F1C2B7A, 0x9E3D, 0x4A51, 0x8C, 0x60, 0x1D, 0x2E, 0x3F, 0x4A, 0x5B,
            0x6C);
// {4F1C2B7A-9E3D-4A51-8C60-1D2E3F4A5B6D}
DEFINE_GUID(IID_ITestOuter, 0x4F1C2B7A, 0x9E3D, 0x4A51, 0x8C, 0x60, 0x1D, 0x2E, 0x3F, 0x4A, 0x5B,
            0x6D);

struct ITestInner : IUnknown {
    virtual int STDMETHODCALLTYPE Value() = 0;

protected:
    ~ITestInner() = default;
};

struct ITestOuter : IUnknown {
    virtual int STDMETHODCALLTYPE OuterValue() = 0;

protected:
    ~ITestOuter() = default;
};

}  // namespace

DECLARE_INTERFACE_ID(ITestInner, IID_ITestInner);
DECLARE_INTERFACE_ID(ITestOuter, IID_ITestOuter);

namespace {

class CInner : public CUnknown, public ITestInner {
public:
    explicit CInner(LPUNKNOWN outer) : CUnknown(NAME("Inner"), outer) {}

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_ITestInner)) {
            return GetInterface(static_cast<ITestInner*>(this), object);
        }
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }
    int STDMETHODCALLTYPE Value() override { return 7; }

    LONG References() const { return m_cRef; }
};

// An aggregating object written by hand, as a foreign outer object would be: it keeps the
// inner object's non-delegating IUnknown and hands out the inner interface as its own.
class COuter final : public ITestOuter {
public:
    COuter()
    {
        CInner* inner = new CInner(this);
        inner->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&m_inner));
        m_innerObject = inner;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITestOuter)) {
            *object = static_cast<ITestOuter*>(this);
            AddRef();
            return S_OK;
        }
        return m_inner->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = --m_refs;
        if (count == 0)
            delete this;
        return ULONG(count);
    }
    int STDMETHODCALLTYPE OuterValue() override { return 11; }

    IUnknown* Inner() const { return m_inner; }
    CInner* InnerObject() const { return m_innerObject; }
    LONG References() const { return m_refs; }

private:
    ~COuter() { m_inner->Release(); }

    LONG m_refs = 0;
    IUnknown* m_inner = nullptr;  // the inner object's non-delegating IUnknown, one reference
    CInner* m_innerObject = nullptr;
};

TEST(CUnknownTest, StandaloneObjectCountsItsOwnReferencesAndDeletesItselfAtZero)
{
    const LONG before = CBaseObject::ObjectsActive();
    CInner* object = new CInner(nullptr);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before + 1);
    {
        ComPtr<ITestInner> inner;
        ASSERT_EQ(object->NonDelegatingQueryInterface(IID_PPV_ARGS(&inner)), S_OK);
        EXPECT_EQ(object->References(), 1);
        EXPECT_EQ(inner->Value(), 7);

        // Identity: IUnknown through the interface is the object's own non-delegating one.
        ComPtr<IUnknown> identity;
        ASSERT_EQ(inner->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
        ComPtr<IUnknown> again;
        ASSERT_EQ(identity->QueryInterface(IID_PPV_ARGS(&again)), S_OK);
        EXPECT_EQ(identity.Get(), again.Get());
        EXPECT_EQ(identity.Get(), object->GetOwner());
        EXPECT_EQ(object->References(), 3);

        ComPtr<ITestOuter> missing;
        EXPECT_EQ(inner->QueryInterface(IID_PPV_ARGS(&missing)), E_NOINTERFACE);
        EXPECT_EQ(missing.Get(), nullptr);
        EXPECT_EQ(inner->QueryInterface(IID_ITestInner, nullptr), E_POINTER);
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

TEST(CUnknownTest, AggregatedObjectDelegatesToItsOwnerAndStaysDistinctInside)
{
    const LONG before = CBaseObject::ObjectsActive();
    COuter* outer = new COuter;
    ComPtr<ITestOuter> held(outer);
    EXPECT_EQ(outer->InnerObject()->GetOwner(), static_cast<IUnknown*>(outer));
    EXPECT_EQ(outer->InnerObject()->References(), 1);  // the outer's one reference

    ComPtr<ITestInner> inner;
    ASSERT_EQ(held->QueryInterface(IID_PPV_ARGS(&inner)), S_OK);
    EXPECT_EQ(inner->Value(), 7);
    // References through the inner interface count on the outer object.
    EXPECT_EQ(outer->References(), 2);
    EXPECT_EQ(outer->InnerObject()->References(), 1);

    // Asking the inner interface gives the outer identity and the outer's interfaces.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(inner->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(outer));
    ComPtr<ITestOuter> outerInterface;
    ASSERT_EQ(inner->QueryInterface(IID_PPV_ARGS(&outerInterface)), S_OK);
    EXPECT_EQ(outerInterface->OuterValue(), 11);

    // The non-delegating IUnknown is the inner object's own: it answers IUnknown with itself
    // and counts the inner object.
    ComPtr<IUnknown> nondelegating;
    ASSERT_EQ(outer->Inner()->QueryInterface(IID_PPV_ARGS(&nondelegating)), S_OK);
    EXPECT_EQ(nondelegating.Get(), outer->Inner());
    EXPECT_NE(nondelegating.Get(), static_cast<IUnknown*>(outer));
    EXPECT_EQ(outer->InnerObject()->References(), 2);
    nondelegating = nullptr;

    inner = nullptr;
    identity = nullptr;
    outerInterface = nullptr;
    EXPECT_EQ(CBaseObject::ObjectsActive(), before + 1);
    held = nullptr;  // the outer goes and releases the inner object with it
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

// ---------------------------------------------------------------------------------------------
// CAMThread

class CEchoThread final : public CAMThread {
public:
    enum : DWORD { kPeek = 1, kQuitWithoutReply = 2, kExit = 3 };

protected:
    DWORD ThreadProc() override
    {
        for (;;) {
            DWORD request = GetRequest();
            switch (request) {
                case kPeek: {
                    // A peeked request is still pending: GetRequest sees it again.
                    DWORD peeked = 0;
                    BOOL pending = CheckRequest(&peeked);
                    DWORD again = GetRequest();
                    Reply(pending && peeked == kPeek && again == kPeek ? 100 : 0);
                    break;
                }
                case kQuitWithoutReply:
                    return 1;
                case kExit:
                    Reply(0);
                    return 0;
                default:
                    Reply(request * 2);
                    break;
            }
        }
    }
};

TEST(CAMThreadTest, RequestsAreAnsweredOneAfterAnotherAndPeekingLeavesThemPending)
{
    CEchoThread thread;
    EXPECT_EQ(thread.CallWorker(21), DWORD(E_FAIL));  // no thread yet
    ASSERT_TRUE(thread.Create());
    EXPECT_FALSE(thread.Create());
    EXPECT_EQ(thread.CallWorker(21), 42u);
    EXPECT_EQ(thread.CallWorker(CEchoThread::kPeek), 100u);
    EXPECT_EQ(thread.CallWorker(CEchoThread::kExit), 0u);
    thread.Close();
    EXPECT_FALSE(thread.ThreadExists());
}

TEST(CAMThreadTest, CallerIsReleasedWhenTheWorkerEndsWithoutReplying)
{
    CEchoThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(thread.CallWorker(CEchoThread::kQuitWithoutReply), DWORD(E_FAIL));
    EXPECT_EQ(thread.CallWorker(5), DWORD(E_FAIL));  // ended: nobody will answer
    thread.Close();
    // The thread can be started again.
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(thread.CallWorker(5), 10u);
    EXPECT_EQ(thread.CallWorker(CEchoThread::kExit), 0u);
    thread.Close();
}

}  // namespace
