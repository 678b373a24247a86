// What the main dialog shows of the recording in the player: the texts of the play time and
// the G-sensor labels, the telemetry samples that belong to a position, the speed number and
// gauge, the volume button's level, and the click guard of its repeatable commands.
//
// Positions and durations are whole seconds, as the playback engine reports them.
#pragma once

#include <list>
#include <string>

#include "platform/base.h"
#include "playback/TextData.h"

// "%02d:%02d:%02d /" and "%02d:%02d:%02d" (hours, minutes, seconds; a negative value shows 0).
std::wstring PlayTimeText(int seconds);
std::wstring TotalTimeText(int seconds);

// The rank of the G-sensor sample shown at pos of dur among n samples: n x pos / dur, at most
// n - 1. n and dur are not 0.
size_t GSensorSampleIndex(size_t n, int pos, int dur);
// A G-sensor label for axis 'X', 'Y' or 'Z' and a value in 1/128 units: "X : 0.50" for 0 and
// above, "X :-0.50" below, so that the sign takes the blank's place.
std::wstring GSensorLabelText(wchar_t axis, int value);
// The label without samples: "X :0.00".
std::wstring GSensorEmptyText(wchar_t axis);
// The label after a stop: "X : 0000".
std::wstring GSensorStoppedText(wchar_t axis);

// A fix's date and time as seconds on one uniform time line (the fields taken as they stand,
// with no time zone and no daylight-saving change between two fixes; the year is 2000 + the
// two-digit year, a month or day below 1 counts as 1). False when the fields do not form a
// calendar time (month above 12, day above 31, hour above 23, minute or second above 59, or
// negative fields).
bool GpsFixTime(const CGPSData& fix, long long& seconds);

// The GPS fix shown at pos of dur (dur not 0), or null when none belongs there. With at least
// one fix per second the fix of rank pos (the last at pos >= count or pos = dur); with fewer,
// the first fix at or after the first fix's time + pos seconds (the last at pos = dur, and
// also when none lies there and pos <= count). Fixes whose time cannot be placed are passed
// over in the time search; when the first fix cannot be placed, the first one that can is the
// start of the time line.
const CGPSData* PickGpsFix(const std::list<CGPSData>& fixes, int pos, int dur);

// The speed number for a speed in km/h: -1 (shown as "-") below 8 km/h, else the truncated
// km/h, or miles per hour rounded when mph is set.
int SpeedNumber(double kmh, BOOL mph);
// The speed gauge, 0..100, always from km/h: 0 up to 8 km/h, then km/h / 2, at most 100.
float SpeedGauge(double kmh);

// The volume button's level image 0..5 for a volume 0..100; -1 for a negative volume (the level
// stays as it is).
int VolumeLevel(int volume);

// The playback rate of a speed index, or 0 for an index outside 0..6 (no such rate: the caller
// leaves the speed as it is).
float PlaySpeedForIndex(LPARAM index);

// The click guard at time now (GetTickCount), over the last command that passed it (lastId at
// lastTick): a repeat when id is that command and less than interval milliseconds went by (an
// unsigned difference, so the tick count's wrap does not matter); otherwise id and now are
// remembered and the click passes.
BOOL IsRepeatedClickAt(int& lastId, DWORD& lastTick, int id, DWORD interval, DWORD now);
