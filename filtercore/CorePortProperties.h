// One port of a reading core (see CorePortPropertiesInterface).
#pragma once

#include <string>
#include <vector>

#include "filtercore/CorePortPropertiesInterface.h"

namespace FilterCore {

// The record a caller fills on its stack to set a port's whole media type at once. The port
// copies what the pointers name and keeps nothing that points into the record.
struct PortMediaTypeDesc {
    const GUID* majorType;
    int subtypeCount;
    const GUID* subtypes;
    const GUID* formatType;
    const void* format;  // may be null: the port's format is then left as it is
    int formatLength;    // bytes
};

class CorePortProperties final : public CorePortPropertiesInterface {
public:
    // Every field but the name starts zero, null or empty.
    explicit CorePortProperties(const std::wstring& name);
    ~CorePortProperties() = default;
    CorePortProperties(const CorePortProperties&) = delete;
    CorePortProperties& operator=(const CorePortProperties&) = delete;

    // The allocator request: reserved (always 0), buffer count, buffer size in bytes.
    void SetAllocator(int reserved, int count, int size) override;
    void SetMajorType(const GUID* majorType) override;
    // A null array, or a count below 1, leaves the port without subtypes.
    void SetSubtypes(int count, const GUID* subtypes) override;
    void SetFormatType(const GUID* formatType) override;
    // Replaces the format block with a copy of `length` bytes; a null block or a length below 1
    // leaves the port without a format. Returns 1.
    int SetFormat(const void* block, int length) override;
    void SetPortMediaType(const PortMediaTypeDesc* desc) override;
    int GetReserved() override;
    void GetAllocator(int* reserved, int* count, int* size) override;
    int GetSubtypeCount() override;
    // Pointers into the port itself, valid while the port lives and is not changed.
    const GUID* GetMajorType() override;
    // Copies the first min(max, count) subtypes and returns how many it copied.
    int GetSubtypes(GUID* out, int max) override;
    // Null unless 0 <= index < count.
    const GUID* GetSubtype(int index) override;
    const GUID* GetFormatType() override;
    // Refuses (returns 0, allocates nothing) when *block is not null. Otherwise *block receives a
    // copy of the format allocated with CoTaskMemAlloc, which the caller frees with
    // CoTaskMemFree, and *length its size; without a format *length is 0 and *block stays null.
    // Returns 1 in both of those cases.
    int CopyFormat(void** block, int* length) override;
    // The port's own block, null when it has none; writes the length when asked.
    const void* GetFormat(int* length) override;

    // The name the port was created with ("Video Out", "Audio Out").
    const std::wstring& Name() const { return m_name; }

private:
    GUID m_majorType = GUID_NULL;
    GUID m_formatType = GUID_NULL;
    std::vector<GUID> m_subtypes;
    int m_reserved = 0;
    int m_bufferCount = 0;
    int m_bufferSize = 0;
    std::wstring m_name;
    std::vector<BYTE> m_format;
};

}  // namespace FilterCore
