#include "playback/TextData.h"

#include <climits>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/crt.h"
#include "platform/kernel.h"
#include "playback/AviTelemetry.h"

namespace {

// The longest sentence that ParseRMC reads; the bytes after it are ignored.
constexpr size_t kMaxSentenceBytes = 1023;

// The comma-separated tokens of a line: token 0 is the text before the first comma, and a
// line with n commas has n + 1 tokens (the last one possibly empty).
class Tokens {
public:
    explicit Tokens(std::wstring_view line)
    {
        size_t start = 0;
        for (;;) {
            size_t comma = line.find(L',', start);
            if (comma == std::wstring_view::npos) {
                m_tokens.push_back(line.substr(start));
                break;
            }
            m_tokens.push_back(line.substr(start, comma - start));
            start = comma + 1;
        }
    }

    bool Has(size_t n) const { return n < m_tokens.size(); }
    // A missing token is empty.
    std::wstring_view operator[](size_t n) const { return Has(n) ? m_tokens[n] : L""; }

private:
    std::vector<std::wstring_view> m_tokens;
};

bool IsSpace(WCHAR c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

std::wstring Trimmed(std::wstring_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return std::wstring(text.substr(begin, end - begin));
}

int ReadInt(std::wstring_view token)
{
    return _wtoi(std::wstring(token).c_str());
}

double ReadDouble(std::wstring_view token)
{
    return _wtof(std::wstring(token).c_str());
}

// The text up to a first zero character, in the system code page.
std::string ToAnsi(std::wstring_view text)
{
    size_t zero = text.find(L'\0');
    if (zero != std::wstring_view::npos)
        text = text.substr(0, zero);
    return platform::WideToAnsi(std::wstring(text));
}

// A raw "gsensori" value in 1/128 units: value x 128 / divisor, truncated toward zero (in 64
// bits, so that no value overflows), limited to -512..512.
int ScaledRaw(int value, long long divisor)
{
    long long scaled = static_cast<long long>(value) * 128 / divisor;
    if (scaled < -512)
        return -512;
    if (scaled > 512)
        return 512;
    return static_cast<int>(scaled);
}

// A byte record's reading x 128 as an int: truncated toward zero, beyond the int range at its
// ends, 0 for a value that is not a number (the conversion of such values is undefined).
int ScaledReading(float value)
{
    double scaled = static_cast<double>(value) * 128.0;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 2147483647.0)
        return INT_MAX;
    if (scaled <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(scaled);
}

// The RMC splitter: leading commas are skipped once, then every comma ends a token, so empty
// tokens keep their places; the end of the sentence ends the last one.
class RmcTokens {
public:
    explicit RmcTokens(std::string_view sentence) : m_text(sentence)
    {
        while (m_position < m_text.size() && m_text[m_position] == ',')
            ++m_position;
    }

    // The next token; false when the sentence has run out.
    bool Next(std::string* token)
    {
        if (m_position >= m_text.size())
            return false;
        size_t comma = m_text.find(',', m_position);
        if (comma == std::string_view::npos)
            comma = m_text.size();
        token->assign(m_text.substr(m_position, comma - m_position));
        m_position = comma + 1;
        return true;
    }

private:
    std::string_view m_text;
    size_t m_position = 0;
};

// The number in characters first and first + 1 of a time or date token; characters beyond the
// token count as absent.
int Pair(const std::string& token, size_t first)
{
    if (first >= token.size())
        return 0;
    return atoi(token.substr(first, 2).c_str());
}

}  // namespace

bool CGPSData::ParseRMC(const std::string& sentence)
{
    std::string_view text(sentence);
    size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);
    if (text.size() > kMaxSentenceBytes)
        text = text.substr(0, kMaxSentenceBytes);

    RmcTokens tokens(text);
    std::string token;
    bool complete = false;
    if (tokens.Next(&token)) {  // the sentence's name
        for (int n = 1; n <= 9; ++n) {
            if (!tokens.Next(&token))
                break;
            switch (n) {
                case 1:
                    m_nHour = Pair(token, 0);
                    m_nMinute = Pair(token, 2);
                    m_nSecond = Pair(token, 4);
                    break;
                case 2:
                    m_bValid = !token.empty() && token[0] == 'A';
                    break;
                case 3:
                    m_dLatitude = atof(token.c_str());
                    break;
                case 4:
                    if (token.empty() || token[0] != 'N')
                        m_dLatitude = -m_dLatitude;
                    break;
                case 5:
                    m_dLongitude = atof(token.c_str());
                    break;
                case 6:
                    if (token.empty() || token[0] != 'E')
                        m_dLongitude = -m_dLongitude;
                    break;
                case 7: {
                    float knots = static_cast<float>(atof(token.c_str()));
                    m_dSpeed = static_cast<float>(knots * 1.852);
                    break;
                }
                case 8:
                    m_dCourse = static_cast<float>(atof(token.c_str()));
                    break;
                case 9:
                    m_nDay = Pair(token, 0);
                    m_nMonth = Pair(token, 2);
                    m_nYear = Pair(token, 4);
                    complete = true;
                    break;
            }
        }
    }
    // A sentence cut short is no fix, whatever its status field said.
    if (!complete)
        m_bValid = FALSE;
    return complete;
}

