// DirectShow: media-type identifiers and the format structures that media types carry; the
// interfaces of filters, pins, samples, allocators and the filter graph, with their result and
// event codes.
//
// Times are REFERENCE_TIME, signed 64-bit counts of 100 ns. The structures keep the layout they
// have on Windows, because format blocks are copied byte for byte between filters: each one
// carries a size check.
#pragma once

#include <cstddef>

#include "platform/base.h"
#include "platform/com.h"
#include "platform/gdi.h"  // RECT and BITMAPINFOHEADER, which video formats embed

typedef LONGLONG REFERENCE_TIME;

// A FOURCC is four characters, the first in the low byte.
#ifndef MAKEFOURCC
#define MAKEFOURCC(ch0, ch1, ch2, ch3)                                                  \
    ((DWORD)(BYTE)(ch0) | ((DWORD)(BYTE)(ch1) << 8) | ((DWORD)(BYTE)(ch2) << 16) | \
     ((DWORD)(BYTE)(ch3) << 24))
#endif

// ---------------------------------------------------------------------------------------------
// Audio format

#define WAVE_FORMAT_PCM 1

// Packed to 18 bytes as on Windows; cbSize counts the extra bytes that follow the structure.
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;   // Hz
    DWORD nAvgBytesPerSec;  // nBlockAlign * nSamplesPerSec for PCM
    WORD nBlockAlign;       // bytes of one sample of every channel
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

// ---------------------------------------------------------------------------------------------
// Video formats

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;       // bits per second
    DWORD dwBitErrorRate;  // bit errors per second
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef struct tagVIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;

// The format block is allocated with room for cbSequenceHeader bytes starting at
// dwSequenceHeader; the declared array of one DWORD is only the start of that room.
typedef struct tagMPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
} MPEG2VIDEOINFO;

// Bytes of an MPEG2VIDEOINFO before its sequence header.
#define SIZE_MPEG2VIDEOINFO_HEADER 132

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is packed to 18 bytes");
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(sizeof(MPEG2VIDEOINFO) == 136);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == SIZE_MPEG2VIDEOINFO_HEADER);

// ---------------------------------------------------------------------------------------------
// Media types, subtypes and format types

DEFINE_GUID(MEDIATYPE_Video, 0x73646976, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
            0x71);
DEFINE_GUID(MEDIATYPE_Audio, 0x73647561, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
            0x71);

DEFINE_GUID(MEDIASUBTYPE_None, 0xE436EB8E, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(MEDIASUBTYPE_AVC1, 0x31435641, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
            0x9B, 0x71);
// Packed and planar YUV pictures: each is its FOURCC in the first field.
DEFINE_GUID(MEDIASUBTYPE_YUY2, 0x32595559, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
            0x9B, 0x71);
DEFINE_GUID(MEDIASUBTYPE_YVYU, 0x55595659, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
            0x9B, 0x71);
DEFINE_GUID(MEDIASUBTYPE_UYVY, 0x59565955, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
            0x9B, 0x71);
DEFINE_GUID(MEDIASUBTYPE_YV12, 0x32315659, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
            0x9B, 0x71);
DEFINE_GUID(MEDIASUBTYPE_PCM, 0x00000001, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
            0x71);

DEFINE_GUID(FORMAT_None, 0x0F6417D6, 0xC318, 0x11D0, 0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31,
            0x96);
DEFINE_GUID(FORMAT_VideoInfo, 0x05589F80, 0xC356, 0x11CE, 0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59,
            0x5A);
DEFINE_GUID(FORMAT_VideoInfo2, 0xF72A76A0, 0xEB0A, 0x11D0, 0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC,
            0x16, 0xBA);
DEFINE_GUID(FORMAT_WaveFormatEx, 0x05589F81, 0xC356, 0x11CE, 0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55,
            0x59, 0x5A);
DEFINE_GUID(FORMAT_MPEG2Video, 0xE06D80E3, 0xDB46, 0x11CF, 0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C,
            0xBB, 0xEA);

// =============================================================================================
// Filters, pins and the filter graph
//
// The interfaces below keep DirectShow's method order. Unless a comment says otherwise, an out
// pointer that receives an interface receives one reference that the caller releases, and
// `long` parameters of the documentation are LONG (32 bits) here.

struct IPin;
struct IBaseFilter;
struct IFilterGraph;
struct IEnumPins;
struct IEnumMediaTypes;
struct IEnumFilters;
struct IMemAllocator;
struct IMediaSample;
struct IReferenceClock;

// ---------------------------------------------------------------------------------------------
// Media types on connections and samples
//
// pbFormat is allocated with CoTaskMemAlloc and belongs to the structure that points to it;
// pUnk, when set, is one counted reference. FreeMediaType, DeleteMediaType, CreateMediaType
// and CopyMediaType (platform/dshow/streams.h) follow these rules.
typedef struct _AMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;  // bytes; meaningful when bFixedSizeSamples is set
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;  // bytes at pbFormat
    BYTE* pbFormat;
} AM_MEDIA_TYPE;
static_assert(offsetof(AM_MEDIA_TYPE, formattype) == 44 &&
                  sizeof(AM_MEDIA_TYPE) == (sizeof(void*) == 8 ? 88 : 72),
              "AM_MEDIA_TYPE crosses COM interfaces");

