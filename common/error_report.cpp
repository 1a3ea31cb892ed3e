#include "common/error_report.h"

#include <string>

HRESULT NbFillExceptionInfo(EXCEPINFO* exception, LPCWSTR source, WORD code, LPCWSTR message) {
    if (!exception) return DISP_E_EXCEPTION;
    *exception = EXCEPINFO{};
    exception->wCode = code;
    exception->bstrSource = SysAllocString(source);
    exception->bstrDescription = SysAllocString(message);
    exception->scode = -static_cast<SCODE>(code);
    return DISP_E_EXCEPTION;
}

HRESULT NbReportError(EXCEPINFO* exception, LPCWSTR function_name, WORD code, LPCWSTR message) {
    std::u16string source = u"External::";
    if (function_name) source += function_name;
    return NbFillExceptionInfo(exception, source.c_str(), code, message);
}
