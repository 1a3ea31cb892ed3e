// The type information of INbJsArray: the `length` property, DISPID 1.
#pragma once

#include "platform/automation/interfaces.h"

namespace nb::utils {

inline constexpr DISPID kLengthDispid = 1;

// Built from a description rather than a registered type library: there is
// no type library registry on this platform. The accessors are the two
// vtable slots that follow IUnknown (3), IDispatch (4) and IDispatchEx (8).
HRESULT CreateJsArrayTypeInfo(ITypeInfo** info);

}  // namespace nb::utils
