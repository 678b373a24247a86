// The description of one port of a reading core: what it carries (major type, subtypes, format
// type and format block) and how many buffers of which size its consumer should provide.
#pragma once

#include "platform/base.h"

namespace FilterCore {

struct PortMediaTypeDesc;

// Abstract; the operations keep this order. Ports are destroyed through their concrete type by
// the collection that owns them, never through this interface, so it has no virtual destructor.
class CorePortPropertiesInterface {
public:
    virtual void SetAllocator(int reserved, int count, int size) = 0;
    virtual void SetMajorType(const GUID* majorType) = 0;
    virtual void SetSubtypes(int count, const GUID* subtypes) = 0;
    virtual void SetFormatType(const GUID* formatType) = 0;
    virtual int SetFormat(const void* block, int length) = 0;
    virtual void SetPortMediaType(const PortMediaTypeDesc* desc) = 0;
    virtual int GetReserved() = 0;
    virtual void GetAllocator(int* reserved, int* count, int* size) = 0;
    virtual int GetSubtypeCount() = 0;
    virtual const GUID* GetMajorType() = 0;
    virtual int GetSubtypes(GUID* out, int max) = 0;
    virtual const GUID* GetSubtype(int index) = 0;
    virtual const GUID* GetFormatType() = 0;
    virtual int CopyFormat(void** block, int* length) = 0;
    virtual const void* GetFormat(int* length) = 0;

protected:
    ~CorePortPropertiesInterface() = default;
};

}  // namespace FilterCore