typedef enum _PinDirection { PINDIR_INPUT, PINDIR_OUTPUT } PIN_DIRECTION;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

// pFilter is one reference that the caller releases.
typedef struct _PinInfo {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

// pGraph, when not null, is one reference that the caller releases.
typedef struct _FilterInfo {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;
} FILTER_INFO;

typedef enum _FilterState { State_Stopped, State_Paused, State_Running } FILTER_STATE;

// Buffer counts and sizes in bytes. cbAlign is a power of two; cbPrefix bytes precede each
// buffer (the sample's pointer starts after them).
typedef struct _AllocatorProperties {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
} ALLOCATOR_PROPERTIES;

typedef enum tagQualityMessageType { Famine, Flood } QualityMessageType;

// A renderer's report on how it keeps up. Proportion: the share of the data it can handle, in
// thousandths (1000 = all). Late: how late the last sample was, in 100 ns (negative: early).
// TimeStamp: the start time of that sample.
typedef struct tagQuality {
    QualityMessageType Type;
    LONG Proportion;
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
} Quality;

// Sample flags of AM_SAMPLE2_PROPERTIES::dwSampleFlags.
#define AM_SAMPLE_SPLICEPOINT 0x01
#define AM_SAMPLE_PREROLL 0x02
#define AM_SAMPLE_DATADISCONTINUITY 0x04
#define AM_SAMPLE_TYPECHANGED 0x08
#define AM_SAMPLE_TIMEVALID 0x10
#define AM_SAMPLE_TIMEDISCONTINUITY 0x40
#define AM_SAMPLE_FLUSH_ON_PAUSE 0x80
#define AM_SAMPLE_STOPVALID 0x100
#define AM_SAMPLE_ENDOFSTREAM 0x200

#define AM_STREAM_MEDIA 0
#define AM_STREAM_CONTROL 1

// The properties of one sample as a filter received it. pMediaType, when the type changed,
// points to a type that the receiver owns (see CBaseInputPin::SampleProps).
typedef struct tagAM_SAMPLE2_PROPERTIES {
    DWORD cbData;  // bytes of this structure
    DWORD dwTypeSpecificFlags;
    DWORD dwSampleFlags;  // AM_SAMPLE_*
    LONG lActual;         // bytes of data
    REFERENCE_TIME tStart;
    REFERENCE_TIME tStop;
    DWORD dwStreamId;  // AM_STREAM_*
    AM_MEDIA_TYPE* pMediaType;
    BYTE* pbBuffer;
    LONG cbBuffer;
} AM_SAMPLE2_PROPERTIES;

// IMemAllocator::GetBuffer flags.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4

// ---------------------------------------------------------------------------------------------
// Result codes

#define VFW_S_NO_MORE_ITEMS ((HRESULT)0x00040103)
#define VFW_S_DUPLICATE_NAME ((HRESULT)0x0004022D)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237)
#define VFW_S_PARTIAL_RENDER ((HRESULT)0x00040242)
#define VFW_S_SOME_DATA_IGNORED ((HRESULT)0x00040245)
#define VFW_S_CONNECTIONS_DEFERRED ((HRESULT)0x00040246)
#define VFW_S_RESOURCE_NOT_NEEDED ((HRESULT)0x00040250)
#define VFW_S_ESTIMATED ((HRESULT)0x00040260)
#define VFW_S_STREAM_OFF ((HRESULT)0x00040267)
#define VFW_S_CANT_CUE ((HRESULT)0x00040268)
#define VFW_S_NO_STOP_TIME ((HRESULT)0x00040270)

#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200)
#define VFW_E_INVALIDSUBTYPE ((HRESULT)0x80040201)
#define VFW_E_NEED_OWNER ((HRESULT)0x80040202)
#define VFW_E_ENUM_OUT_OF_SYNC ((HRESULT)0x80040203)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204)
#define VFW_E_FILTER_ACTIVE ((HRESULT)0x80040205)
#define VFW_E_NO_TYPES ((HRESULT)0x80040206)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209)
#define VFW_E_NO_ALLOCATOR ((HRESULT)0x8004020A)
#define VFW_E_RUNTIME_ERROR ((HRESULT)0x8004020B)
#define VFW_E_BUFFER_NOTSET ((HRESULT)0x8004020C)
#define VFW_E_BUFFER_OVERFLOW ((HRESULT)0x8004020D)
#define VFW_E_BADALIGN ((HRESULT)0x8004020E)
#define VFW_E_ALREADY_COMMITTED ((HRESULT)0x8004020F)
#define VFW_E_BUFFERS_OUTSTANDING ((HRESULT)0x80040210)
#define VFW_E_NOT_COMMITTED ((HRESULT)0x80040211)
#define VFW_E_SIZENOTSET ((HRESULT)0x80040212)
#define VFW_E_NO_CLOCK ((HRESULT)0x80040213)
#define VFW_E_NO_SINK ((HRESULT)0x80040214)
#define VFW_E_NO_INTERFACE ((HRESULT)0x80040215)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218)
#define VFW_E_CHANGING_FORMAT ((HRESULT)0x80040219)
#define VFW_E_STATE_CHANGED ((HRESULT)0x80040223)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224)
#define VFW_E_NOT_PAUSED ((HRESULT)0x80040225)
#define VFW_E_NOT_RUNNING ((HRESULT)0x80040226)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227)
#define VFW_E_START_TIME_AFTER_END ((HRESULT)0x80040228)
#define VFW_E_INVALID_RECT ((HRESULT)0x80040229)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022A)
#define VFW_E_SAMPLE_REJECTED ((HRESULT)0x8004022B)
#define VFW_E_SAMPLE_REJECTED_EOS ((HRESULT)0x8004022C)
#define VFW_E_DUPLICATE_NAME ((HRESULT)0x8004022D)
#define VFW_E_TIMEOUT ((HRESULT)0x8004022E)
#define VFW_E_INVALID_FILE_FORMAT ((HRESULT)0x8004022F)
#define VFW_E_ENUM_OUT_OF_RANGE ((HRESULT)0x80040230)
#define VFW_E_CIRCULAR_GRAPH ((HRESULT)0x80040231)
#define VFW_E_TIME_ALREADY_PASSED ((HRESULT)0x80040233)
#define VFW_E_ALREADY_CANCELLED ((HRESULT)0x80040234)
#define VFW_E_ADVISE_ALREADY_SET ((HRESULT)0x80040236)
#define VFW_E_NO_ADVISE_SET ((HRESULT)0x80040239)
#define VFW_E_UNKNOWN_FILE_TYPE ((HRESULT)0x80040240)
#define VFW_E_CANNOT_LOAD_SOURCE_FILTER ((HRESULT)0x80040241)
#define VFW_E_FILE_TOO_SHORT ((HRESULT)0x80040243)
#define VFW_E_INVALID_FILE_VERSION ((HRESULT)0x80040244)
#define VFW_E_INVALID_CLSID ((HRESULT)0x80040247)
#define VFW_E_INVALID_MEDIA_TYPE ((HRESULT)0x80040248)
#define VFW_E_SAMPLE_TIME_NOT_SET ((HRESULT)0x80040249)
#define VFW_E_MEDIA_TIME_NOT_SET ((HRESULT)0x80040251)
#define VFW_E_NO_TIME_FORMAT_SET ((HRESULT)0x80040252)
#define VFW_E_NO_DECOMPRESSOR ((HRESULT)0x80040255)
#define VFW_E_NO_AUDIO_HARDWARE ((HRESULT)0x80040256)
#define VFW_E_UNSUPPORTED_AUDIO ((HRESULT)0x8004025C)
#define VFW_E_UNSUPPORTED_VIDEO ((HRESULT)0x8004025D)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025F)
#define VFW_E_NO_TIME_FORMAT ((HRESULT)0x80040261)
#define VFW_E_READ_ONLY ((HRESULT)0x80040262)
#define VFW_E_BUFFER_UNDERFLOW ((HRESULT)0x80040264)
#define VFW_E_UNSUPPORTED_STREAM ((HRESULT)0x80040265)
#define VFW_E_NO_TRANSPORT ((HRESULT)0x80040266)

// ---------------------------------------------------------------------------------------------
// Event codes (IMediaEventSink::Notify, IMediaEvent::GetEvent) and their parameters

#define EC_COMPLETE 0x01              // HRESULT of the stream's end; the renderer's IBaseFilter
#define EC_USERABORT 0x02             // none
#define EC_ERRORABORT 0x03            // HRESULT of the failure
#define EC_TIME 0x04                  // the requested time, low and high 32 bits
#define EC_REPAINT 0x05               // the pin to repaint from, or null
#define EC_STREAM_ERROR_STOPPED 0x06  // HRESULT, extra code
#define EC_STREAM_ERROR_STILLPLAYING 0x07
#define EC_ERROR_STILLPLAYING 0x08
#define EC_PALETTE_CHANGED 0x09
#define EC_VIDEO_SIZE_CHANGED 0x0A  // width in the low word, height in the high word
#define EC_QUALITY_CHANGE 0x0B      // none: a filter starts dropping samples
#define EC_SHUTTING_DOWN 0x0C
#define EC_CLOCK_CHANGED 0x0D
#define EC_PAUSED 0x0E  // HRESULT of the completed pause
#define EC_OPENING_FILE 0x10
#define EC_BUFFERING_DATA 0x11
#define EC_FULLSCREEN_LOST 0x12
#define EC_ACTIVATE 0x13
#define EC_NEED_RESTART 0x14
#define EC_WINDOW_DESTROYED 0x15
#define EC_DISPLAY_CHANGED 0x16
#define EC_STARVATION 0x17
#define EC_STREAM_CONTROL_STOPPED 0x1A
#define EC_STREAM_CONTROL_STARTED 0x1B
#define EC_END_OF_SEGMENT 0x1C
#define EC_SEGMENT_STARTED 0x1D
#define EC_LENGTH_CHANGED 0x1E
#define EC_DEVICE_LOST 0x1F
#define EC_CLOCK_UNSET 0x51
#define EC_USER 0x8000  // codes from here on belong to the application

// ---------------------------------------------------------------------------------------------
// Seeking

// Time formats of IMediaSeeking. TIME_FORMAT_MEDIA_TIME counts 100 ns.
#define TIME_FORMAT_NONE GUID_NULL
DEFINE_GUID(TIME_FORMAT_FRAME, 0x7B785570, 0x8C82, 0x11CF, 0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74,
            0xF6);
DEFINE_GUID(TIME_FORMAT_BYTE, 0x7B785571, 0x8C82, 0x11CF, 0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74,
            0xF6);
DEFINE_GUID(TIME_FORMAT_SAMPLE, 0x7B785572, 0x8C82, 0x11CF, 0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC,
            0x74, 0xF6);
DEFINE_GUID(TIME_FORMAT_FIELD, 0x7B785573, 0x8C82, 0x11CF, 0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74,
            0xF6);
DEFINE_GUID(TIME_FORMAT_MEDIA_TIME, 0x7B785574, 0x8C82, 0x11CF, 0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC,
            0x74, 0xF6);

// Seeking capabilities (bits).
#define AM_SEEKING_CanSeekAbsolute 0x1
#define AM_SEEKING_CanSeekForwards 0x2
#define AM_SEEKING_CanSeekBackwards 0x4
#define AM_SEEKING_CanGetCurrentPos 0x8
#define AM_SEEKING_CanGetStopPos 0x10
#define AM_SEEKING_CanGetDuration 0x20
#define AM_SEEKING_CanPlayBackwards 0x40
#define AM_SEEKING_CanDoSegments 0x80
#define AM_SEEKING_Source 0x100

// SetPositions flags: one positioning value (mask 3) and modifier bits.
#define AM_SEEKING_NoPositioning 0x0
#define AM_SEEKING_AbsolutePositioning 0x1
#define AM_SEEKING_RelativePositioning 0x2
#define AM_SEEKING_IncrementalPositioning 0x3
#define AM_SEEKING_PositioningBitsMask 0x3
#define AM_SEEKING_SeekToKeyFrame 0x4
#define AM_SEEKING_ReturnTime 0x8
#define AM_SEEKING_Segment 0x10
#define AM_SEEKING_NoFlush 0x20

// Seconds, as IMediaPosition counts them.
typedef double REFTIME;

// ---------------------------------------------------------------------------------------------
// Registration data of a filter library (AMovieDllRegisterServer2, platform/dshow/streams.h)
//
// Merits rank filters for automatic graph building; MERIT_DO_NOT_USE keeps a filter out of it,
// so that only a caller asking for its class identifier puts it into a graph.
#define MERIT_PREFERRED 0x800000
#define MERIT_NORMAL 0x600000
#define MERIT_UNLIKELY 0x400000
#define MERIT_DO_NOT_USE 0x200000
#define MERIT_SW_COMPRESSOR 0x100000
#define MERIT_HW_COMPRESSOR 0x100050

// Pin flags of the registered filter data.
#define REG_PINFLAG_B_ZERO 0x1
#define REG_PINFLAG_B_RENDERER 0x2
#define REG_PINFLAG_B_MANY 0x4
#define REG_PINFLAG_B_OUTPUT 0x8

// A registered media type; a null pointer registers GUID_NULL ("any").
typedef struct {
    const CLSID* clsMajorType;
    const CLSID* clsMinorType;
} REGPINTYPES, AMOVIESETUP_MEDIATYPE;

typedef struct {
    const WCHAR* strName;  // not registered; usually empty
    BOOL bRendered;        // the filter renders what this input pin receives
    BOOL bOutput;
    BOOL bZero;  // the filter may have no instance of this pin
    BOOL bMany;  // the filter may create many instances of this pin
    const CLSID* clsConnectsToFilter;  // not registered
    const WCHAR* strConnectsToPin;     // not registered
    UINT nMediaTypes;
    const REGPINTYPES* lpMediaType;
} REGFILTERPINS, AMOVIESETUP_PIN;

typedef struct {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
} AMOVIESETUP_FILTER;

// The category every filter of AMovieDllRegisterServer2 is registered in:
// HKEY_CLASSES_ROOT\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{filter}.
DEFINE_GUID(CLSID_LegacyAmFilterCategory, 0x083863F1, 0x70DE, 0x11D0, 0xBD, 0x40, 0x00, 0xA0, 0xC9,
            0x11, 0xCE, 0x86);

// ---------------------------------------------------------------------------------------------
// Class identifiers of the layer's own DirectShow objects

DEFINE_GUID(CLSID_FilterGraph, 0xE436EBB3, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(CLSID_SystemClock, 0xE436EBB1, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(CLSID_MemoryAllocator, 0x1E651CC0, 0xB199, 0x11D0, 0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3,
            0x2C, 0x45);

// ---------------------------------------------------------------------------------------------
// Interface identifiers

DEFINE_GUID(IID_IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEventSink, 0x56A868A2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IQualityControl, 0x56A868A5, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IFileSourceFilter, 0x56A868A6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IMediaPosition, 0x56A868B2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IBasicAudio, 0x56A868B3, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55,
            0x59, 0x5A);
DEFINE_GUID(IID_IMediaSeeking, 0x36B73880, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF,
            0x60);
DEFINE_GUID(IID_IAMovieSetup, 0xA3D8CEC0, 0x7E5A, 0x11CF, 0xBB, 0xC5, 0x00, 0x80, 0x5F, 0x6C, 0xEF,
            0x20);
DEFINE_GUID(IID_IAMFilterMiscFlags, 0x2DD74950, 0xA890, 0x11D1, 0xAB, 0xE8, 0x00, 0xA0, 0xC9, 0x05,
            0xF3, 0x75);

// ---------------------------------------------------------------------------------------------
// Interfaces

struct IPersist : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classID) = 0;

protected:
    ~IPersist() = default;
};
DECLARE_INTERFACE_ID(IPersist, IID_IPersist);

// HEVENT is an event handle (CreateEventW) and HSEMAPHORE a semaphore handle, passed as numbers.
typedef DWORD_PTR HEVENT;
typedef DWORD_PTR HSEMAPHORE;

// Reference time: 100 ns of a monotonic clock. AdviseTime signals the event once at
// baseTime + streamTime; AdvisePeriodic releases the semaphore every period from startTime.
// The cookie identifies the request for Unadvise.
struct IReferenceClock : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                                 HEVENT event, DWORD_PTR* adviseCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime,
                                                     REFERENCE_TIME periodTime,
                                                     HSEMAPHORE semaphore,
                                                     DWORD_PTR* adviseCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR adviseCookie) = 0;

