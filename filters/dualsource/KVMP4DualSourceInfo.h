// The dual MP4 source filter's class identifier and its three custom interfaces, as the viewer
// sees them. The filter reads a front recording and, unless told to read one file only, its
// rear partner, and offers one output pin per track in the order "Front Video", "Front Audio",
// "Rear Video", "Rear Audio", leaving out the tracks that do not exist.
//
// Every method returns an HRESULT; the IUnknown methods of each interface reach the filter's
// controlling IUnknown. Strings handed out are allocated with CoTaskMemAlloc and freed by the
// caller with CoTaskMemFree.
#pragma once

#include "platform/com.h"

DEFINE_GUID(CLSID_KVMP4DualSourceFilter, 0x9A098A17, 0x3953, 0x49FF, 0x9E, 0xC4, 0x12, 0xDD, 0xAE,
            0x23, 0x68, 0x5D);

DEFINE_GUID(IID_IKVMP4DualSourceInfo, 0x6E6B7086, 0xDE18, 0x47DE, 0x9D, 0x94, 0x0E, 0xE2, 0x5B,
            0xE7, 0xAE, 0xC0);
DEFINE_GUID(IID_IKVFilterInfo, 0x27095ED1, 0xFEFD, 0x47FF, 0x80, 0x8C, 0x1C, 0x31, 0xC6, 0x72, 0x28,
            0xD3);
DEFINE_GUID(IID_IKVTrackInfo, 0xA4CD1C21, 0x43B8, 0x406B, 0xA0, 0x01, 0x0C, 0x9E, 0xE0, 0x1A, 0xB0,
            0x52);

// Pairing: which channels the last Load opened, and how the next Load pairs.
struct IKVMP4DualSourceInfo : IUnknown {
    // *front := 1; *rear := 1 when a rear recording was opened beside the front one, else 0.
    virtual HRESULT STDMETHODCALLTYPE GetChannelInfo(int* front, int* rear) = 0;
    // How far apart, in whole seconds, the start of a partner may lie for the next Load; 0 (the
    // default) pairs only the file of exactly the same moment.
    virtual HRESULT STDMETHODCALLTYPE SetPairTolerance(int seconds) = 0;
    // TRUE before Load: open only the given file, without looking for its partner.
    virtual HRESULT STDMETHODCALLTYPE SetSingleFileMode(BOOL single) = 0;

protected:
    ~IKVMP4DualSourceInfo() = default;
};
DECLARE_INTERFACE_ID(IKVMP4DualSourceInfo, IID_IKVMP4DualSourceInfo);

// The reading core's name ("KESTROVAN MP4 Source") and version ("1.2").
struct IKVFilterInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVersion(LPWSTR* version) = 0;

protected:
    ~IKVFilterInfo() = default;
};
DECLARE_INTERFACE_ID(IKVFilterInfo, IID_IKVFilterInfo);

// The tracks of the opened recordings.
struct IKVTrackInfo : IUnknown {
    // The audio (video) tracks of every opened recording together: a count above 0 means the
    // recording has sound.
    virtual HRESULT STDMETHODCALLTYPE GetAudioTrackCount(short* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVideoTrackCount(short* count) = 0;
    // S_OK when the front recording has a sound track, S_FALSE when it has none. The outputs are
    // not written.
    virtual HRESULT STDMETHODCALLTYPE GetAudioInfo(LPWSTR* codec, int* duration, int* sampleRate,
                                                   int* channels, int* bitsPerSample,
                                                   int* reserved) = 0;
    // The front recording's video track: the codec's name ("H264"), the duration in 100 ns
    // (INT_MAX when it does not fit), frames per second, bits per second, the picture size in
    // pixels, and 0 in *reserved. S_FALSE, writing nothing, when the front recording has no
    // video track (or nothing was loaded).
    virtual HRESULT STDMETHODCALLTYPE GetVideoInfo(LPWSTR* codec, int* duration, float* frameRate,
                                                   int* bitRate, int* width, int* height,
                                                   int* reserved) = 0;

protected:
    ~IKVTrackInfo() = default;
};
DECLARE_INTERFACE_ID(IKVTrackInfo, IID_IKVTrackInfo);
