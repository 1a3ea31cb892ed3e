// The page side of the bridge: how the shell calls a global script function
// of the current page (worker reports, and later menu commands and events).
#pragma once

#include "platform/automation/variant.h"

namespace nb::bridge {

class ScriptCallbacks {
   public:
    // Calls the global function name with arguments exactly as given: the
    // last entry of rgvarg is the function's first parameter. result is a
    // fresh VT_EMPTY variant that receives the function's answer. A failure
    // means the function did not run; the bridge reports nothing to the page.
    virtual HRESULT CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT* result) = 0;

   protected:
    ~ScriptCallbacks() = default;
};

}  // namespace nb::bridge
