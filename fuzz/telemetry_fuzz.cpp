// The telemetry line grammar on arbitrary bytes: the first byte chooses the parser (a line of
// either grammar, an RMC sentence, a vehicle-information part, a sentence-and-values pair), the
// rest is its text. Nothing may crash or read outside the text, and the records keep their
// invariants: raw G-sensor values stay within -512..512, an incomplete sentence is no fix.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/kernel.h"
#include "playback/TextData.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::wstring text = platform::AnsiToWide(bytes);
    CTextData records;
    switch (data[0] % 5) {
        case 0: {
            records.ParseLine(text);
            if (text.rfind(L"gsensori,", 0) == 0) {
                Check(records.m_GSensorList.size() == 1);
                const CGSensorData& s = records.m_GSensorList.front();
                for (int v : {s.m_nX, s.m_nY, s.m_nZ})
                    Check(v >= -512 && v <= 512);
            }
            Check(records.m_GPSList.size() <= 1 && records.m_CarInfoList.size() <= 1);
            break;
        }
        case 1:
            records.ParseNewLine(text);
            Check(records.m_GSensorList.size() + records.m_GPSList.size() <= 1);
            for (const CGSensorData& s : records.m_GSensorList)
                Check(s.m_nX >= -1280 && s.m_nX <= 1270);
            break;
        case 2: {
            CGPSData fix;
            if (!fix.ParseRMC(bytes))
                Check(!fix.m_bValid);
            break;
        }
        case 3: {
            CCarInfoData car;
            car.Parse(text);
            break;
        }
        case 4: {
            const size_t split = text.find(L'\n');
            records.AddGPSPair(text.substr(0, split),
                               split == std::wstring::npos ? L"" : text.substr(split + 1));
            Check(records.m_GSensorList.size() == 1 && records.m_GPSList.size() == 1);
            break;
        }
    }
    return 0;
}
