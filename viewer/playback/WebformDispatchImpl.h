// The viewer's answers to the map page's navigation events: navigations to "EXECUTE://" URLs
// are cancelled (and nothing else happens with them), and every completed navigation gets the
// page object published as "Dashcam" in the page's window.
#pragma once

#include "playback/WebformDispatchHandler.h"

class JSObject;

class WebformDispatchImpl : public WebformDispatchHandler {
public:
    // The page object is not owned: its owner keeps a reference while this handler lives.
    explicit WebformDispatchImpl(JSObject* pageObject) : m_pJSObject(pageObject) {}

    void BeforeNavigate(std::string url, bool* cancel) override;
    void NavigateComplete(std::string url, WebForm* form) override;

private:
    JSObject* m_pJSObject;
};
