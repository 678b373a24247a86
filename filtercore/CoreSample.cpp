#include "filtercore/CoreSample.h"

#include <new>

namespace FilterCore {

void CoreSample::Clear()
{
    m_capacity = 0;
    m_borrowed = 0;
    m_owned = 0;
    m_buffer = nullptr;
    m_length = 0;
    m_start = 0;
    m_syncPoint = FALSE;
}

void CoreSample::Lend(BYTE* buffer, int size)
{
    if (HasBuffer() || !buffer || size < 0)
        return;
    m_buffer = buffer;
    m_capacity = size;
    m_borrowed = 1;
}

bool CoreSample::Allocate(int size)
{
    if (HasBuffer())
        return true;
    if (size < 1)
        size = 1;
    m_buffer = new (std::nothrow) BYTE[size];
    if (!m_buffer)
        return false;
    m_capacity = size;
    m_owned = 1;
    return true;
}

bool CoreSample::Grow(int size)
{
    if (!m_owned)
        return false;
    if (size <= m_capacity)
        return true;
    BYTE* larger = new (std::nothrow) BYTE[size];
    if (!larger)
        return false;
    delete[] m_buffer;
    m_buffer = larger;
    m_capacity = size;
    return true;
}

void CoreSample::Release()
{
    if (m_owned)
        delete[] m_buffer;
    if (m_owned || m_borrowed) {
        m_buffer = nullptr;
        m_capacity = 0;
        m_owned = 0;
        m_borrowed = 0;
    }
    m_length = 0;
    m_start = 0;
    m_syncPoint = FALSE;
}

}  // namespace FilterCore
