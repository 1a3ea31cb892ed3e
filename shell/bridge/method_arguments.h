// How Execute and TerminateThread read their script arguments from
// DISPPARAMS, where the last script argument comes first.
#pragma once

#include <string_view>

#include "platform/automation/interfaces.h"

namespace nb::bridge {

struct ExecuteArguments {
    BSTR name;
    const VARIANT* args;  // null when not given
    BSTR callback;        // null when not given
    bool has_callback;
};

// DISP_E_MEMBERNOTFOUND without DISPATCH_METHOD; DISP_E_BADPARAMCOUNT for
// missing parameters, a null value array or a count other than 1 to 3;
// DISP_E_TYPEMISMATCH with *argument_error (when given) at the position in
// rgvarg of a name or callback that is not VT_BSTR. S_OK otherwise.
HRESULT ReadExecuteArguments(const DISPPARAMS* params, WORD flags, UINT* argument_error,
                             ExecuteArguments* out);

// DISP_E_MEMBERNOTFOUND without DISPATCH_METHOD, DISP_E_BADPARAMCOUNT unless
// there is exactly one argument. VT_I4, VT_INT and VT_UINT give their value,
// VT_BSTR its decimal text, anything else 0.
HRESULT ReadTerminateArgument(const DISPPARAMS* params, WORD flags, DWORD* thread_id);

// Leading tab, line feed, carriage return and space skipped, an optional
// sign, then digits up to the first non-digit, in 32-bit arithmetic; 0
// without digits.
DWORD ThreadIdFromText(std::u16string_view text);

}  // namespace nb::bridge
