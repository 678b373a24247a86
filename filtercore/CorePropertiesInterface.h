// The collection of a reading core's ports: an input list and an output list.
#pragma once

#include <string>

namespace FilterCore {

class CorePortProperties;

// Abstract; the operations keep this order.
class CorePropertiesInterface {
public:
    virtual int AddInputPort(CorePortProperties* port) = 0;
    virtual int AddOutputPort(CorePortProperties* port) = 0;
    virtual int RemoveInputPort(const std::wstring& name) = 0;
    virtual int RemoveOutputPort(const std::wstring& name) = 0;
    virtual int GetInputPortCount() = 0;
    virtual int GetOutputPortCount() = 0;
    virtual CorePortProperties* GetInputPort(int index) = 0;
    virtual CorePortProperties* GetOutputPort(int index) = 0;

protected:
    ~CorePropertiesInterface() = default;
};

}  // namespace FilterCore
