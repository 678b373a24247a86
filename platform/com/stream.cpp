// The stream over a global memory block (CreateStreamOnHGlobal).
//
// A stream and its clones share one GlobalMemory record, which frees the block with the last
// of them when the block is theirs. Each stream has its own seek position, guarded by its own
// lock; the bytes are reached only through AccessGlobalBlock, under the global memory lock,
// which is always taken after a stream's lock and never held while another stream is called.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "global.h"

namespace platform {
namespace {

class GlobalMemory {
public:
    GlobalMemory(HGLOBAL block, bool owned) : m_block(block), m_owned(owned) {}
    ~GlobalMemory()
    {
        if (m_owned)
            GlobalFree(m_block);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;

    HGLOBAL Block() const { return m_block; }

private:
    const HGLOBAL m_block;
    const bool m_owned;  // the streams free the block when the last of them goes
};

class HGlobalStream final : public IStream {
public:
    HGlobalStream(std::shared_ptr<GlobalMemory> memory, ULONGLONG position)
        : m_memory(std::move(memory)), m_position(position)
    {
    }

    // IUnknown

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_references.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        return m_references.Release([this] { delete this; });
    }

    // ISequentialStream

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG bytes, ULONG* read) override
    {
        if (read)
            *read = 0;
        if (!buffer)
            return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> guard(m_lock);
        ULONG done = 0;
        bool live = AccessGlobalBlock(m_memory->Block(), [&](GlobalBytes& block) {
            if (m_position >= block.Size())
                return;
            done = ULONG(std::min<ULONGLONG>(bytes, block.Size() - m_position));
            std::memcpy(buffer, block.Data() + m_position, done);
        });
        if (!live)
            return STG_E_INVALIDHANDLE;
        m_position += done;
        if (read)
            *read = done;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override
    {
        if (written)
            *written = 0;
        if (!buffer)
            return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> guard(m_lock);
        if (bytes == 0)
            return S_OK;
        if (m_position > kGlobalBlockLimit - bytes)
            return STG_E_MEDIUMFULL;
        ULONGLONG end = m_position + bytes;
        HRESULT result = S_OK;
        bool live = AccessGlobalBlock(m_memory->Block(), [&](GlobalBytes& block) {
            if (end > block.Size() && !block.Resize(SIZE_T(end))) {
                result = STG_E_MEDIUMFULL;
                return;
            }
            std::memcpy(block.Data() + m_position, buffer, bytes);
        });
        if (!live)
            return STG_E_INVALIDHANDLE;
        if (FAILED(result))
            return result;
        m_position = end;
        if (written)
            *written = bytes;
        return S_OK;
    }

    // IStream

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ULONGLONG base = 0;
        switch (origin) {
            case STREAM_SEEK_SET:
                break;
            case STREAM_SEEK_CUR:
                base = m_position;
                break;
            case STREAM_SEEK_END: {
                SIZE_T size = 0;
                if (!BlockSize(&size))
                    return STG_E_INVALIDHANDLE;
                base = size;
                break;
            }
            default:
                return STG_E_INVALIDFUNCTION;
        }
        ULONGLONG target;
        if (origin == STREAM_SEEK_SET) {
            target = ULONGLONG(move.QuadPart);  // an unsigned offset from the start
        } else if (move.QuadPart < 0) {
            ULONGLONG back = 0 - ULONGLONG(move.QuadPart);
            if (back > base)
                return STG_E_INVALIDFUNCTION;  // before the start
            target = base - back;
        } else {
            ULONGLONG ahead = ULONGLONG(move.QuadPart);
            if (ahead > ~ULONGLONG(0) - base)
                return STG_E_INVALIDFUNCTION;
            target = base + ahead;
        }
        m_position = target;
        if (newPosition)
            newPosition->QuadPart = target;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override
    {
        if (newSize.QuadPart > kGlobalBlockLimit)
            return STG_E_MEDIUMFULL;
        std::lock_guard<std::mutex> guard(m_lock);
        bool resized = false;
        bool live = AccessGlobalBlock(m_memory->Block(), [&](GlobalBytes& block) {
            resized = block.Resize(SIZE_T(newSize.QuadPart));
        });
        if (!live)
            return STG_E_INVALIDHANDLE;
        return resized ? S_OK : STG_E_MEDIUMFULL;
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override
    {
        if (read)
            read->QuadPart = 0;
        if (written)
            written->QuadPart = 0;
        if (!target)
            return STG_E_INVALIDPOINTER;
        // Copied a piece at a time through a buffer, so that no lock is held while the target
        // (which may share this block) is called.
        constexpr ULONG kPiece = 64 * 1024;
        std::vector<BYTE> piece(size_t(std::min<ULONGLONG>(bytes.QuadPart, kPiece)));
        ULONGLONG left = bytes.QuadPart, totalRead = 0, totalWritten = 0;
        HRESULT result = S_OK;
        while (left > 0) {
            ULONG got = 0;
            result = Read(piece.data(), ULONG(std::min<ULONGLONG>(left, kPiece)), &got);
            if (FAILED(result) || got == 0)
                break;
            totalRead += got;
            left -= got;
            ULONG put = 0;
            result = target->Write(piece.data(), got, &put);
            totalWritten += put;
            if (FAILED(result))
                break;
            if (put < got) {
                result = STG_E_MEDIUMFULL;
                break;
            }
        }
        if (read)
            read->QuadPart = totalRead;
        if (written)
            written->QuadPart = totalWritten;
        return FAILED(result) ? result : S_OK;
    }

    // Not transacted: every write is in the block already, and there is nothing to undo.
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* statstg, DWORD statFlag) override
    {
        if (!statstg)
            return STG_E_INVALIDPOINTER;
        if (statFlag != STATFLAG_DEFAULT && statFlag != STATFLAG_NONAME &&
            statFlag != STATFLAG_NOOPEN)
            return STG_E_INVALIDFLAG;
        SIZE_T size = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (!BlockSize(&size))
                return STG_E_INVALIDHANDLE;
        }
        std::memset(statstg, 0, sizeof *statstg);
        statstg->pwcsName = nullptr;  // a memory stream has no name
        statstg->type = STGTY_STREAM;
        statstg->cbSize.QuadPart = size;
        statstg->grfMode = STGM_READWRITE;
        statstg->clsid = CLSID_NULL;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override
    {
        if (!clone)
            return STG_E_INVALIDPOINTER;
        *clone = nullptr;
        std::lock_guard<std::mutex> guard(m_lock);
        SIZE_T size = 0;
        if (!BlockSize(&size))
            return STG_E_INVALIDHANDLE;
        auto* copy = new (std::nothrow) HGlobalStream(m_memory, m_position);
        if (!copy)
            return E_OUTOFMEMORY;
        *clone = copy;  // its one reference is the caller's
        return S_OK;
    }

private:
    ~HGlobalStream() = default;

    bool BlockSize(SIZE_T* size)
    {
        return AccessGlobalBlock(m_memory->Block(),
                                 [&](GlobalBytes& block) { *size = block.Size(); });
    }

    const std::shared_ptr<GlobalMemory> m_memory;
    platform::RefCount m_references;
    std::mutex m_lock;
    ULONGLONG m_position;  // bytes from the start; guarded by m_lock
};

}  // namespace
}  // namespace platform

using namespace platform;

HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream)
{
    if (!stream)
        return E_INVALIDARG;
    *stream = nullptr;
    bool owned = deleteOnRelease != FALSE;
    if (!memory) {
        // Nothing outside the stream can reach a block made here, so it is always the
        // stream's to free.
        memory = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!memory)
            return E_OUTOFMEMORY;
        owned = true;
    } else if (!AccessGlobalBlock(memory, [](GlobalBytes&) {})) {
        return E_INVALIDARG;
    }
    std::shared_ptr<GlobalMemory> shared;
    try {
        shared = std::make_shared<GlobalMemory>(memory, owned);
    } catch (const std::bad_alloc&) {
        if (owned)
            GlobalFree(memory);
        return E_OUTOFMEMORY;
    }
    auto* created = new (std::nothrow) HGlobalStream(std::move(shared), 0);
    if (!created)
        return E_OUTOFMEMORY;
    *stream = created;  // its one reference is the caller's
    return S_OK;
}