protected:
    ~IReferenceClock() = default;
};
DECLARE_INTERFACE_ID(IReferenceClock, IID_IReferenceClock);

// Stop, Pause and Run change the filter's state; Run's start is the reference time that
// corresponds to stream time 0. GetState may answer VFW_S_STATE_INTERMEDIATE while a change is
// under way (a renderer waiting for its first sample) and VFW_S_CANT_CUE for a live source.
struct IMediaFilter : IPersist {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD milliSecsTimeout, FILTER_STATE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) = 0;

protected:
    ~IMediaFilter() = default;
};
DECLARE_INTERFACE_ID(IMediaFilter, IID_IMediaFilter);

// A filter. JoinFilterGraph(graph, name) is called by the graph when the filter is added (and
// with null when it is removed); the filter keeps the graph pointer without a reference, since
// the graph holds one on the filter. QueryVendorInfo's text is CoTaskMemAlloc'd.
struct IBaseFilter : IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** enumPins) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) = 0;

protected:
    ~IBaseFilter() = default;
};
DECLARE_INTERFACE_ID(IBaseFilter, IID_IBaseFilter);

// A pin. Connect is called on an output pin by the graph and calls ReceiveConnection on the
// input pin; a media type given to Connect may be partial (GUID_NULL parts match anything).
// QueryId's text is CoTaskMemAlloc'd. EndOfStream, BeginFlush, EndFlush and NewSegment travel
// downstream and are called on input pins only. Times are 100 ns.
struct IPin : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                        const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** enumTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                 double rate) = 0;

