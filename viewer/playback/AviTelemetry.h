// The telemetry records of AVI recordings as they lie in the file: the index entries that name
// text chunks, the 72-byte sample record and the sentence-and-values pair of a text chunk. All
// integers are little-endian, floats IEEE single precision, as the camera writes them.
#pragma once

#include <bit>

#include "platform/base.h"

static_assert(std::endian::native == std::endian::little,
              "the records are read from the file by copying their bytes");

#pragma pack(push, 1)

// One 16-byte entry of an AVI's "idx1" index. Only the chunk id and the offset are used.
struct AviTextChunk {
    BYTE ckid[4];  // two stream digits, then "tx" for a text chunk
    DWORD dwFlags;
    DWORD dwOffset;  // of the chunk's header: from the start of the file for a sample
                     // record, from the "movi" list's type code for a text chunk
    DWORD dwSize;

    // The entry names a text chunk of some stream.
    bool IsText() const { return ckid[2] == 't' && ckid[3] == 'x'; }
};
static_assert(sizeof(AviTextChunk) == 16);

// The camera's 72-byte telemetry record: one G-sensor reading and the GPS state of its moment.
struct TelemetrySample {
    static constexpr DWORD kMagic = 0x1FF;
    static constexpr DWORD kFormat = 0x3260A;        // in the low 24 bits of dwFormat
    static constexpr DWORD kTicksPerUnit = 3276800;  // sub-second counter units per tick

    DWORD dwMagic;
    DWORD dwFormat;
    DWORD dwFlags;    // a record is used only when the low 4 bits are 0
    DWORD dwSeconds;  // seconds since 1970-01-01 00:00 UTC
    BYTE reserved1[8];
    DWORD dwSubSecond;  // the G-sensor tick is this divided by kTicksPerUnit
    BYTE reserved2[12];
    float fGSensorX;  // in the sensor's unit; stored values are 128 times this
    float fGSensorY;
    float fGSensorZ;
    BYTE reserved3[4];
    float fSpeed;      // knots
    float fLatitude;   // NMEA ddmm.mmmm, negative for south
    float fLongitude;  // NMEA dddmm.mmmm, negative for west
    BYTE reserved4[4];

    bool IsSample() const { return dwMagic == kMagic && (dwFormat & 0xFFFFFF) == kFormat; }
    bool IsUsable() const { return (dwFlags & 0xF) == 0; }
    DWORD Tick() const { return dwSubSecond / kTicksPerUnit; }
};
static_assert(sizeof(TelemetrySample) == 72);

// The 112 data bytes of a text chunk that carries an NMEA sentence and a G-sensor reading.
struct TelemetryPair {
    char szSentence[90];  // ends at its first zero byte or at the end of the field
    BYTE reserved[2];
    char szGSensor[20];  // "z,y,x" as decimal integers; ends like the sentence
};
static_assert(sizeof(TelemetryPair) == 112);

#pragma pack(pop)
