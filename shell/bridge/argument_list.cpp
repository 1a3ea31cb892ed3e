#include "shell/bridge/argument_list.h"

#include "common/script_array.h"
#include "common/task_memory.h"

namespace nb::bridge {

DISPPARAMS* AllocateArgumentList(UINT count) {
    DISPPARAMS* record = nullptr;
    if (!NB_MEM_OLEALLOC(record, sizeof(DISPPARAMS))) return nullptr;
    *record = DISPPARAMS{};
    ArgumentList list(record);
    if (count > 0) {
        const SIZE_T entries = SIZE_T{count} + 1;
        if (!NB_MEM_OLEALLOC(record->rgvarg, entries * sizeof(VARIANT))) return nullptr;
        for (SIZE_T i = 0; i < entries; ++i) VariantInit(&record->rgvarg[i]);
        record->cArgs = count;
    }
    return list.release();
}

namespace {

UINT ScriptArrayLength(const VARIANT& array) {
    LONG length = 0;
    if (FAILED(NB_ARRAY_GETLENGTH(&array, &length)) || length <= 0) return 0;
    return static_cast<UINT>(length);
}

}  // namespace

HRESULT BuildCallArguments(const VARIANT* args, ArgumentList* list) {
    UINT count = 0;
    if (args) count = args->vt == VT_DISPATCH ? ScriptArrayLength(*args) : 1;
    list->reset(AllocateArgumentList(count));
    if (!*list) return E_OUTOFMEMORY;
    if (count == 0) return S_OK;
    if (args->vt != VT_DISPATCH) {
        // A value that cannot be copied arrives as VT_EMPTY, like an
        // unreadable array element.
        VariantCopy(&(*list)->rgvarg[0], args);
        return S_OK;
    }
    for (UINT i = 0; i < count; ++i)
        NB_ARRAY_GETELEMENT(args, static_cast<LONG>(i), &(*list)->rgvarg[i]);
    return S_OK;
}

}  // namespace nb::bridge
