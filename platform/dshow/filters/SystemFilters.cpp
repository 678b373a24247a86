// The module of the system filters: its class table, its entry point, and the registration
// of each class with the layer's system classes, done when the layer loads the module.
#include <new>

#include "AcmWrapper.h"
#include "AsyncReader.h"
#include "AviSplitter.h"
#include "AudioRenderer.h"
#include "VideoRenderer.h"
#include "com/classes.h"

CFactoryTemplate g_Templates[] = {
    {L"File Source (Async.)", &CLSID_AsyncReader, sysfilters::CAsyncReader::CreateInstance,
     nullptr, nullptr},
    {L"AVI Splitter", &CLSID_AviSplitter, sysfilters::CAviSplitter::CreateInstance, nullptr,
     nullptr},
    {L"ACM Wrapper", &CLSID_ACMWrapper, sysfilters::CAcmWrapper::CreateInstance, nullptr,
     nullptr},
    {L"Default DirectSound Device", &CLSID_DSoundRender,
     sysfilters::CAudioRenderer::CreateInstance, nullptr, nullptr},
    {L"Video Mixing Renderer 9", &CLSID_VideoMixingRenderer9,
     sysfilters::CVideoRenderer::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(module, reason, reserved);
}

namespace {

// The system class creator of template N: a new object, asked for `iid`.
template <int N>
HRESULT Create(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT hr = S_OK;
    CUnknown* instance = g_Templates[N].CreateInstance(outer, &hr);
    if (!instance)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete instance;
        return hr;
    }
    // The temporary reference makes a failed QueryInterface delete the new object.
    instance->NonDelegatingAddRef();
    hr = instance->NonDelegatingQueryInterface(iid, object);
    instance->NonDelegatingRelease();
    return hr;
}

const bool g_registered = [] {
    platform::RegisterSystemClass(CLSID_AsyncReader, &Create<0>);
    platform::RegisterSystemClass(CLSID_AviSplitter, &Create<1>);
    platform::RegisterSystemClass(CLSID_ACMWrapper, &Create<2>);
    platform::RegisterSystemClass(CLSID_DSoundRender, &Create<3>);
    platform::RegisterSystemClass(CLSID_VideoMixingRenderer9, &Create<4>);
    return true;
}();

}  // namespace
