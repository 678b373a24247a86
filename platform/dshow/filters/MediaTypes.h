// Small pieces of media-type and time arithmetic the system filters share.
#pragma once

#include "platform/dshow/streams.h"

namespace sysfilters {

// The subtype GUID of a FOURCC or a sound format tag: the tag in the first field of the
// common base {xxxxxxxx-0000-0010-8000-00AA00389B71}.
inline GUID FourCCGuid(DWORD tag)
{
    return GUID{tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// The WAVEFORMATEX of a media type, or null when the type carries none (or a short one).
inline const WAVEFORMATEX* WaveFormat(const CMediaType& type)
{
    if (!IsEqualGUID(*type.FormatType(), FORMAT_WaveFormatEx) || !type.Format() ||
        type.FormatLength() < sizeof(WAVEFORMATEX))
        return nullptr;
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(type.Format());
    if (type.FormatLength() < sizeof(WAVEFORMATEX) + wfx->cbSize)
        return nullptr;
    return wfx;
}

// The 16-bit PCM type of the given rate and channels.
void SetPcm16Type(CMediaType* type, DWORD sampleRate, WORD channels);

}  // namespace sysfilters
