#include "utils/dispatch_invoke.h"

#include <new>
#include <vector>

#include "platform/automation/com_ptr.h"

namespace nb::utils {
namespace {

bool NamesThis(const DISPPARAMS& params) {
    if (!params.rgdispidNamedArgs) return false;
    for (UINT i = 0; i < params.cNamedArgs; ++i)
        if (params.rgdispidNamedArgs[i] == DISPID_THIS) return true;
    return false;
}

HRESULT CallWithThis(IDispatchEx* callee, IDispatch* self, WORD flags, const DISPPARAMS& params,
                     VARIANT* result, EXCEPINFO* exception) {
    std::vector<VARIANTARG> arguments;
    try {
        arguments.resize(params.cArgs + 1u);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // The new list borrows every value: the caller's arguments stay theirs and
    // this object outlives the call.
    arguments[0].vt = VT_DISPATCH;
    arguments[0].pdispVal = self;
    for (UINT i = 0; i < params.cArgs; ++i) arguments[i + 1] = params.rgvarg[i];
    DISPID this_name = DISPID_THIS;
    DISPPARAMS with_this{arguments.data(), &this_name, params.cArgs + 1u, 1};
    return callee->InvokeEx(DISPID_VALUE, LOCALE_USER_DEFAULT, flags, &with_this, result, exception,
                            nullptr);
}

}  // namespace

std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

std::u16string_view TextView(const OLECHAR* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

bool IsConstructRequest(WORD flags) { return (flags & DISPATCH_CONSTRUCT) != 0 || flags == 0; }

bool HasArguments(const DISPPARAMS* params) { return params && params->cArgs > 0; }

bool IsPutArgumentList(const DISPPARAMS* params) {
    if (!params || params->cArgs == 0 || !params->rgvarg) return false;
    if (params->cArgs == 1) return true;
    return params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
           params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

HRESULT CallFunctionValue(const VARIANT& function, IDispatch* self, LCID locale, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) {
    if (function.vt != VT_DISPATCH || !function.pdispVal) return DISP_E_TYPEMISMATCH;
    if (params && params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
    DISPPARAMS no_arguments{};
    DISPPARAMS& arguments = params ? *params : no_arguments;
    ComPtr<IDispatchEx> callee_ex;
    if (SUCCEEDED(function.pdispVal->QueryInterface(IID_IDispatchEx, callee_ex.PutVoid())) &&
        callee_ex && !NamesThis(arguments))
        return CallWithThis(callee_ex.Get(), self, flags, arguments, result, exception);
    return function.pdispVal->Invoke(DISPID_VALUE, IID_NULL, locale, flags, &arguments, result,
                                     exception, nullptr);
}

}  // namespace nb::utils
