// The extraction lock, which the main dialog owns in the program: the test programs define and
// initialise it themselves.
#include "playback/FileAnalysis.h"

CRITICAL_SECTION g_csExtractText;

namespace {

struct ExtractLockLifetime {
    ExtractLockLifetime() { InitializeCriticalSection(&g_csExtractText); }
    ~ExtractLockLifetime() { DeleteCriticalSection(&g_csExtractText); }
} g_extractLockLifetime;

}  // namespace
