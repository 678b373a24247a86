// Test support: a decoder filter made in-process, with a reference the test owns.
#pragma once

#include "filters/h264decode/KVH264.h"
#include "platform/dshow/streams.h"

namespace h264test {

struct Decoder {
    KVH264* object = nullptr;  // alive while `filter` holds its reference
    ComPtr<IBaseFilter> filter;
    IPin* Input() { return static_cast<IPin*>(object->GetPin(0)); }
    IPin* Output() { return static_cast<IPin*>(object->GetPin(1)); }
};

inline Decoder MakeDecoder()
{
    HRESULT hr = S_OK;
    Decoder decoder;
    decoder.object = static_cast<KVH264*>(KVH264::CreateInstance(nullptr, &hr));
    decoder.filter = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(decoder.object));
    return decoder;
}

}  // namespace h264test
