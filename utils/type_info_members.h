// Built-in members of an expando dispatch object, taken from the type
// information of the interface it serves.
#pragma once

#include "platform/automation/interfaces.h"
#include "utils/member_table.h"

namespace nb::utils {

// Adds one built-in member (documentation name, DISPID, empty value) for each
// function of `info` whose DISPID is not in the table yet, then walks the
// first base interface the same way unless it is IUnknown, IDispatch or
// IDispatchEx. Returns the first failure of the type information or the table.
HRESULT AddTypeInfoMembers(CMemberTable& members, ITypeInfo* info);

}  // namespace nb::utils