protected:
    ~IPin() = default;
};
DECLARE_INTERFACE_ID(IPin, IID_IPin);

// Enumerators hand out up to `count` items (each one reference, or one CoTaskMemAlloc'd media
// type that the caller frees with DeleteMediaType) and answer S_FALSE when fewer remained.
// fetched may be null only when count is 1. VFW_E_ENUM_OUT_OF_SYNC: the set changed; Reset.
struct IEnumPins : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) = 0;

protected:
    ~IEnumPins() = default;
};
DECLARE_INTERFACE_ID(IEnumPins, IID_IEnumPins);

struct IEnumMediaTypes : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) = 0;

protected:
    ~IEnumMediaTypes() = default;
};
DECLARE_INTERFACE_ID(IEnumMediaTypes, IID_IEnumMediaTypes);

struct IEnumFilters : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** clone) = 0;

protected:
    ~IEnumFilters() = default;
};
DECLARE_INTERFACE_ID(IEnumFilters, IID_IEnumFilters);

struct IFilterGraph : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** enumFilters) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* output, IPin* input,
                                                    const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reconnect(IPin* pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() = 0;

protected:
    ~IFilterGraph() = default;
};
DECLARE_INTERFACE_ID(IFilterGraph, IID_IFilterGraph);

struct IGraphBuilder : IFilterGraph {
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin* output, IPin* input) = 0;
    virtual HRESULT STDMETHODCALLTYPE Render(IPin* output) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR fileName, LPCWSTR filterName,
                                                      IBaseFilter** filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
    virtual HRESULT STDMETHODCALLTYPE ShouldOperationContinue() = 0;

