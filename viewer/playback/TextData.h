// One recording's telemetry (G-sensor samples, GPS fixes, vehicle information) and the grammar
// of the telemetry text lines that carry it.
//
// Nothing here locks: a CTextData is filled by one extraction at a time (under the viewer's
// extraction lock g_csExtractText) and read on the user-interface thread. The parsers keep no
// state between calls.
#pragma once

#include <list>
#include <string>

#include "platform/base.h"

struct TelemetrySample;

// One G-sensor sample, in 1/128 of the sensor's unit.
class CGSensorData {
public:
    CGSensorData() = default;
    CGSensorData(int x, int y, int z) : m_nX(x), m_nY(y), m_nZ(z) {}
    virtual ~CGSensorData() = default;

    int m_nX = 0;
    int m_nY = 0;
    int m_nZ = 0;
    int m_nT = 0;  // always 0
};

// One GPS fix.
class CGPSData {
public:
    virtual ~CGPSData() = default;

    // Fills the record from an RMC sentence (bytes in the system code page, read up to a first
    // zero byte and at most 1023 bytes long: the rest of a longer one is not read): tokens 1 to 9
    // give time, status, latitude and hemisphere, longitude and hemisphere, speed (knots, stored
    // as km/h), course and date; token 0, the sentence's name, is not read. Time and date pairs
    // are read inside their token only. True when every token up to the date was present; when
    // the sentence ends before, the fields read so far stay, the others are as they were, the
    // result is false and the fix is marked not valid whatever its status said.
    bool ParseRMC(const std::string& sentence);

    int m_nYear = 0;   // two digits, 0..99
    int m_nMonth = 0;  // 1..12
    int m_nDay = 0;
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
    BOOL m_bValid = FALSE;
    double m_dLatitude = 0;   // NMEA ddmm.mmmm (degrees x 100 + minutes), negative for south
    double m_dLongitude = 0;  // NMEA dddmm.mmmm, negative for west
    double m_dSpeed = 0;      // km/h
    double m_dCourse = 0;     // degrees
};

// One vehicle-information part: "CAR" followed by twelve comma-separated fields. The fields are
// named after the token that fills them (token 0 is "CAR").
class CCarInfoData {
public:
    virtual ~CCarInfoData() = default;

    // Fills the record from the text that starts at "CAR": tokens 1 to 12, not trimmed; a
    // token that is missing leaves its field as it was. Valid unless tokens 4 to 12 all read as
    // zero (the character as "0").
    void Parse(const std::wstring& part);

    int m_nToken2 = 0;
    int m_nToken3 = 0;
    int m_nToken1 = 0;
    float m_fToken4 = 0;
    int m_nToken5 = 0;
    int m_nToken6 = 0;
    int m_nToken7 = 0;
    int m_nToken8 = 0;
    int m_nToken9 = 0;
    int m_nToken10 = 0;
    WCHAR m_cToken11 = L'0';  // the first character of token 11
    float m_fToken12 = 0;
    BOOL m_bValid = FALSE;
};

// One recording's telemetry as three lists in arrival order. Records are only ever appended;
// a line or record that does not fit the grammar adds nothing.
class CTextData {
public:
    CTextData() = default;
    virtual ~CTextData() = default;

    // Lines of MP4 text tracks, and of AVI text chunks of recordings with old-style names:
    //   gsensor,<x>,<y>,<z>                       a sample in 1/128 units
    //   gsensori,<d1>,<d2>,<x>,<y>,<z>[...]        raw counts: value x 128 / (d2 / d1), limited to
    //                                              -512..512 (all 0 when d2 / d1 is 0); the
    //                                              line may go on with a "CAR" part and a
    //                                              "GPRMC" (or "GNRMC") sentence
    //   GPRMC,... or GNRMC,...                     a sentence without its dollar sign
    void ParseLine(const std::wstring& line);
    // Lines of AVI text chunks of recordings with new-style names: "G$GPRMC,..." or
    // "G$GNRMC,..." sentences, and G-sensor lines of the bytes "M", x, y, z, 1, 1, 1 with each
    // axis as (byte - 128) x 10.
    void ParseNewLine(const std::wstring& line);
    // A byte record's fix: its UTC seconds in the PC's local time (now in force), its position
    // unchanged, its speed from knots to km/h, course 0; valid when position or speed is not 0.
    void AddGPSSample(const TelemetrySample* sample);
    // A byte record's G-sensor reading times 128, truncated toward zero (values beyond the int
    // range stop at its ends, a value that is not a number gives 0).
    void AddGSensorSample(const TelemetrySample* sample);
    // The two texts of a text chunk's sentence-and-values pair: the values "z,y,x" give a
    // G-sensor sample (not limited), then the sentence a fix.
    void AddGPSPair(const std::wstring& sentence, const std::wstring& values);

    std::list<CGSensorData> m_GSensorList;
    std::list<CGPSData> m_GPSList;
    std::list<CCarInfoData> m_CarInfoList;
};
