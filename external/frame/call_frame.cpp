#include "external/frame/call_frame.h"

#include "common/error_report.h"
#include "common/result_list.h"

namespace nb::external {

UINT ExCall::ArgumentCount() const {
    const DISPPARAMS* args = m_frame.args;
    if (!args || !args->rgvarg) return 0;
    return args->cArgs;
}

const VARIANT& ExCall::Argument(UINT index) const { return m_frame.args->rgvarg[index]; }

HRESULT ExCall::CheckArguments(UINT min_count, UINT max_count,
                               std::span<const NbArgumentKind> kinds) const {
    const UINT count = ArgumentCount();
    if (count < min_count || count > max_count)
        return Fail(NB_ERROR_PARAMETERS_COUNT, NB_MESSAGE_PARAMETERS_COUNT);
    for (UINT index = 0; index < count && index < kinds.size(); ++index) {
        if (!NbHasArgumentKind(Argument(index), kinds[index]))
            return Fail(NB_ERROR_TYPE_MISMATCH, NB_MESSAGE_TYPE_MISMATCH);
    }
    return S_OK;
}

HRESULT ExCall::Fail(WORD code, LPCWSTR message) const {
    return NbReportError(m_frame.exception, m_name, code, message);
}

HRESULT ExCall::ReturnString(std::u16string_view text) const {
    if (!m_frame.result) return S_OK;
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) return E_OUTOFMEMORY;
    VariantClear(m_frame.result);
    m_frame.result->vt = VT_BSTR;
    m_frame.result->bstrVal = copy;
    return S_OK;
}

HRESULT ExCall::ReturnInteger(LONG value) const {
    if (!m_frame.result) return S_OK;
    VariantClear(m_frame.result);
    m_frame.result->vt = VT_I4;
    m_frame.result->lVal = value;
    return S_OK;
}

HRESULT ExCall::ReturnBoolean(bool value) const {
    if (!m_frame.result) return S_OK;
    VariantClear(m_frame.result);
    m_frame.result->vt = VT_BOOL;
    m_frame.result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ExCall::ReturnValue(VARIANT& value) const {
    if (!m_frame.result) return S_OK;
    VariantClear(m_frame.result);
    *m_frame.result = value;
    VariantInit(&value);
    return S_OK;
}

HRESULT ExCall::ReturnStringList(std::span<const std::u16string> texts) const {
    if (!m_frame.result) return S_OK;
    VariantClear(m_frame.result);
    const HRESULT hr = NbReturnStringList(m_frame.result, m_frame.exception, m_name, texts);
    if (FAILED(hr)) VariantClear(m_frame.result);
    return hr;
}

}  // namespace nb::external
