// The root of every reading core: the collection of its ports.
#pragma once

namespace FilterCore {

class CoreProperties;

class Core {
public:
    CoreProperties* GetProperties() const { return m_pProperties; }

protected:
    explicit Core(CoreProperties* properties) : m_pProperties(properties) {}
    ~Core() = default;

    // Owned by the derived container, which destroys it.
    CoreProperties* m_pProperties;
};

}  // namespace FilterCore
