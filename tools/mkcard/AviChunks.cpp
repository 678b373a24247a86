#include "AviChunks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace mkcard {

namespace {

void PutLe32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutFloat(std::string& s, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutLe32(s, bits);
}

std::string SampleRecord(const TelemetryPoint& p, int line)
{
    std::string r;
    PutLe32(r, kSampleMagic);
    PutLe32(r, kSampleFormat);
    PutLe32(r, line == kFlaggedSampleLine ? 0x23u : 0x20u);  // only the low 4 bits count
    PutLe32(r, static_cast<uint32_t>(UnixSeconds(p.utc)));
    PutLe32(r, 0x4B56);  // bytes 16-23: not read
    PutLe32(r, 0);
    int tick = line % kLinesPerSecond;
    if (line == kRepeatedTickLine)
        --tick;
    PutLe32(r, static_cast<uint32_t>(tick) * kSampleTickUnits + 4096u);
    r.append(12, '\0');  // bytes 28-39: not read
    PutFloat(r, static_cast<float>(p.gx));
    PutFloat(r, static_cast<float>(p.gy));
    PutFloat(r, static_cast<float>(p.gz));
    PutLe32(r, 0);
    PutFloat(r, static_cast<float>(p.speedKmh / 1.852));
    PutFloat(r, static_cast<float>(NmeaCoordinate(p.latDeg)));
    PutFloat(r, static_cast<float>(NmeaCoordinate(p.lonDeg)));
    PutLe32(r, 0);
    if (r.size() != kSampleRecordBytes)
        throw std::logic_error("a sample record must be 72 bytes");
    return r;
}

// "z,y,x" in 1/128 g.
std::string Values(const TelemetryPoint& p)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%ld,%ld,%ld", std::lround(p.gz * 128.0),
                  std::lround(p.gy * 128.0), std::lround(p.gx * 128.0));
    return buf;
}

AviTelemetryChunk Pair(const TelemetryPoint& p)
{
    AviTelemetryChunk c;
    c.pair = true;
    c.sentence = "$" + RmcSentence(p);
    c.values = Values(p);
    if (c.sentence.size() >= 90 || c.values.size() >= 20 || c.values.size() < 2)
        throw std::logic_error("a pair's texts do not fit their fields");
    c.payload.assign(kTextChunkData, '\0');
    std::memcpy(&c.payload[0], c.sentence.data(), c.sentence.size());
    std::memcpy(&c.payload[92], c.values.data(), c.values.size());
    return c;
}

AviTelemetryChunk Line(std::string line)
{
    if (line.size() > kTextChunkData || line.find('\0') != std::string::npos)
        throw std::logic_error("a text chunk's line must fit 112 bytes without a zero byte");
    AviTelemetryChunk c;
    c.line = line;
    c.payload = std::move(line);
    return c;
}

// One axis of an "M" line: 128 + value / 10 (value in 1/128 g), kept within 1..255 so that no
// axis byte is zero.
char AxisByte(double g)
{
    long v = 128 + std::lround(g * 128.0 / 10.0);
    return static_cast<char>(std::clamp(v, 1L, 255L));
}

}  // namespace

double NmeaCoordinate(double degrees)
{
    const double a = std::fabs(degrees);
    const double whole = std::floor(a);
    const double value = whole * 100.0 + (a - whole) * 60.0;
    return degrees < 0 ? -value : value;
}

std::vector<AviTelemetryChunk> AviTelemetryChunks(const TelemetryPlan& plan,
                                                  AviTelemetryStyle style)
{
    const std::vector<TelemetryPoint> points = TelemetryPoints(plan);
    std::vector<AviTelemetryChunk> chunks;
    chunks.reserve(points.size());
    for (size_t j = 0; j < points.size(); ++j) {
        const TelemetryPoint& p = points[j];
        const bool evenSecond = (j / kLinesPerSecond) % 2 == 0;
        switch (style) {
            case AviTelemetryStyle::Samples: {
                AviTelemetryChunk c;
                c.payload = SampleRecord(p, static_cast<int>(j));
                chunks.push_back(std::move(c));
                break;
            }
            case AviTelemetryStyle::Lines:
                if (p.gpsLine) {
                    chunks.push_back(evenSecond ? Pair(p) : Line(RmcSentence(p)));
                } else {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "gsensor,%ld,%ld,%ld", std::lround(p.gx * 128.0),
                                  std::lround(p.gy * 128.0), std::lround(p.gz * 128.0));
                    chunks.push_back(Line(buf));
                }
                break;
            case AviTelemetryStyle::NewLines:
                if (p.gpsLine) {
                    chunks.push_back(evenSecond ? Pair(p) : Line("G$" + RmcSentence(p)));
                } else {
                    std::string m = "M";
                    m += AxisByte(p.gx);
                    m += AxisByte(p.gy);
                    m += AxisByte(p.gz);
                    m += "\x01\x01\x01";
                    chunks.push_back(Line(m));
                }
                break;
        }
    }
    return chunks;
}

}  // namespace mkcard