protected:
    ~IGraphBuilder() = default;
};
DECLARE_INTERFACE_ID(IGraphBuilder, IID_IGraphBuilder);

// A buffer with its properties. Times are 100 ns of stream time: GetTime answers
// VFW_E_SAMPLE_TIME_NOT_SET without a start time and VFW_S_NO_STOP_TIME (stop := start + 1)
// without a stop time. GetMediaType gives a CoTaskMemAlloc'd copy (DeleteMediaType) and S_OK
// when the sample carries a new media type, else null and S_FALSE. The sample goes back to its
// allocator's pool at its final Release.
struct IMediaSample : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) = 0;
    virtual LONG STDMETHODCALLTYPE GetSize() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSyncPoint() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPreroll() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) = 0;
    virtual LONG STDMETHODCALLTYPE GetActualDataLength() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsDiscontinuity() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) = 0;

protected:
    ~IMediaSample() = default;
};
DECLARE_INTERFACE_ID(IMediaSample, IID_IMediaSample);

// A pool of samples. GetBuffer blocks until a sample is free (unless AM_GBF_NOWAIT:
// VFW_E_TIMEOUT) and fails with VFW_E_NOT_COMMITTED when the allocator is not committed,
// also for callers that were waiting when Decommit came.
struct IMemAllocator : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                                    ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
    virtual HRESULT STDMETHODCALLTYPE Decommit() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** buffer, REFERENCE_TIME* startTime,
                                                REFERENCE_TIME* endTime, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* buffer) = 0;

