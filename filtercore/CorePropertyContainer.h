// A core that owns its port collection and builds its ports once a file is open.
#pragma once

#include "filtercore/Core.h"

namespace FilterCore {

class CorePropertyContainer : public Core {
public:
    // Takes ownership of `properties`.
    explicit CorePropertyContainer(CoreProperties* properties);
    // Destroys the collection and with it every port.
    virtual ~CorePropertyContainer();
    CorePropertyContainer(const CorePropertyContainer&) = delete;
    CorePropertyContainer& operator=(const CorePropertyContainer&) = delete;

    // Fills the collection from what the core has opened; nothing here.
    virtual void BuildPorts() {}
};

}  // namespace FilterCore
