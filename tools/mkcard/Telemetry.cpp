#include "Telemetry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace mkcard {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.80665;  // m/s^2 per g
constexpr double kMetresPerDegree = 111320.0;
constexpr double kStepSeconds = 0.1;  // the drive is integrated on the line grid

// Days from 1970-01-01 to the given date (civil calendar, proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilTime CivilFromDays(int64_t z)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    return t;
}

// The car's speed in km/h and its rate of change in km/h per second, t seconds into the drive.
// Two waves of different periods make the speed change within a few seconds and now and then
// drop below walking pace (a stop at a junction).
double SpeedKmh(double t)
{
    const double v =
        38.0 + 22.0 * std::sin(2 * kPi * t / 53.0) + 9.0 * std::sin(2 * kPi * t / 11.0 + 1.0);
    return std::max(0.0, v);
}
double SpeedChangeKmhPerSecond(double t)
{
    if (SpeedKmh(t) <= 0.0)
        return 0.0;
    return 22.0 * (2 * kPi / 53.0) * std::cos(2 * kPi * t / 53.0) +
           9.0 * (2 * kPi / 11.0) * std::cos(2 * kPi * t / 11.0 + 1.0);
}
// Course over ground in degrees clockwise from north, and its rate in degrees per second.
double CourseDegrees(double t)
{
    return 70.0 + 35.0 * std::sin(2 * kPi * t / 190.0) + 10.0 * std::sin(2 * kPi * t / 37.0);
}
double CourseChangeDegreesPerSecond(double t)
{
    return 35.0 * (2 * kPi / 190.0) * std::cos(2 * kPi * t / 190.0) +
           10.0 * (2 * kPi / 37.0) * std::cos(2 * kPi * t / 37.0);
}

// A deterministic value in [-1, 1] for (index, salt): sensor noise without a random generator.
double Noise(int64_t index, uint32_t salt)
{
    uint64_t x =
        static_cast<uint64_t>(index) * 0x9E3779B97F4A7C15ull + salt * 0xC2B2AE3D27D4EB4Full;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 53) * 2.0 - 1.0;
}

struct Position {
    double latDeg;
    double lonDeg;
};

// The route, integrated from the start point in steps of kStepSeconds. Positions are computed
// once up to the furthest step asked for.
class Route {
public:
    Position At(int64_t step)
    {
        if (step < 0)
            step = 0;
        while (static_cast<int64_t>(m_steps.size()) <= step) {
            const Position p = m_steps.back();
            const double t = static_cast<double>(m_steps.size() - 1) * kStepSeconds;
            const double metres = SpeedKmh(t) / 3.6 * kStepSeconds;
            const double course = CourseDegrees(t) * kPi / 180.0;
            Position next;
            next.latDeg = p.latDeg + metres * std::cos(course) / kMetresPerDegree;
            next.lonDeg = p.lonDeg + metres * std::sin(course) /
                                         (kMetresPerDegree * std::cos(p.latDeg * kPi / 180.0));
            m_steps.push_back(next);
        }
        return m_steps[static_cast<size_t>(step)];
    }

private:
    // The drive starts in the middle of a city, northern and eastern hemisphere.
    std::vector<Position> m_steps{Position{37.5512, 126.9882}};
};

struct Acceleration {
    double x, y, z;  // in g: x to the right, y forward, z up (1 g at rest)
};

// The G-sensor reading at drive time t, `intoRecording` seconds into a recording whose bump
// (a pothole or a knock) is centred at bumpAt seconds.
Acceleration GSensorAt(double t, int64_t step, double intoRecording, double bumpAt)
{
    const double speed = SpeedKmh(t) / 3.6;
    Acceleration a;
    a.x = speed * CourseChangeDegreesPerSecond(t) * kPi / 180.0 / kGravity + 0.03 * Noise(step, 1);
    a.y = SpeedChangeKmhPerSecond(t) / 3.6 / kGravity + 0.03 * Noise(step, 2);
    a.z = 1.0 + 0.04 * Noise(step, 3);
    const double d = intoRecording - bumpAt;
    const double pulse = std::exp(-(d / 0.15) * (d / 0.15)) * std::cos(2 * kPi * 5.0 * d);
    a.x += 0.5 * pulse;
    a.y += 1.6 * pulse;
    a.z += 0.9 * pulse;
    return a;
}

// Appends an NMEA coordinate: degrees (2 or 3 digits), minutes with four decimals.
void AppendCoordinate(std::string& out, double degrees, int degreeDigits)
{
    const int64_t units = std::llround(std::fabs(degrees) * 60.0 * 10000.0);  // 1/10000 minute
    const int64_t whole = units / 600000;
    const int64_t rest = units % 600000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld%02lld.%04lld", degreeDigits,
                  static_cast<long long>(whole), static_cast<long long>(rest / 10000),
                  static_cast<long long>(rest % 10000));
    out += buf;
}

// A recommended-minimum sentence without the leading dollar sign, with its checksum.
std::string Sentence(const CivilTime& utc, const Position& p, double speedKmh, double course)
{
    std::string s = "GPRMC,";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.00,A,", utc.hour, utc.minute, utc.second);
    s += buf;
    AppendCoordinate(s, p.latDeg, 2);
    s += p.latDeg >= 0 ? ",N," : ",S,";
    AppendCoordinate(s, p.lonDeg, 3);
    s += p.lonDeg >= 0 ? ",E," : ",W,";
    double normalized = std::fmod(course, 360.0);
    if (normalized < 0)
        normalized += 360.0;
    std::snprintf(buf, sizeof buf, "%.2f,%.2f,%02d%02d%02d,,,A", speedKmh / 1.852, normalized,
                  utc.day, utc.month, utc.year % 100);
    s += buf;
    unsigned checksum = 0;
    for (char c : s)
        checksum ^= static_cast<unsigned char>(c);
    std::snprintf(buf, sizeof buf, "*%02X", checksum);
    s += buf;
    return s;
}