protected:
    ~IMemAllocator() = default;
};
DECLARE_INTERFACE_ID(IMemAllocator, IID_IMemAllocator);

// The transport of an input pin. Receive answers S_OK to go on, S_FALSE when the upstream
// filter should stop sending (flushing, end reached) and an error when the stream fails.
struct IMemInputPin : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                                      LONG* processed) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveCanBlock() = 0;

protected:
    ~IMemInputPin() = default;
};
DECLARE_INTERFACE_ID(IMemInputPin, IID_IMemInputPin);

// Where filters post events for the graph (EC_*).
struct IMediaEventSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;

protected:
    ~IMediaEventSink() = default;
};
DECLARE_INTERFACE_ID(IMediaEventSink, IID_IMediaEventSink);

// Quality messages travel upstream from a renderer: an output pin receives Notify from the
// input pin it feeds. SetSink installs another receiver (not counted).
struct IQualityControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) = 0;

protected:
    ~IQualityControl() = default;
};
DECLARE_INTERFACE_ID(IQualityControl, IID_IQualityControl);

// GetCurFile's name is CoTaskMemAlloc'd (the caller frees it); its media type, when asked for,
// is filled like ConnectionMediaType's.
struct IFileSourceFilter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* mediaType) = 0;

protected:
    ~IFileSourceFilter() = default;
};
DECLARE_INTERFACE_ID(IFileSourceFilter, IID_IFileSourceFilter);

