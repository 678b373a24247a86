#include "app/FileParsing.h"

#include "playback/FileAnalysis.h"
#include "ui/DebugLog.h"

namespace {

// Holds the extraction lock for as long as it lives.
class ParseLock {
public:
    ParseLock() { EnterCriticalSection(&g_csExtractText); }
    ~ParseLock() { LeaveCriticalSection(&g_csExtractText); }
    ParseLock(const ParseLock&) = delete;
    ParseLock& operator=(const ParseLock&) = delete;
};

}  // namespace

size_t CountRecordings(const RecFileMap* maps, size_t count)
{
    size_t n = 0;
    for (size_t i = 0; i < count; ++i)
        n += maps[i].size();
    return n;
}

bool ParseRecordingMaps(RecFileMap* maps, size_t count, const std::atomic<int>& stop,
                        const CTextData* const* inPlayer,
                        const std::function<void(int percent)>& progress)
{
    const size_t n = CountRecordings(maps, count);
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    size_t k = 0;
    bool stopped = false;
    for (size_t m = 0; m < count && !stopped; ++m) {
        if (stop.load()) {
            stopped = true;
            break;
        }
        for (auto& [key, entry] : maps[m]) {
            if (stop.load()) {
                stopped = true;
                break;
            }
            {
                // Whether the entry still needs its telemetry is decided under the lock, where
                // the play command decides it too, so that no recording is read twice.
                ParseLock lock;
                const bool playing = inPlayer && *inPlayer == &entry.m_TextData;
                if (!entry.m_bTextParsed && !playing) {
                    LogWrite(L">");
                    try {
                        analysis->ExtractEntryText(entry);
                    } catch (...) {
                        LogWrite(FormatText(L"ExtractText Execption has occured [%ls]",
                                            entry.m_strPath.c_str()));
                    }
                    LogWrite(L"<");
                }
            }
            ++k;
            const int percent = int(float(k) / float(n) * 100.0f);
            if (progress)
                progress(percent);
            Sleep(1);
            if (percent == 100)
                Sleep(200);
        }
    }
    CFileAnalysis::ReleaseInstance();
    return !stopped;
}
