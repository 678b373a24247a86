// Media types: CMediaType and the helpers that own, copy and free AM_MEDIA_TYPE contents.
#include <cstring>

#include "platform/dshow/streams.h"

void WINAPI FreeMediaType(AM_MEDIA_TYPE& type)
{
    // A block without a length is still a block that was allocated.
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void WINAPI DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

namespace {

// Gives `type` a format block of `length` bytes: the current one when it has that size, else a
// new one, which takes the old block's first bytes when `keep` is set. Returns null, changing
// nothing, for a length of 0 or when out of memory.
BYTE* ResizeFormat(AM_MEDIA_TYPE* type, ULONG length, bool keep)
{
    if (length == 0)
        return nullptr;
    if (type->pbFormat && type->cbFormat == length)
        return type->pbFormat;
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return nullptr;
    if (type->pbFormat) {
        if (keep)
            std::memcpy(block, type->pbFormat, type->cbFormat < length ? type->cbFormat : length);
        CoTaskMemFree(type->pbFormat);
    }
    type->pbFormat = block;
    type->cbFormat = length;
    return block;
}

}  // namespace

HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (!target || !source)
        return E_POINTER;
    if (target == source)
        return S_OK;
    *target = *source;
    target->pbFormat = nullptr;
    target->cbFormat = 0;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        target->cbFormat = source->cbFormat;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* source)
{
    if (!source)
        return nullptr;
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type)
        return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

// ---------------------------------------------------------------------------------------------
// CMediaType

CMediaType::CMediaType()
{
    InitMediaType();
}

CMediaType::CMediaType(const GUID* majorType)
{
    InitMediaType();
    if (majorType)
        majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type, HRESULT* phr)
{
    InitMediaType();
    HRESULT hr = Set(type);
    if (phr && FAILED(hr))
        *phr = hr;
}

CMediaType::CMediaType(const CMediaType& type, HRESULT* phr)
{
    InitMediaType();
    HRESULT hr = Set(type);
    if (phr && FAILED(hr))
        *phr = hr;
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

void CMediaType::InitMediaType()
{
    std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type)
{
    if (&type == static_cast<AM_MEDIA_TYPE*>(this))
        return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, &type);
}

HRESULT CMediaType::Set(const CMediaType& type)
{
    return Set(static_cast<const AM_MEDIA_TYPE&>(type));
}

CMediaType& CMediaType::operator=(const CMediaType& type)
{
    Set(type);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type)
{
    Set(type);
    return *this;
}

bool CMediaType::operator==(const CMediaType& type) const
{
    if (!IsEqualGUID(majortype, type.majortype) || !IsEqualGUID(subtype, type.subtype) ||
        !IsEqualGUID(formattype, type.formattype) || cbFormat != type.cbFormat) {
        return false;
    }
    if (cbFormat == 0)
        return true;
    if (!pbFormat || !type.pbFormat)
        return pbFormat == type.pbFormat;
    return std::memcmp(pbFormat, type.pbFormat, cbFormat) == 0;
}

void CMediaType::SetSampleSize(ULONG size)
{
    if (size == 0) {
        SetVariableSize();
        return;
    }
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
}

void CMediaType::SetVariableSize()
{
    bFixedSizeSamples = FALSE;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length)
{
    if (length != 0 && !format)
        return FALSE;
    BYTE* block = nullptr;
    if (length != 0) {
        block = static_cast<BYTE*>(CoTaskMemAlloc(length));
        if (!block)
            return FALSE;
        std::memcpy(block, format, length);
    }
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return TRUE;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    return ResizeFormat(this, length, false);
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length)
{
    return ResizeFormat(this, length, true);
}

void CMediaType::ResetFormatBuffer()
{
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

BOOL CMediaType::IsPartiallySpecified() const
{
    return IsEqualGUID(majortype, GUID_NULL) || IsEqualGUID(formattype, GUID_NULL);
}

BOOL CMediaType::MatchesPartial(const CMediaType* partial) const
{
    if (!partial)
        return TRUE;
    if (!IsEqualGUID(partial->majortype, GUID_NULL) &&
        !IsEqualGUID(partial->majortype, majortype)) {
        return FALSE;
    }
    if (!IsEqualGUID(partial->subtype, GUID_NULL) && !IsEqualGUID(partial->subtype, subtype)) {
        return FALSE;
    }
    if (!IsEqualGUID(partial->formattype, GUID_NULL)) {
        if (!IsEqualGUID(partial->formattype, formattype))
            return FALSE;
        if (partial->cbFormat != cbFormat)
            return FALSE;
        if (cbFormat != 0 && (!pbFormat || !partial->pbFormat ||
                              std::memcmp(pbFormat, partial->pbFormat, cbFormat) != 0)) {
            return FALSE;
        }
    }
    return TRUE;
}