// Positions and durations in the current time format (media time: 100 ns). SetPositions takes
// AM_SEEKING_* flags for each of the two positions; a null pointer goes with
// AM_SEEKING_NoPositioning. Rates are multiples of normal speed.
struct IMediaSeeking : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                        LONGLONG source,
                                                        const GUID* sourceFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags,
                                                   LONGLONG* stop, DWORD stopFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRate(double rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRate(double* rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) = 0;

protected:
    ~IMediaSeeking() = default;
};
DECLARE_INTERFACE_ID(IMediaSeeking, IID_IMediaSeeking);

// Positions in seconds (REFTIME). CanSeekForward and CanSeekBackward write OATRUE (-1) or
// OAFALSE (0).
#define OATRUE (-1)
#define OAFALSE (0)
struct IMediaPosition : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Rate(double rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Rate(double* rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* canSeek) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* canSeek) = 0;

protected:
    ~IMediaPosition() = default;
};
DECLARE_INTERFACE_ID(IMediaPosition, IID_IMediaPosition);

// The graph's state as IMediaControl reports it: the FILTER_STATE values.
typedef LONG OAFilterState;

struct IMediaControl : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFile(BSTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR fileName, IDispatch** unknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** unknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** unknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopWhenReady() = 0;

protected:
    ~IMediaControl() = default;
};
DECLARE_INTERFACE_ID(IMediaControl, IID_IMediaControl);

// OAEVENT is an event handle and OAHWND a window handle, passed as numbers.
typedef LONG_PTR OAEVENT;
typedef LONG_PTR OAHWND;

// GetEvent takes the oldest queued event (E_ABORT when none arrives within msTimeout
// milliseconds); FreeEventParams releases what its parameters hold.
struct IMediaEvent : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT* event) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2,
                                               LONG msTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeEventParams(LONG eventCode, LONG_PTR param1,
                                                      LONG_PTR param2) = 0;

protected:
    ~IMediaEvent() = default;
};
DECLARE_INTERFACE_ID(IMediaEvent, IID_IMediaEvent);

// SetNotifyWindow: each queued event posts `message` (wParam 0, lParam instanceData) to the
// window; a null window stops the notifications.
struct IMediaEventEx : IMediaEvent {
    virtual HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, LONG message,
                                                      LONG_PTR instanceData) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNotifyFlags(LONG noNotifyFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNotifyFlags(LONG* noNotifyFlags) = 0;

protected:
    ~IMediaEventEx() = default;
};
DECLARE_INTERFACE_ID(IMediaEventEx, IID_IMediaEventEx);

// Volume in hundredths of a decibel, -10000 (silence) to 0 (full); balance -10000 (left only)
// to 10000 (right only).
struct IBasicAudio : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Volume(LONG volume) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Volume(LONG* volume) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Balance(LONG balance) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Balance(LONG* balance) = 0;

protected:
    ~IBasicAudio() = default;
};
DECLARE_INTERFACE_ID(IBasicAudio, IID_IBasicAudio);

// A filter's own registration: Register writes its filter data under the filter category,
// Unregister removes it (S_FALSE when the filter has no registration data).
struct IAMovieSetup : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Register() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unregister() = 0;

protected:
    ~IAMovieSetup() = default;
};
DECLARE_INTERFACE_ID(IAMovieSetup, IID_IAMovieSetup);

#define AM_FILTER_MISC_FLAGS_IS_RENDERER 0x1
#define AM_FILTER_MISC_FLAGS_IS_SOURCE 0x2

struct IAMFilterMiscFlags : IUnknown {
    virtual ULONG STDMETHODCALLTYPE GetMiscFlags() = 0;

protected:
    ~IAMFilterMiscFlags() = default;
};
DECLARE_INTERFACE_ID(IAMFilterMiscFlags, IID_IAMFilterMiscFlags);

// =============================================================================================
// The system filters: the async file reader, the AVI splitter, the audio wrapper, the sound
// renderer and the windowless video mixing renderer. Each is a class of the layer that
// CoCreateInstance makes by these identifiers.

#include "platform/user.h"  // HWND, for the video renderer's clipping window

