// The main dialog's side of the map page: the texts of the script calls it sends, the
// conversions between the telemetry's NMEA coordinates and the page's decimal degrees, the
// track text of a recording, and the reading of the page's shown area for the map search.
//
// Every script text is built as a wide string and goes to the page in the ANSI code page
// (MapScriptBytes). Numbers go out with "%f" in the C locale, longitude before latitude.
#pragma once

#include <list>
#include <string>

#include "playback/RecFileInfo.h"
#include "playback/TextData.h"

// The fixed calls.
extern const wchar_t kMapInitialize[];     // "initialize()"
extern const wchar_t kMapRemovePolyLine[]; // "removePolyLine()"
extern const wchar_t kMapRemovePoint[];    // "removePoint()"
extern const wchar_t kMapMoveToOrigin[];   // "MapMoveToAuto('0','0',-1)": takes the marker away
extern const char kMapGetExtent[];         // "fnGetExtentWGS84()", run as ANSI text

// NMEA ddmm.mmmm (dddmm.mmmm) to decimal degrees: whole degrees by truncation toward zero, so a
// negative (southern, western) value stays negative: 3723.4500 gives 37.390833.
double ToDecimalDegrees(double nmea);
// Decimal degrees to the NMEA form, truncating toward zero: 126.9 gives 12654.0.
double ToNmeaDegrees(double degrees);

// A wide script text in the ANSI code page, as the page host runs it.
std::string MapScriptBytes(const std::wstring& script);

// "MapMoveToAuto('%f','%f',-1)" with the decimal-degree longitude first.
std::wstring MapMoveToScript(double lonDegrees, double latDegrees);

// Whether a fix goes into the drawn track. (0, 0) is the camera's "no reception"; a fix with
// one coordinate exactly 0 (on the equator or the prime meridian) is a real position when the
// receiver marked it valid, and is dropped otherwise.
bool IsTrackPoint(const CGPSData& fix);
// The track of a recording's fixes: "lon,lat" points in decimal degrees ("%f,%f"), joined by
// "|", leaving out fixes that are not track points and a fix at the same place as the last
// point drawn. Empty when no fix qualifies.
std::wstring MapTrackText(const std::list<CGPSData>& fixes);
// "addPolyLine('%s',"red",4,0.5)" with the track text.
std::wstring AddPolyLineScript(const std::wstring& track);

// The shown area as the page answers the extent query, in decimal degrees.
struct MapExtent {
    double west = 0;
    double north = 0;
    double east = 0;
    double south = 0;
};
// Reads the page's answer: numbers separated by commas, blanks around them allowed, empty
// fields skipped, numbers after the fourth ignored. False, with extent untouched, when the
// answer holds fewer than four fields or one of the first four is not a whole number.
bool ParseMapExtent(const std::wstring& answer, MapExtent& extent);

// Copies into to (unless to holds the key already) every entry of from with a fix strictly
// inside the extent. An extent whose west edge lies east of its east edge crosses the
// antimeridian and is searched as its two halves; an extent that spans the whole globe takes
// every longitude.
void FindRecordsInExtent(const MapExtent& extent, const RecFileMap& from, RecFileMap& to);
