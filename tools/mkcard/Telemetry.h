// What the camera logs beside its pictures: a car driving a route, its GPS fixes and G-sensor
// readings, turned into the telemetry text lines that a recording's text track carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkcard {

// A calendar date and time without a time zone; field ranges as on a clock (month 1-12).
struct CivilTime {
    int year = 2026, month = 5, day = 14, hour = 8, minute = 30, second = 0;
};

// The moment `seconds` after t (negative goes back), in the proleptic Gregorian calendar.
CivilTime AddSeconds(const CivilTime& t, int64_t seconds);

// The camera's clock runs on local time, which is UTC + 9 hours all year (no daylight saving).
// File names carry local time; GPS sentences carry UTC.
constexpr int kLocalMinusUtcSeconds = 9 * 3600;

// Every recording starts at the same first moment of the drive, 2026-05-14 08:30:00 local time.
constexpr CivilTime kDriveStart{2026, 5, 14, 8, 30, 0};

// Telemetry lines per second of recording; the first line of every second carries a GPS fix.
constexpr int kLinesPerSecond = 10;

// The longest text line a telemetry packet may hold: a packet is the 2-byte length plus the
// line, and readers accept packets of at most 150 bytes.
constexpr size_t kMaxLineBytes = 148;

// The two line families a camera writes. Front cameras log "gsensori" lines (raw counts with
// their divisor), the one of each second followed by a "CAR" part and a "GPRMC" sentence;
// rear cameras log "gsensor" lines (already in 1/128 g) and a plain "GPRMC" sentence once a
// second in place of that second's G-sensor line.
enum class LineStyle { Integrated, Plain };

// One recording's share of the drive.
struct TelemetryPlan {
    CivilTime localStart = kDriveStart;  // the recording's start, as in its file name
    int64_t driveOffsetSeconds = 0;      // seconds from kDriveStart to localStart
    double lengthSeconds = 3.0;          // the recording's length (its video timeline)
    LineStyle style = LineStyle::Integrated;
};

// The number of telemetry packets that cover lengthSeconds: one every 1/kLinesPerSecond
// second, starting at 0, the last one starting before the end.
int TelemetryLineCount(double lengthSeconds);

// What the camera knows at one telemetry line's moment.
struct TelemetryPoint {
    double driveSeconds = 0;   // from the start of the drive
    double intoRecording = 0;  // from the start of the recording (line j: j / kLinesPerSecond)
    CivilTime utc;             // the line's second in UTC (its fraction dropped)
    double latDeg = 0;         // position in degrees, north and east positive
    double lonDeg = 0;
    double speedKmh = 0;
    double courseDeg = 0;
    double gx = 0, gy = 0, gz = 0;  // acceleration in g: right, forward, up
    bool gpsLine = false;           // the first line of a second, which carries the GPS fix
};

// One point per telemetry line of the recording, in line order (the style is not used).
std::vector<TelemetryPoint> TelemetryPoints(const TelemetryPlan& plan);

// The point's recommended-minimum sentence without the leading dollar sign, with its checksum:
// "GPRMC,hhmmss.00,A,ddmm.mmmm,N,dddmm.mmmm,E,<knots>,<course>,ddmmyy,,,A*hh".
std::string RmcSentence(const TelemetryPoint& point);

// Seconds from 1970-01-01 00:00 to t, t taken as UTC.
int64_t UnixSeconds(const CivilTime& t);

// The lines of one recording, in packet order; line j starts at j / kLinesPerSecond seconds.
// Throws when a line would exceed kMaxLineBytes.
std::vector<std::string> TelemetryLines(const TelemetryPlan& plan);

}  // namespace mkcard
