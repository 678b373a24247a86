// GdiplusStartup and GdiplusShutdown: a set of outstanding tokens.
#include <mutex>
#include <set>

#include "gdiplus.h"

namespace {

struct Tokens {
    std::mutex lock;
    std::set<ULONG_PTR> outstanding;  // guarded by lock
    ULONG_PTR next = 1;               // guarded by lock; tokens are never 0 and never reused
};

Tokens& TheTokens()
{
    static Tokens* tokens = new Tokens;  // never destroyed: objects may outlive static teardown
    return *tokens;
}

}  // namespace

namespace platform::gdiplus {

bool IsStarted()
{
    Tokens& tokens = TheTokens();
    std::lock_guard<std::mutex> guard(tokens.lock);
    return !tokens.outstanding.empty();
}

}  // namespace platform::gdiplus

namespace Gdiplus {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                             GdiplusStartupOutput* output)
{
    if (!token || !input || output)
        return InvalidParameter;
    if (input->GdiplusVersion != 1)
        return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread)
        return NotImplemented;
    Tokens& tokens = TheTokens();
    std::lock_guard<std::mutex> guard(tokens.lock);
    ULONG_PTR made = tokens.next++;
    tokens.outstanding.insert(made);
    *token = made;
    return Ok;
}

VOID WINAPI GdiplusShutdown(ULONG_PTR token)
{
    Tokens& tokens = TheTokens();
    std::lock_guard<std::mutex> guard(tokens.lock);
    tokens.outstanding.erase(token);
}

}  // namespace Gdiplus
