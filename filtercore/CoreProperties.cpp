#include "filtercore/CoreProperties.h"

namespace FilterCore {

int CoreProperties::Add(PortList& list, CorePortProperties* port)
{
    if (!port) return 0;
    for (const auto& listed : list) {
        if (listed->Name() == port->Name()) return 0;
    }
    list.emplace_back(port);
    return 1;
}

int CoreProperties::Remove(PortList& list, const std::wstring& name)
{
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->Name() == name) {
            list.erase(it);
            return 1;
        }
    }
    return 0;
}

CorePortProperties* CoreProperties::At(PortList& list, int index)
{
    if (index < 0 || index >= static_cast<int>(list.size())) return nullptr;
    return list[index].get();
}

int CoreProperties::AddInputPort(CorePortProperties* port) { return Add(m_inputs, port); }
int CoreProperties::AddOutputPort(CorePortProperties* port) { return Add(m_outputs, port); }
int CoreProperties::RemoveInputPort(const std::wstring& name) { return Remove(m_inputs, name); }
int CoreProperties::RemoveOutputPort(const std::wstring& name) { return Remove(m_outputs, name); }
int CoreProperties::GetInputPortCount() { return static_cast<int>(m_inputs.size()); }
int CoreProperties::GetOutputPortCount() { return static_cast<int>(m_outputs.size()); }
CorePortProperties* CoreProperties::GetInputPort(int index) { return At(m_inputs, index); }
CorePortProperties* CoreProperties::GetOutputPort(int index) { return At(m_outputs, index); }

void CoreProperties::Clear()
{
    m_inputs.clear();
    m_outputs.clear();
}

}  // namespace FilterCore
