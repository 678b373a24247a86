// The callback interface through which the map-page host passes the browser's navigation
// events. Strings are in the system code page.
#pragma once

#include <string>

class WebForm;

class WebformDispatchHandler {
public:
    virtual ~WebformDispatchHandler() = default;
    // Before a navigation: *cancel true stops it.
    virtual void BeforeNavigate(std::string url, bool* cancel) { *cancel = false; }
    // Never called by the host.
    virtual void NavigateStarted(std::string url) {}
    // After a navigation (its document exists, its scripts have not run yet).
    virtual void NavigateComplete(std::string url, WebForm* form) {}
};
