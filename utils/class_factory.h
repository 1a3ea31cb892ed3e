// The class object of CNbJsArray. Every instance counts as a module lock for
// its lifetime, so the module stays loaded while anyone holds one.
#pragma once

#include "platform/automation/interfaces.h"

namespace nb::utils {

// Creates a class object and answers `iid` (IUnknown or IClassFactory) on it.
HRESULT CreateJsArrayClassObject(REFIID iid, void** object);

}  // namespace nb::utils
