#include "app/MapScript.h"

#include <cmath>
#include <cwchar>
#include <limits>
#include <vector>

#include "platform/kernel.h"
#include "playback/FileAnalysis.h"
#include "ui/DebugLog.h"

const wchar_t kMapInitialize[] = L"initialize()";
const wchar_t kMapRemovePolyLine[] = L"removePolyLine()";
const wchar_t kMapRemovePoint[] = L"removePoint()";
const wchar_t kMapMoveToOrigin[] = L"MapMoveToAuto('0','0',-1)";
const char kMapGetExtent[] = "fnGetExtentWGS84()";

double ToDecimalDegrees(double nmea)
{
    // Integer division truncates toward zero, so the degrees of -3351.0 are -33.
    const long long d = static_cast<long long>(std::trunc(nmea)) / 100;
    return static_cast<double>(d) + (nmea - static_cast<double>(d) * 100.0) / 60.0;
}

double ToNmeaDegrees(double degrees)
{
    const double i = std::trunc(degrees);
    return i * 100.0 + (degrees - i) * 60.0;
}

std::string MapScriptBytes(const std::wstring& script)
{
    if (script.empty())
        return std::string();
    const int length = static_cast<int>(script.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, script.c_str(), length, nullptr, 0, nullptr,
                                          nullptr);
    if (bytes <= 0)
        return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, script.c_str(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring MapMoveToScript(double lonDegrees, double latDegrees)
{
    return FormatText(L"MapMoveToAuto('%f','%f',-1)", lonDegrees, latDegrees);
}

bool IsTrackPoint(const CGPSData& fix)
{
    const bool latZero = fix.m_dLatitude == 0.0;
    const bool lonZero = fix.m_dLongitude == 0.0;
    if (latZero && lonZero)
        return false;
    if (latZero || lonZero)
        return fix.m_bValid != FALSE;
    return true;
}

std::wstring MapTrackText(const std::list<CGPSData>& fixes)
{
    std::wstring track;
    double previousLat = 0;
    double previousLon = 0;
    bool havePrevious = false;
    for (const CGPSData& fix : fixes) {
        if (!IsTrackPoint(fix))
            continue;
        if (havePrevious && fix.m_dLatitude == previousLat && fix.m_dLongitude == previousLon)
            continue;
        previousLat = fix.m_dLatitude;
        previousLon = fix.m_dLongitude;
        havePrevious = true;
        if (!track.empty())
            track += L'|';
        track += FormatText(L"%f,%f", ToDecimalDegrees(fix.m_dLongitude),
                            ToDecimalDegrees(fix.m_dLatitude));
    }
    return track;
}

std::wstring AddPolyLineScript(const std::wstring& track)
{
    return L"addPolyLine('" + track + L"',\"red\",4,0.5)";
}

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// One trimmed field as a finite number; false for anything else.
bool ReadNumber(const std::wstring& field, double& value)
{
    if (field.empty())
        return false;
    // The C locale's decimal point: wcstod follows LC_NUMERIC, which the viewer never changes
    // from "C".
    wchar_t* end = nullptr;
    const double v = std::wcstod(field.c_str(), &end);
    if (end != field.c_str() + field.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

// A longitude in degrees brought into -180..180.
double WrapLongitude(double lon)
{
    double wrapped = std::fmod(lon + 180.0, 360.0);
    if (wrapped < 0)
        wrapped += 360.0;
    return wrapped - 180.0;
}

}  // namespace

bool ParseMapExtent(const std::wstring& answer, MapExtent& extent)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    while (start <= answer.size() && fields.size() < 4) {
        size_t comma = answer.find(L',', start);
        if (comma == std::wstring::npos)
            comma = answer.size();
        size_t first = start;
        size_t last = comma;
        while (first < last && IsBlank(answer[first]))
            ++first;
        while (last > first && IsBlank(answer[last - 1]))
            --last;
        if (last > first)
            fields.push_back(answer.substr(first, last - first));
        start = comma + 1;
    }
    if (fields.size() < 4)
        return false;
    double v[4];
    for (int i = 0; i < 4; ++i)
        if (!ReadNumber(fields[static_cast<size_t>(i)], v[i]))
            return false;
    extent.west = v[0];
    extent.north = v[1];
    extent.east = v[2];
    extent.south = v[3];
    return true;
}

void FindRecordsInExtent(const MapExtent& extent, const RecFileMap& from, RecFileMap& to)
{
    const double latMin = ToNmeaDegrees(extent.south);
    const double latMax = ToNmeaDegrees(extent.north);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (extent.east - extent.west >= 360.0) {
        CFileAnalysis::FindRecordsInArea(latMin, latMax, -kInf, kInf, from, to);
        return;
    }
    const double west = WrapLongitude(extent.west);
    const double east = WrapLongitude(extent.east);
    if (west <= east) {
        CFileAnalysis::FindRecordsInArea(latMin, latMax, ToNmeaDegrees(west), ToNmeaDegrees(east),
                                         from, to);
        return;
    }
    // Across the antimeridian: from the west edge up to 180 degrees east, and from 180 degrees
    // west up to the east edge, both ends at 180 included.
    CFileAnalysis::FindRecordsInArea(latMin, latMax, ToNmeaDegrees(west),
                                     std::nextafter(18000.0, kInf), from, to);
    CFileAnalysis::FindRecordsInArea(latMin, latMax, std::nextafter(-18000.0, -kInf),
                                     ToNmeaDegrees(east), from, to);
}
