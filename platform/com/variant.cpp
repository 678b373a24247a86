// BSTR and VARIANT: the value types of automation calls.
#include <cstdlib>
#include <cstring>

#include "platform/com.h"

namespace {

// A BSTR's block: the byte count, then the characters and a zero. The BSTR points past the count.
struct BstrHeader {
    UINT bytes;
};

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > (0xFFFFFFFFu - sizeof(BstrHeader)) / sizeof(OLECHAR) - 1)
        return nullptr;
    auto* block = static_cast<unsigned char*>(
        std::malloc(sizeof(BstrHeader) + (size_t(length) + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    BstrHeader header{UINT(length * sizeof(OLECHAR))};
    std::memcpy(block, &header, sizeof header);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(BstrHeader));
    if (text)
        std::memcpy(chars, text, length * sizeof(OLECHAR));
    else
        std::memset(chars, 0, length * sizeof(OLECHAR));
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, UINT(std::wcslen(text)));
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<unsigned char*>(text) - sizeof(BstrHeader));
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    BstrHeader header;
    std::memcpy(&header, reinterpret_cast<unsigned char*>(text) - sizeof(BstrHeader),
                sizeof header);
    return header.bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG* variant)
{
    if (!variant)
        return;
    std::memset(variant, 0, sizeof *variant);
    variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* variant)
{
    if (!variant)
        return E_INVALIDARG;
    if (!(variant->vt & VT_BYREF)) {
        switch (variant->vt) {
            case VT_BSTR:
                SysFreeString(variant->bstrVal);
                break;
            case VT_DISPATCH:
            case VT_UNKNOWN:
                if (variant->punkVal)
                    variant->punkVal->Release();
                break;
            default:
                break;
        }
    }
    VariantInit(variant);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    VARIANT copy = *source;
    if (!(source->vt & VT_BYREF)) {
        if (source->vt == VT_BSTR && source->bstrVal) {
            copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal) {
            source->punkVal->AddRef();
        }
    }
    VariantClear(target);
    *target = copy;
    return S_OK;
}