void CCarInfoData::Parse(const std::wstring& part)
{
    Tokens tokens(part);
    auto readInt = [&](size_t n, int* field) {
        if (tokens.Has(n))
            *field = ReadInt(tokens[n]);
    };
    auto readFloat = [&](size_t n, float* field) {
        if (tokens.Has(n))
            *field = static_cast<float>(ReadDouble(tokens[n]));
    };
    readInt(2, &m_nToken2);
    readInt(3, &m_nToken3);
    readInt(1, &m_nToken1);
    readFloat(4, &m_fToken4);
    readInt(5, &m_nToken5);
    readInt(6, &m_nToken6);
    readInt(7, &m_nToken7);
    readInt(8, &m_nToken8);
    readInt(9, &m_nToken9);
    readInt(10, &m_nToken10);
    if (tokens.Has(11))
        m_cToken11 = tokens[11].empty() ? L'0' : tokens[11][0];
    readFloat(12, &m_fToken12);
    bool empty = m_fToken4 == 0 && m_nToken5 == 0 && m_nToken6 == 0 && m_nToken7 == 0 &&
                 m_nToken8 == 0 && m_nToken9 == 0 && m_nToken10 == 0 && m_cToken11 == L'0' &&
                 m_fToken12 == 0;
    m_bValid = empty ? FALSE : TRUE;
}

void CTextData::ParseLine(const std::wstring& line)
{
    // A line without a comma has an empty name, so "gsensor" or "GPRMC" alone adds nothing.
    if (line.find(L',') == std::wstring::npos)
        return;
    Tokens tokens(line);
    const std::wstring_view name = tokens[0];
    if (name == L"gsensor") {
        m_GSensorList.emplace_back(ReadInt(Trimmed(tokens[1])), ReadInt(Trimmed(tokens[2])),
                                   ReadInt(Trimmed(tokens[3])));
        return;
    }
    if (name == L"gsensori") {
        // The divisor is token 2 / token 1; a token 1 of 0 gives no divisor, which counts as a
        // divisor of 0: the sample is still added, as zero.
        long long first = ReadInt(Trimmed(tokens[1]));
        long long divisor = first == 0 ? 0 : ReadInt(Trimmed(tokens[2])) / first;
        CGSensorData sample;
        if (divisor != 0) {
            sample.m_nX = ScaledRaw(ReadInt(Trimmed(tokens[3])), divisor);
            sample.m_nY = ScaledRaw(ReadInt(Trimmed(tokens[4])), divisor);
            sample.m_nZ = ScaledRaw(ReadInt(Trimmed(tokens[5])), divisor);
        }
        m_GSensorList.push_back(sample);

        size_t car = line.find(L"CAR");
        if (car != std::wstring::npos && car > 0) {
            CCarInfoData info;
            info.Parse(line.substr(car));
            m_CarInfoList.push_back(info);
        }
        size_t sentence = line.find(L"GPRMC");
        if (sentence == std::wstring::npos || sentence == 0)
            sentence = line.find(L"GNRMC");
        if (sentence != std::wstring::npos && sentence > 0) {
            CGPSData fix;
            fix.ParseRMC(ToAnsi(std::wstring_view(line).substr(sentence)));
            m_GPSList.push_back(fix);
        }
        return;
    }
    if (name == L"GPRMC" || name == L"GNRMC") {
        CGPSData fix;
        fix.ParseRMC(ToAnsi(line));
        m_GPSList.push_back(fix);
    }
}

void CTextData::ParseNewLine(const std::wstring& line)
{
    Tokens tokens(line);
    const std::wstring_view name = tokens[0];
    if (name == L"G$GPRMC" || name == L"G$GNRMC") {
        CGPSData fix;
        fix.ParseRMC(ToAnsi(line));
        m_GPSList.push_back(fix);
        return;
    }
    const std::string bytes = ToAnsi(line);
    if (bytes.size() >= 7 && bytes[0] == 'M' && bytes[4] == 1 && bytes[5] == 1 && bytes[6] == 1) {
        auto axis = [&](size_t i) { return (static_cast<unsigned char>(bytes[i]) - 128) * 10; };
        m_GSensorList.emplace_back(axis(1), axis(2), axis(3));
    }
}

void CTextData::AddGPSSample(const TelemetrySample* sample)
{
    CGPSData fix;
    // Unix seconds to a file time (100 ns since 1601), then to the PC's local time.
    ULONGLONG ticks = (ULONGLONG(sample->dwSeconds) + 11644473600ull) * 10000000ull;
    FILETIME utc{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)}, local{};
    SYSTEMTIME fields{};
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &fields)) {
        fix.m_nYear = fields.wYear % 100;
        fix.m_nMonth = fields.wMonth;
        fix.m_nDay = fields.wDay;
        fix.m_nHour = fields.wHour;
        fix.m_nMinute = fields.wMinute;
        fix.m_nSecond = fields.wSecond;
    } else {
        fix.m_nYear = fix.m_nMonth = fix.m_nDay = 0;
        fix.m_nHour = fix.m_nMinute = fix.m_nSecond = -1;
    }
    fix.m_dLatitude = sample->fLatitude;
    fix.m_dLongitude = sample->fLongitude;
    fix.m_dSpeed = static_cast<double>(sample->fSpeed) * 1.852;
    fix.m_dCourse = 0;
    fix.m_bValid = (fix.m_dLatitude != 0 || fix.m_dLongitude != 0 || fix.m_dSpeed != 0);
    m_GPSList.push_back(fix);
}

void CTextData::AddGSensorSample(const TelemetrySample* sample)
{
    m_GSensorList.emplace_back(ScaledReading(sample->fGSensorX), ScaledReading(sample->fGSensorY),
                               ScaledReading(sample->fGSensorZ));
}

void CTextData::AddGPSPair(const std::wstring& sentence, const std::wstring& values)
{
    Tokens tokens(values);
    m_GSensorList.emplace_back(ReadInt(Trimmed(tokens[2])), ReadInt(tokens[1]), ReadInt(tokens[0]));
    CGPSData fix;
    fix.ParseRMC(ToAnsi(sentence));
    m_GPSList.push_back(fix);
}
