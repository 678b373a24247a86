// The library side of KVMP4DualSourceFilter.ax: its one class, the filter data that
// DllRegisterServer writes, and the library's entry point.
#include "KVMP4DualSourceFilter.h"

namespace {

constexpr const WCHAR* kFilterName = L"KESTROVAN Black Box MP4 Dual Source";

const AMOVIESETUP_MEDIATYPE kVideoType = {&MEDIATYPE_Video, &MEDIASUBTYPE_None};
const AMOVIESETUP_MEDIATYPE kAudioType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_None};

// Front video, front audio, rear video, rear audio: output pins, neither rendered, optional
// nor many, each with one media type.
const AMOVIESETUP_PIN kPins[4] = {
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kVideoType},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kAudioType},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kVideoType},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kAudioType},
};

// MERIT_DO_NOT_USE: only a caller asking for the class identifier puts the filter in a graph.
const AMOVIESETUP_FILTER kFilter = {&CLSID_KVMP4DualSourceFilter, kFilterName, MERIT_DO_NOT_USE, 4,
                                    kPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kFilterName, &CLSID_KVMP4DualSourceFilter, FilterCore::KVMP4DualSourceFilter::CreateInstance,
     nullptr, &kFilter},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer()
{
    return AMovieDllRegisterServer2(TRUE);
}

STDAPI DllUnregisterServer()
{
    return AMovieDllRegisterServer2(FALSE);
}

// Called by the base classes when the library is loaded and unloaded; they record the module
// handle (g_hInst) for registration.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(instance, reason, reserved);
}
