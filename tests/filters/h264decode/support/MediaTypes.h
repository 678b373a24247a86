// Test support: media types as sources and renderers hand them to the decoder.
#pragma once

#include <cstring>
#include <vector>

#include "platform/dshow/streams.h"

namespace h264test {

// {E436EB7D-524F-11CE-9F53-0020AF0BA770}: 24-bit RGB, a type the filters do not write.
DEFINE_GUID(kSubtypeRgb24, 0xE436EB7D, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);

inline BITMAPINFOHEADER BitmapHeader(LONG width, LONG height, WORD bits, DWORD fourcc)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = fourcc;
    const LONG rows = height < 0 ? -height : height;
    header.biSizeImage = DWORD((LONGLONG(width) * bits + 31) / 32 * 4 * rows);
    return header;
}

// A video type with a VIDEOINFOHEADER.
inline CMediaType VideoInfoType(const GUID& subtype, LONG width, LONG height, WORD bits,
                                DWORD fourcc, REFERENCE_TIME frameDuration = 0)
{
    VIDEOINFOHEADER info = {};
    info.rcSource = info.rcTarget = RECT{0, 0, width, height < 0 ? -height : height};
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader = BitmapHeader(width, height, bits, fourcc);
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo);
    type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    type.SetSampleSize(info.bmiHeader.biSizeImage);
    return type;
}

inline CMediaType VideoInfo2Type(const GUID& subtype, LONG width, LONG height, WORD bits,
                                 DWORD fourcc, REFERENCE_TIME frameDuration = 0)
{
    VIDEOINFOHEADER2 info = {};
    info.rcSource = info.rcTarget = RECT{0, 0, width, height};
    info.AvgTimePerFrame = frameDuration;
    info.bmiHeader = BitmapHeader(width, height, bits, fourcc);
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo2);
    type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    return type;
}

// An H.264 type as the source's video pin offers it: an MPEG2VIDEOINFO followed by the
// parameter sets, each with its 2-byte big-endian length.
inline CMediaType Mpeg2VideoType(LONG width, LONG height, REFERENCE_TIME frameDuration,
                                 DWORD fourcc = MAKEFOURCC('A', 'V', 'C', '1'),
                                 const std::vector<BYTE>& sets = {}, DWORD nalLengthSize = 4)
{
    std::vector<BYTE> block(SIZE_MPEG2VIDEOINFO_HEADER + sets.size() + 4, 0);
    MPEG2VIDEOINFO info = {};
    info.hdr.rcSource = info.hdr.rcTarget = RECT{0, 0, width, height};
    info.hdr.AvgTimePerFrame = frameDuration;
    info.hdr.bmiHeader = BitmapHeader(width, height, 24, fourcc);
    info.dwProfile = 66;
    info.dwLevel = 30;
    info.dwFlags = nalLengthSize;
    info.cbSequenceHeader = DWORD(sets.size());
    std::memcpy(block.data(), &info, SIZE_MPEG2VIDEOINFO_HEADER);
    if (!sets.empty())
        std::memcpy(block.data() + SIZE_MPEG2VIDEOINFO_HEADER, sets.data(), sets.size());
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_AVC1);
    type.SetFormatType(&FORMAT_MPEG2Video);
    type.SetFormat(block.data(), ULONG(block.size()));
    type.SetVariableSize();
    type.SetTemporalCompression(TRUE);
    return type;
}

// The VIDEOINFOHEADER of a type, copied out.
inline VIDEOINFOHEADER VideoInfoOf(const AM_MEDIA_TYPE& type)
{
    VIDEOINFOHEADER info = {};
    if (type.pbFormat && type.cbFormat >= sizeof info)
        std::memcpy(&info, type.pbFormat, sizeof info);
    return info;
}

}  // namespace h264test
