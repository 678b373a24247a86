// The library's COM side, its entry point and registration, and the brightness offset's two
// exports.
#include "filters/brightness/kv_transform.h"

CFactoryTemplate g_Templates[] = {
    {L"KV Brightness Filter", &CLSID_KVBrightnessFilter, Ckv_transform::CreateInstance, nullptr,
     &Ckv_transform::g_FilterSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(module, reason, reserved);
}

STDAPI DllRegisterServer()
{
    return AMovieDllRegisterServer2(TRUE);
}

STDAPI DllUnregisterServer()
{
    return AMovieDllRegisterServer2(FALSE);
}

// Sets the offset for every instance of the filter in the process; returns the value given.
extern "C" PLATFORM_API LONG WINAPI setbrightness(LONG value)
{
    g_brightness.store(value, std::memory_order_relaxed);
    return value;
}

extern "C" PLATFORM_API LONG WINAPI getbrightness()
{
    return g_brightness.load(std::memory_order_relaxed);
}
