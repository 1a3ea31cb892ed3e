#include "shell/bridge/method_arguments.h"

#include "platform/text/decimal_prefix.h"

namespace nb::bridge {
namespace {

HRESULT CheckMethodCall(const DISPPARAMS* params, WORD flags, UINT min_count, UINT max_count) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs < min_count || params->cArgs > max_count) return DISP_E_BADPARAMCOUNT;
    return S_OK;
}

HRESULT TypeMismatchAt(UINT position, UINT* argument_error) {
    if (argument_error) *argument_error = position;
    return DISP_E_TYPEMISMATCH;
}

}  // namespace

HRESULT ReadExecuteArguments(const DISPPARAMS* params, WORD flags, UINT* argument_error,
                             ExecuteArguments* out) {
    const HRESULT call = CheckMethodCall(params, flags, 1, 3);
    if (FAILED(call)) return call;
    const UINT count = params->cArgs;
    const VARIANT& name = params->rgvarg[count - 1];
    if (name.vt != VT_BSTR) return TypeMismatchAt(count - 1, argument_error);
    *out = ExecuteArguments{name.bstrVal, nullptr, nullptr, false};
    if (count >= 2) out->args = &params->rgvarg[count - 2];
    if (count == 3) {
        const VARIANT& callback = params->rgvarg[0];
        if (callback.vt != VT_BSTR) return TypeMismatchAt(0, argument_error);
        out->callback = callback.bstrVal;
        out->has_callback = true;
    }
    return S_OK;
}

HRESULT ReadTerminateArgument(const DISPPARAMS* params, WORD flags, DWORD* thread_id) {
    const HRESULT call = CheckMethodCall(params, flags, 1, 1);
    if (FAILED(call)) return call;
    const VARIANT& value = params->rgvarg[0];
    switch (value.vt) {
        case VT_I4:
        case VT_INT:
        case VT_UINT:
            *thread_id = value.ulVal;
            break;
        case VT_BSTR:
            *thread_id = ThreadIdFromText(value.bstrVal ? value.bstrVal : u"");
            break;
        default:
            *thread_id = 0;
    }
    return S_OK;
}

DWORD ThreadIdFromText(std::u16string_view text) {
    return WrappedDecimal<DWORD>(FindDecimalPrefix(text, Blanks::kSpaceTabLineEnds));
}

}  // namespace nb::bridge