DEFINE_GUID(CLSID_AsyncReader, 0xE436EBB5, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(CLSID_AviSplitter, 0x1B544C20, 0xFD0B, 0x11CE, 0x8C, 0x63, 0x00, 0xAA, 0x00, 0x44, 0xB5,
            0x1E);
DEFINE_GUID(CLSID_ACMWrapper, 0x6A08CF80, 0x0E18, 0x11CF, 0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97,
            0x67);
DEFINE_GUID(CLSID_DSoundRender, 0x79376820, 0x07D0, 0x11CF, 0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7,
            0x97, 0x67);
DEFINE_GUID(CLSID_VideoMixingRenderer9, 0x51B4ABF3, 0x748F, 0x4E3B, 0xA2, 0x76, 0xC8, 0x28, 0x33,
            0x0E, 0x92, 0x6A);

// A byte stream: what the file reader's output pin carries and the AVI splitter's input takes.
DEFINE_GUID(MEDIATYPE_Stream, 0xE436EB83, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(MEDIASUBTYPE_Avi, 0xE436EB88, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(MEDIATYPE_Text, 0x73747874, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
            0x71);

DEFINE_GUID(IID_IAsyncReader, 0x56A868AA, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IVMRFilterConfig9, 0x5A804648, 0x4F66, 0x4867, 0x9C, 0x43, 0x4F, 0x5C, 0x82, 0x2C,
            0xF1, 0xB8);
DEFINE_GUID(IID_IVMRWindowlessControl9, 0x8F537D09, 0xF85E, 0x4414, 0xB2, 0x3B, 0x50, 0x2E, 0x54,
            0xC7, 0x99, 0x27);

// Reading a byte stream by position. Positions and lengths are bytes, carried in the
// sample's times as bytes times 10,000,000 (a sample's start time is its position). Request
// queues a read into a sample (whose buffer must hold the length) and returns at once;
// WaitForNext hands back the next finished request (its sample and the `user` value given with
// it) with the read's result: S_OK, S_FALSE when the stream ended before the length (the
// sample's actual length says how much was read), VFW_E_TIMEOUT when none finished within the
// milliseconds, VFW_E_WRONG_STATE while flushing (every queued request comes back with it).
// SyncRead reads at any position and length; SyncReadAligned reads into a sample like Request
// and waits. Length gives the stream's total and available bytes (S_OK: all there).
// BeginFlush makes WaitForNext return at once and new requests fail until EndFlush.
struct IAsyncReader : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred,
                                                       ALLOCATOR_PROPERTIES* props,
                                                       IMemAllocator** actual) = 0;
    virtual HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, IMediaSample** sample,
                                                  DWORD_PTR* user) = 0;
    virtual HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;

protected:
    ~IAsyncReader() = default;
};
DECLARE_INTERFACE_ID(IAsyncReader, IID_IAsyncReader);

// Rendering modes of the video mixing renderer.
#define VMR9Mode_Windowed 0x1
#define VMR9Mode_Windowless 0x2
#define VMR9Mode_Renderless 0x4

// Aspect ratio modes: stretch the picture over the destination, or keep its shape inside it
// with black bars.
#define VMR_ARMODE_NONE 0
#define VMR_ARMODE_LETTER_BOX 1

struct IVMRImageCompositor9;

// The renderer's configuration, before its input connects: the rendering mode (windowless is
// the one offered; VFW_E_WRONG_STATE once connected in another mode) and the number of input
// streams (1 here; the mixer's further streams are not offered).
struct IVMRFilterConfig9 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetImageCompositor(IVMRImageCompositor9* compositor) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNumberOfStreams(DWORD streams) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberOfStreams(DWORD* streams) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRenderingPrefs(DWORD prefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRenderingPrefs(DWORD* prefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRenderingMode(DWORD* mode) = 0;

protected:
    ~IVMRFilterConfig9() = default;
};
DECLARE_INTERFACE_ID(IVMRFilterConfig9, IID_IVMRFilterConfig9);

// The windowless renderer's picture: painted into the clipping window's client area at the
// destination rectangle (client pixels), from the source rectangle of the video (video
// pixels; the whole picture by default). GetCurrentImage hands out a CoTaskMemAlloc'd packed
// bitmap (BITMAPINFOHEADER, then 32-bit bottom-up pixels) of the picture last shown.
struct IVMRWindowlessControl9 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetNativeVideoSize(LONG* width, LONG* height,
                                                         LONG* aspectWidth,
                                                         LONG* aspectHeight) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMinIdealVideoSize(LONG* width, LONG* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxIdealVideoSize(LONG* width, LONG* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVideoPosition(const RECT* source,
                                                       const RECT* destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVideoPosition(RECT* source, RECT* destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVideoClippingWindow(HWND window) = 0;
    virtual HRESULT STDMETHODCALLTYPE RepaintVideo(HWND window, HDC dc) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayModeChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentImage(BYTE** dib) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBorderColor(COLORREF color) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBorderColor(COLORREF* color) = 0;

protected:
    ~IVMRWindowlessControl9() = default;
};
DECLARE_INTERFACE_ID(IVMRWindowlessControl9, IID_IVMRWindowlessControl9);
