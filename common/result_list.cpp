#include "common/result_list.h"

HRESULT NbReturnStringList(VARIANT* result, EXCEPINFO* exception, LPCWSTR function_name,
                           std::span<const std::u16string> items) {
    return NbReturnList(result, exception, function_name, static_cast<int>(items.size()),
                        [items](const VARIANT& array, int index) {
                            return NB_ARRAY_ADDSTRING(&array, index, items[index].c_str());
                        });
}

HRESULT NbReturnIntegerList(VARIANT* result, EXCEPINFO* exception, LPCWSTR function_name,
                            std::span<const LONG> items) {
    return NbReturnList(result, exception, function_name, static_cast<int>(items.size()),
                        [items](const VARIANT& array, int index) {
                            return NB_ARRAY_ADDINT(&array, index, items[index]);
                        });
}
