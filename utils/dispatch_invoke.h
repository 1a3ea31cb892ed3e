// Pieces of the expando dispatch machinery that do not depend on the
// interface it serves: argument checks and calls to stored functions.
#pragma once

#include <string_view>

#include "platform/automation/interfaces.h"

namespace nb::utils {

// What one step of InvokeEx decided: an HRESULT, or "pass the call to the
// type information" for a built-in member.
struct StepOutcome {
    HRESULT hr = E_FAIL;
    bool built_in = false;
};
inline constexpr StepOutcome kBuiltInOutcome{S_OK, true};

std::u16string_view BstrView(BSTR text);
std::u16string_view TextView(const OLECHAR* text);

// A construct request, or a call that names no kind at all.
bool IsConstructRequest(WORD flags);
bool HasArguments(const DISPPARAMS* params);
// One argument, or one named DISPID_PROPERTYPUT argument.
bool IsPutArgumentList(const DISPPARAMS* params);

// Calls the dispatch object held in `function` as a function. A callee that
// speaks IDispatchEx gets `self` as its `this` (element 0, named DISPID_THIS)
// unless the caller named one already; any other callee gets the caller's
// parameters unchanged. Anything but a non-null VT_DISPATCH value is not
// callable: DISP_E_TYPEMISMATCH.
HRESULT CallFunctionValue(const VARIANT& function, IDispatch* self, LCID locale, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception);

}  // namespace nb::utils
