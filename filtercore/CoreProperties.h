// A reading core's ports, in the order they were added. The collection holds no lock: it is
// filled on the thread that opens a file and only read while the file stays open.
#pragma once

#include <memory>
#include <vector>

#include "filtercore/CorePortProperties.h"
#include "filtercore/CorePropertiesInterface.h"

namespace FilterCore {

class CoreProperties final : public CorePropertiesInterface {
public:
    CoreProperties() = default;
    ~CoreProperties() = default;  // destroys every port of both lists
    CoreProperties(const CoreProperties&) = delete;
    CoreProperties& operator=(const CoreProperties&) = delete;

    // Appends the port and takes ownership of it: 1. Refuses with 0, leaving the port to the
    // caller, when the list already holds a port of exactly that name (or the port is null).
    int AddInputPort(CorePortProperties* port) override;
    int AddOutputPort(CorePortProperties* port) override;
    // Destroys the first port of that name: 1; 0 when there is none. Pointers to it that
    // callers kept become invalid.
    int RemoveInputPort(const std::wstring& name) override;
    int RemoveOutputPort(const std::wstring& name) override;
    int GetInputPortCount() override;
    int GetOutputPortCount() override;
    // The port at that index in adding order; null outside 0..count-1. The collection keeps
    // ownership.
    CorePortProperties* GetInputPort(int index) override;
    CorePortProperties* GetOutputPort(int index) override;

    // Destroys every port of both lists, for a core that opens another file.
    void Clear();

private:
    typedef std::vector<std::unique_ptr<CorePortProperties>> PortList;
    static int Add(PortList& list, CorePortProperties* port);
    static int Remove(PortList& list, const std::wstring& name);
    static CorePortProperties* At(PortList& list, int index);

    PortList m_inputs;
    PortList m_outputs;
};

}  // namespace FilterCore
