// A filter library built with the base classes, for the registration test: a filter with
// registration data and an init routine, and a plain COM class (the memory allocator) without.
#include "platform/dshow/streams.h"

// {C4A7E2D1-5B39-4F6A-9D08-2E71B3C5A9F4}
DEFINE_GUID(CLSID_KvDshowTestFilter, 0xC4A7E2D1, 0x5B39, 0x4F6A, 0x9D, 0x08, 0x2E, 0x71, 0xB3, 0xC5,
            0xA9, 0xF4);

namespace {

const AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_AVC1}};
const AMOVIESETUP_MEDIATYPE kOutputTypes[] = {{&MEDIATYPE_Video, nullptr}};
const AMOVIESETUP_PIN kPins[] = {
    {L"", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {L"", TRUE, TRUE, FALSE, TRUE, &CLSID_NULL, nullptr, 1, kOutputTypes},
};
const AMOVIESETUP_FILTER kFilter = {&CLSID_KvDshowTestFilter, L"KV Test Filter", MERIT_DO_NOT_USE,
                                    2, kPins};

// A filter without pins: enough to be created, aggregated and registered.
class CTestFilter final : public CBaseFilter {
public:
    explicit CTestFilter(LPUNKNOWN outer)
        : CBaseFilter(NAME("Test filter"), outer, &m_lock, CLSID_KvDshowTestFilter)
    {
    }
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr)
    {
        return new CTestFilter(outer);
    }
    int GetPinCount() override { return 0; }
    CBasePin* GetPin(int) override { return nullptr; }
    const AMOVIESETUP_FILTER* GetSetupData() override { return &kFilter; }

private:
    CCritSec m_lock;
};

int g_initLoading = 0;
HINSTANCE g_module = nullptr;

void CALLBACK InitRoutine(BOOL loading, const CLSID* clsid)
{
    if (loading && clsid && IsEqualCLSID(*clsid, CLSID_KvDshowTestFilter))
        ++g_initLoading;
}

}  // namespace

CFactoryTemplate g_Templates[] = {
    {L"KV Test Filter", &CLSID_KvDshowTestFilter, CTestFilter::CreateInstance, InitRoutine,
     &kFilter},
    {L"Test memory allocator", &CLSID_MemoryAllocator, CMemAllocator::CreateInstance, nullptr,
     nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = module;
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

// What the test asks the library about its loading.
extern "C" PLATFORM_API int KvDshowTestInitCalls()
{
    return g_initLoading;
}
extern "C" PLATFORM_API HINSTANCE KvDshowTestModule()
{
    return g_module;
}
