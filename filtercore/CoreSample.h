// The record by which an output pin asks a core for one sample: the buffer to fill (lent by the
// pin or allocated by the core) and, on return, what was written and when it starts.
#pragma once

#include "platform/base.h"

namespace FilterCore {

struct CoreSample {
    CoreSample() = default;
    ~CoreSample() { Release(); }
    CoreSample(const CoreSample&) = delete;
    CoreSample& operator=(const CoreSample&) = delete;

    // Every field 0, forgetting (not freeing) any buffer: for a record that holds garbage.
    void Clear();
    // Takes the pin's buffer of `size` bytes when the record holds no buffer yet; the pin keeps
    // ownership.
    void Lend(BYTE* buffer, int size);
    // Allocates a buffer of `size` bytes that the record owns, when it holds none; false when
    // the allocation fails.
    bool Allocate(int size);
    // Makes an owned buffer at least `size` bytes large (its contents are not kept); false for a
    // lent buffer, which cannot grow, or when the allocation fails.
    bool Grow(int size);
    // Forgets a lent buffer, frees an owned one; length, start and sync point return to 0.
    void Release();

    bool HasBuffer() const { return m_borrowed || m_owned; }

    int m_capacity = 0;  // bytes
    BYTE m_borrowed = 0;
    BYTE m_owned = 0;
    BYTE* m_buffer = nullptr;
    int m_length = 0;      // bytes written
    LONGLONG m_start = 0;  // 100 ns
    BOOL m_syncPoint = FALSE;
};

}  // namespace FilterCore
