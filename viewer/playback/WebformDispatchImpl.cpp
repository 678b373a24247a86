#include "playback/WebformDispatchImpl.h"

#include <cctype>

#include "playback/JSObject.h"
#include "playback/WebForm.h"

void WebformDispatchImpl::BeforeNavigate(std::string url, bool* cancel)
{
    *cancel = false;
    static const char prefix[] = "EXECUTE://";
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= url.size() || std::toupper(static_cast<unsigned char>(url[i])) !=
                                   static_cast<unsigned char>(prefix[i]))
            return;
    *cancel = true;
}

void WebformDispatchImpl::NavigateComplete(std::string url, WebForm* form)
{
    if (!form)
        return;
    form->AddCustomObject(m_pJSObject, "Dashcam");
    OutputDebugStringW(L"AddCustomObject\n");
}
