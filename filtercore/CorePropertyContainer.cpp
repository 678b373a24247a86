#include "filtercore/CorePropertyContainer.h"

#include "filtercore/CoreProperties.h"

namespace FilterCore {

CorePropertyContainer::CorePropertyContainer(CoreProperties* properties) : Core(properties) {}

CorePropertyContainer::~CorePropertyContainer() { delete m_pProperties; }

}  // namespace FilterCore
