// The layer's own COM classes (the filter graph, the system filters, the web browser): created
// by CoCreateInstance and CoGetClassObject before anything registered under
// HKEY_CLASSES_ROOT. Internal to the layer, exported so that its tests can register classes of
// their own.
#pragma once

#include "platform/com.h"

namespace platform {

// Makes one object of a system class and returns its `iid` interface in *object with one
// reference (the caller releases it), or null and an error (E_NOINTERFACE, E_OUTOFMEMORY).
// outer is the controlling IUnknown of an aggregate; it is null unless the class was
// registered with Aggregation::Allowed, and then iid is IID_IUnknown.
typedef HRESULT (*SystemClassCreator)(IUnknown* outer, REFIID iid, void** object);

enum class Aggregation { Refused, Allowed };

// Registers a system class. The class object that COM hands out for it checks the aggregation
// rules (CLASS_E_NOAGGREGATION) before it calls `create`. Returns false, changing nothing, when
// the class is registered already or `create` is null. Safe on any thread and from static
// initialisers of the layer.
PLATFORM_API bool RegisterSystemClass(REFCLSID clsid, SystemClassCreator create,
                                      Aggregation aggregation = Aggregation::Refused);

}  // namespace platform
