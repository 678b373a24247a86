// Global memory blocks as the stream over them sees them. Internal to the layer.
#pragma once

#include <functional>

#include "platform/com.h"

namespace platform {

// The most bytes one block holds: 4 GiB - 1.
constexpr SIZE_T kGlobalBlockLimit = 0xFFFFFFFFu;

// One block's bytes, valid only inside the AccessGlobalBlock call that gave them.
class GlobalBytes {
public:
    virtual BYTE* Data() = 0;
    virtual SIZE_T Size() const = 0;
    // Sets the size; bytes that join the block are zero, and bytes beyond the new size are
    // gone. Growing past the room the block has fails (returns false, changing nothing) when
    // the block is fixed or locked, when the size passes kGlobalBlockLimit, or when memory
    // runs out; shrinking always succeeds.
    virtual bool Resize(SIZE_T size) = 0;

protected:
    ~GlobalBytes() = default;
};

// Runs `use` with the block's bytes while the global memory lock is held, so no other call can
// free or move the block meanwhile; `use` must not call the Global* functions. Returns false
// (without calling `use`) when the handle is not a live block.
bool AccessGlobalBlock(HGLOBAL memory, const std::function<void(GlobalBytes&)>& use);

}  // namespace platform