// The vehicle-information part. Its twelve fields follow the types that readers expect (three
// integers, a decimal, six integers, a letter, a decimal); the values are plausible readings:
// speed km/h, engine rpm, gear, throttle %, brake, left and right indicator, seat belt, door,
// headlights, gear lever, battery volts.
std::string CarPart(double t)
{
    const double kmh = SpeedKmh(t);
    const double change = SpeedChangeKmhPerSecond(t);
    const double turn = CourseChangeDegreesPerSecond(t);
    const int gear = std::min(6, 1 + static_cast<int>(kmh / 15.0));
    const double throttle = std::clamp(12.0 + change * 4.0, 0.0, 100.0);
    char buf[96];
    std::snprintf(buf, sizeof buf, "CAR,%d,%d,%d,%.1f,%d,%d,%d,1,0,0,%c,%.1f",
                  static_cast<int>(kmh), static_cast<int>(800 + kmh * 35.0), gear, throttle,
                  change < -3.0 ? 1 : 0, turn < -1.0 ? 1 : 0, turn > 1.0 ? 1 : 0,
                  kmh < 1.0 ? 'N' : 'D', 13.8 + 0.2 * std::sin(t / 7.0));
    return buf;
}

}  // namespace

CivilTime AddSeconds(const CivilTime& t, int64_t seconds)
{
    const int64_t total = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 +
                          t.minute * 60 + t.second + seconds;
    int64_t days = total / 86400;
    int64_t rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        days -= 1;
    }
    CivilTime r = CivilFromDays(days);
    r.hour = static_cast<int>(rest / 3600);
    r.minute = static_cast<int>(rest % 3600 / 60);
    r.second = static_cast<int>(rest % 60);
    return r;
}

int TelemetryLineCount(double lengthSeconds)
{
    const int64_t ms = std::llround(lengthSeconds * 1000.0);
    const int64_t step = 1000 / kLinesPerSecond;
    return static_cast<int>(std::max<int64_t>(1, (ms + step - 1) / step));
}

std::vector<TelemetryPoint> TelemetryPoints(const TelemetryPlan& plan)
{
    Route route;
    const int count = TelemetryLineCount(plan.lengthSeconds);
    // The bump peaks on a G-sensor line about 60 % into the recording; never on the first line
    // of a second, which in the plain style carries the GPS fix instead of a G-sensor sample.
    int64_t bumpLine = std::llround(plan.lengthSeconds * 0.6 * kLinesPerSecond);
    if (bumpLine % kLinesPerSecond == 0)
        ++bumpLine;
    const double bumpAt = static_cast<double>(bumpLine) / kLinesPerSecond;
    std::vector<TelemetryPoint> points;
    points.reserve(static_cast<size_t>(count));
    for (int j = 0; j < count; ++j) {
        TelemetryPoint p;
        p.intoRecording = static_cast<double>(j) / kLinesPerSecond;
        const int64_t step = plan.driveOffsetSeconds * kLinesPerSecond + j;
        p.driveSeconds = static_cast<double>(step) * kStepSeconds;
        const Acceleration a = GSensorAt(p.driveSeconds, step, p.intoRecording, bumpAt);
        p.gx = a.x;
        p.gy = a.y;
        p.gz = a.z;
        p.gpsLine = j % kLinesPerSecond == 0;
        p.utc = AddSeconds(plan.localStart, j / kLinesPerSecond - kLocalMinusUtcSeconds);
        const Position position = route.At(step);
        p.latDeg = position.latDeg;
        p.lonDeg = position.lonDeg;
        p.speedKmh = SpeedKmh(p.driveSeconds);
        p.courseDeg = CourseDegrees(p.driveSeconds);
        points.push_back(p);
    }
    return points;
}

std::string RmcSentence(const TelemetryPoint& point)
{
    return Sentence(point.utc, Position{point.latDeg, point.lonDeg}, point.speedKmh,
                    point.courseDeg);
}

int64_t UnixSeconds(const CivilTime& t)
{
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

std::vector<std::string> TelemetryLines(const TelemetryPlan& plan)
{
    const std::vector<TelemetryPoint> points = TelemetryPoints(plan);
    std::vector<std::string> lines;
    lines.reserve(points.size());
    for (const TelemetryPoint& p : points) {
        std::string line;
        char buf[96];
        if (plan.style == LineStyle::Integrated) {
            // Raw counts at 256 per g; the divisor is token 2 / token 1.
            std::snprintf(buf, sizeof buf, "gsensori,1,256,%ld,%ld,%ld", std::lround(p.gx * 256.0),
                          std::lround(p.gy * 256.0), std::lround(p.gz * 256.0));
            line = buf;
            if (p.gpsLine) {
                line += ',';
                line += CarPart(p.driveSeconds);
                line += ',';
                line += RmcSentence(p);
            }
        } else if (p.gpsLine) {
            line = RmcSentence(p);
        } else {
            std::snprintf(buf, sizeof buf, "gsensor,%ld,%ld,%ld", std::lround(p.gx * 128.0),
                          std::lround(p.gy * 128.0), std::lround(p.gz * 128.0));
            line = buf;
        }
        if (line.size() > kMaxLineBytes)
            throw std::logic_error("telemetry line longer than " + std::to_string(kMaxLineBytes) +
                                   " bytes: " + line);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace mkcard
