// The class that KvComTestServer.dll serves, as its clients see it.
#pragma once

#include "platform/com.h"

// {5E0C3B1A-7D42-4C8E-9A61-2F3B8D4E6C01}
DEFINE_GUID(CLSID_KvComTestWidget, 0x5E0C3B1A, 0x7D42, 0x4C8E, 0x9A, 0x61, 0x2F, 0x3B, 0x8D, 0x4E,
            0x6C, 0x01);
// {5E0C3B1A-7D42-4C8E-9A61-2F3B8D4E6C02}
DEFINE_GUID(IID_IKvTestWidget, 0x5E0C3B1A, 0x7D42, 0x4C8E, 0x9A, 0x61, 0x2F, 0x3B, 0x8D, 0x4E, 0x6C,
            0x02);

struct IKvTestWidget : IUnknown {
    // 42, from whichever copy of the library made the object.
    virtual HRESULT STDMETHODCALLTYPE GetAnswer(int* answer) = 0;

protected:
    ~IKvTestWidget() = default;
};
DECLARE_INTERFACE_ID(IKvTestWidget, IID_IKvTestWidget);

// The library's file name, found in the test programs' folder.
#define KV_COM_TEST_SERVER_NAME L"KvComTestServer.dll"
