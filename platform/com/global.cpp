// Global memory: fixed and moveable blocks in one process-wide table.
//
// A fixed block's handle is the address of its bytes; a moveable block's handle is the address
// of its record. Either way the table is keyed by the handle, so every call can tell a live
// block from anything else. Blocks have room (capacity) beyond their size once a stream has
// grown them, so that a stream written byte by byte does not copy its bytes each time.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "global.h"

namespace platform {
namespace {

struct Block {
    bool moveable = false;
    BYTE* data = nullptr;  // malloc'd; null for a moveable block with no room
    SIZE_T size = 0;       // bytes the block holds
    SIZE_T capacity = 0;   // bytes allocated at data, at least size
    DWORD locks = 0;       // GlobalLock calls not yet undone (moveable blocks only)
};

struct BlockTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::unique_ptr<Block>> blocks;  // guarded by `lock`
};

BlockTable& Blocks()
{
    static BlockTable* table = new BlockTable;  // lives until the process ends
    return *table;
}

// The live block behind a handle, or null; the caller holds the table's lock.
Block* Find(BlockTable& table, HGLOBAL memory)
{
    auto it = table.blocks.find(reinterpret_cast<uintptr_t>(memory));
    return it == table.blocks.end() ? nullptr : it->second.get();
}

class BlockBytes final : public GlobalBytes {
public:
    explicit BlockBytes(Block& block) : m_block(block) {}

    BYTE* Data() override { return m_block.data; }
    SIZE_T Size() const override { return m_block.size; }

    bool Resize(SIZE_T size) override
    {
        if (size > kGlobalBlockLimit)
            return false;
        if (size > m_block.capacity) {
            // Moving the bytes would leave a fixed block's handle, or a locked block's
            // pointer, naming freed memory.
            if (!m_block.moveable || m_block.locks > 0)
                return false;
            SIZE_T room = std::max(size, std::min(kGlobalBlockLimit, m_block.capacity * 2));
            auto* grown = static_cast<BYTE*>(std::realloc(m_block.data, room));
            if (!grown)
                return false;
            m_block.data = grown;
            m_block.capacity = room;
        }
        if (size > m_block.size)
            std::memset(m_block.data + m_block.size, 0, size - m_block.size);
        m_block.size = size;
        return true;
    }

private:
    Block& m_block;
};

}  // namespace

bool AccessGlobalBlock(HGLOBAL memory, const std::function<void(GlobalBytes&)>& use)
{
    BlockTable& table = Blocks();
    std::lock_guard<std::mutex> guard(table.lock);
    Block* block = Find(table, memory);
    if (!block)
        return false;
    BlockBytes bytes(*block);
    use(bytes);
    return true;
}

}  // namespace platform

using namespace platform;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags & ~UINT(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bytes > kGlobalBlockLimit) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto block = std::make_unique<Block>();
    block->moveable = (flags & GMEM_MOVEABLE) != 0;
    // A fixed block always has bytes, since its handle is their address.
    if (bytes > 0 || !block->moveable) {
        SIZE_T room = std::max<SIZE_T>(bytes, 1);
        block->data =
            static_cast<BYTE*>((flags & GMEM_ZEROINIT) ? std::calloc(room, 1) : std::malloc(room));
        if (!block->data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        block->capacity = bytes;
    }
    block->size = bytes;
    HGLOBAL handle =
        block->moveable ? static_cast<HGLOBAL>(block.get()) : static_cast<HGLOBAL>(block->data);
    BlockTable& table = Blocks();
    std::lock_guard<std::mutex> guard(table.lock);
    table.blocks.emplace(reinterpret_cast<uintptr_t>(handle), std::move(block));
    return handle;
}

LPVOID GlobalLock(HGLOBAL memory)
{
    BlockTable& table = Blocks();
    std::lock_guard<std::mutex> guard(table.lock);
    Block* block = Find(table, memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!block->moveable)
        return block->data;
    if (block->size == 0) {
        SetLastError(ERROR_DISCARDED);
        return nullptr;
    }
    ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL memory)
{
    BlockTable& table = Blocks();
    std::lock_guard<std::mutex> guard(table.lock);
    Block* block = Find(table, memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!block->moveable)
        return TRUE;
    if (block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--block->locks > 0)
        return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    std::unique_ptr<Block> doomed;
    {
        BlockTable& table = Blocks();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.blocks.find(reinterpret_cast<uintptr_t>(memory));
        if (it == table.blocks.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
        doomed = std::move(it->second);
        table.blocks.erase(it);
    }
    std::free(doomed->data);
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL memory)
{
    BlockTable& table = Blocks();
    std::lock_guard<std::mutex> guard(table.lock);
    Block* block = Find(table, memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return block->size;
}
