// The library's COM side: its one class, its entry point and its registration.
#include "filters/h264decode/KVH264.h"

CFactoryTemplate g_Templates[] = {
    {L"KESTROVAN H264 Decoding Filter", &CLSID_KVH264DecodeFilter, KVH264::CreateInstance, nullptr,
     &KVH264::g_FilterSetup},
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
