// A core's name and version, as the filters report them.
#pragma once

#include <string>

namespace FilterCore {

class CoreDocInterface {
public:
    // Each fills a string owned by the caller.
    virtual void GetName(std::wstring& name) = 0;
    virtual void GetVersion(std::wstring& version) = 0;

protected:
    ~CoreDocInterface() = default;
};

}  // namespace FilterCore
