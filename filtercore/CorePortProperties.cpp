#include "filtercore/CorePortProperties.h"

#include <algorithm>
#include <cstring>

#include "platform/kernel.h"

namespace FilterCore {

CorePortProperties::CorePortProperties(const std::wstring& name) : m_name(name) {}

void CorePortProperties::SetAllocator(int reserved, int count, int size)
{
    m_reserved = reserved;
    m_bufferCount = count;
    m_bufferSize = size;
}

void CorePortProperties::SetMajorType(const GUID* majorType)
{
    m_majorType = majorType ? *majorType : GUID_NULL;
}

void CorePortProperties::SetSubtypes(int count, const GUID* subtypes)
{
    m_subtypes.clear();
    if (subtypes && count > 0) m_subtypes.assign(subtypes, subtypes + count);
}

void CorePortProperties::SetFormatType(const GUID* formatType)
{
    m_formatType = formatType ? *formatType : GUID_NULL;
}

int CorePortProperties::SetFormat(const void* block, int length)
{
    m_format.clear();
    if (block && length > 0) {
        const BYTE* bytes = static_cast<const BYTE*>(block);
        m_format.assign(bytes, bytes + length);
    }
    return 1;
}

void CorePortProperties::SetPortMediaType(const PortMediaTypeDesc* desc)
{
    if (!desc) return;
    SetMajorType(desc->majorType);
    SetSubtypes(desc->subtypeCount, desc->subtypes);
    SetFormatType(desc->formatType);
    if (desc->format) SetFormat(desc->format, desc->formatLength);
}

int CorePortProperties::GetReserved() { return m_reserved; }

void CorePortProperties::GetAllocator(int* reserved, int* count, int* size)
{
    if (reserved) *reserved = m_reserved;
    if (count) *count = m_bufferCount;
    if (size) *size = m_bufferSize;
}

int CorePortProperties::GetSubtypeCount() { return static_cast<int>(m_subtypes.size()); }

const GUID* CorePortProperties::GetMajorType() { return &m_majorType; }

int CorePortProperties::GetSubtypes(GUID* out, int max)
{
    if (!out || max <= 0) return 0;
    int copied = std::min(max, GetSubtypeCount());
    std::copy_n(m_subtypes.begin(), copied, out);
    return copied;
}

const GUID* CorePortProperties::GetSubtype(int index)
{
    if (index < 0 || index >= GetSubtypeCount()) return nullptr;
    return &m_subtypes[index];
}

const GUID* CorePortProperties::GetFormatType() { return &m_formatType; }

int CorePortProperties::CopyFormat(void** block, int* length)
{
    if (!block || *block) return 0;
    if (m_format.empty()) {
        if (length) *length = 0;
        return 1;
    }
    void* copy = CoTaskMemAlloc(m_format.size());
    if (!copy) return 0;
    std::memcpy(copy, m_format.data(), m_format.size());
    *block = copy;
    if (length) *length = static_cast<int>(m_format.size());
    return 1;
}

const void* CorePortProperties::GetFormat(int* length)
{
    if (length) *length = static_cast<int>(m_format.size());
    return m_format.empty() ? nullptr : m_format.data();
}

}  // namespace FilterCore
