#include "common/argument_copy.h"

#include "common/native_vector.h"
#include "common/task_memory.h"

HRESULT NbCopyArgumentsForWorker(const DISPPARAMS* arguments, DISPPARAMS** copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (!arguments || (arguments->cArgs > 0 && !arguments->rgvarg)) return E_POINTER;

    DISPPARAMS* record = nullptr;
    if (!NB_MEM_OLEALLOC(record, sizeof(DISPPARAMS))) return E_OUTOFMEMORY;
    *record = DISPPARAMS{};
    nb::ArgumentCopy owner(record);

    const SIZE_T slots = SIZE_T{arguments->cArgs} + 1;
    if (!NB_MEM_OLEALLOC(record->rgvarg, slots * sizeof(VARIANT))) return E_OUTOFMEMORY;
    for (SIZE_T i = 0; i < slots; ++i) VariantInit(&record->rgvarg[i]);
    record->cArgs = arguments->cArgs;

    for (UINT i = 0; i < arguments->cArgs; ++i) {
        const HRESULT copied = NbCopyToNative(&record->rgvarg[i], &arguments->rgvarg[i]);
        if (FAILED(copied)) return copied;
    }
    *copy = owner.release();
    return S_OK;
}

DISPPARAMS* NB_DISPPARAMS_COPY(const DISPPARAMS* arguments) {
    DISPPARAMS* copy = nullptr;
    NbCopyArgumentsForWorker(arguments, &copy);
    return copy;
}

void NB_DISPPARAMS_FREE(DISPPARAMS* copy) {
    if (!copy) return;
    if (copy->rgvarg) {
        for (UINT i = 0; i < copy->cArgs; ++i) NB_VARIANT_CLEAR(&copy->rgvarg[i]);
        CoTaskMemFree(copy->rgvarg);
    }
    CoTaskMemFree(copy);
}
