// Returning a list to a script: a script array filled at 0, 1, 2, ... in
// order, or error report 2103 when it cannot be built.
#pragma once

#include <span>
#include <string>

#include "common/error_report.h"
#include "common/script_array.h"

// Creates the array into result, then calls add_item(array, index) for each
// index from 0 to count - 1 in order; add_item stores one item with
// NB_ARRAY_ADDSTRING, NB_ARRAY_ADDINT or NB_ARRAY_ADDELEMENT and returns its
// HRESULT. Returns S_OK with the filled array in result; error report 2103
// "NB_ARRAY_CREATE() failed" (result untouched) when the array cannot be
// created, or "NB_ARRAY_ADDELEMENT() failed" at the first item that cannot be
// added, leaving the partly filled array in result for the caller to clear.
template <typename AddItem>
HRESULT NbReturnList(VARIANT* result, EXCEPINFO* exception, LPCWSTR function_name, int count,
                     AddItem add_item) {
    if (FAILED(NB_ARRAY_CREATE(result)))
        return NbReportError(exception, function_name, NB_ERROR_RESULT_LIST,
                             NB_MESSAGE_ARRAY_CREATE);
    for (int index = 0; index < count; ++index) {
        if (FAILED(add_item(*result, index)))
            return NbReportError(exception, function_name, NB_ERROR_RESULT_LIST,
                                 NB_MESSAGE_ARRAY_ADDELEMENT);
    }
    return S_OK;
}

// NbReturnList over texts (stored as VT_BSTR) and over numbers (VT_I4).
HRESULT NbReturnStringList(VARIANT* result, EXCEPINFO* exception, LPCWSTR function_name,
                           std::span<const std::u16string> items);
HRESULT NbReturnIntegerList(VARIANT* result, EXCEPINFO* exception, LPCWSTR function_name,
                            std::span<const LONG> items);
