#include "common/native_vector.h"

#include "common/script_array.h"
#include "common/task_memory.h"
#include "platform/automation/com_ptr.h"

namespace {

// The failures after which a copy would be incomplete, so the whole copy
// stops; any other failure leaves one slot empty, as a failed read does.
bool StopsTheCopy(HRESULT hr) { return hr == E_INVALIDARG || hr == E_OUTOFMEMORY; }

void MakeVector(VARIANT* vector, VARIANT* block, WORD count) {
    *vector = VARIANT{};
    vector->vt = VT_VARIANT;
    vector->wReserved1 = count;
    vector->wReserved2 = count;
    vector->wReserved3 = count;
    vector->pvarVal = block;
}

HRESULT CopyToNative(VARIANT* slot, const VARIANT* value, int depth);

HRESULT ToVector(VARIANT* out, const VARIANT* array, int depth) {
    if (depth > NB_VECTOR_MAX_DEPTH) return E_INVALIDARG;
    LONG length = 0;
    const HRESULT read = NB_ARRAY_GETLENGTH(array, &length);
    if (FAILED(read)) return read;
    if (length < 0 || length > NB_VECTOR_MAX_LENGTH) return E_INVALIDARG;

    VARIANT* block = nullptr;
    const auto slots = static_cast<SIZE_T>(length) + 1;
    if (!NB_MEM_OLEALLOC(block, slots * sizeof(VARIANT))) return E_OUTOFMEMORY;
    for (SIZE_T i = 0; i < slots; ++i) VariantInit(&block[i]);
    nb::NativeVariant vector;
    MakeVector(&vector, block, static_cast<WORD>(length));

    for (LONG index = 0; index < length; ++index) {
        nb::Variant element;
        NB_ARRAY_GETELEMENT(array, index, &element);  // a failed read stays VT_EMPTY
        const HRESULT copied = CopyToNative(&block[index], &element, depth + 1);
        if (FAILED(copied)) return copied;
    }
    NB_VARIANT_CLEAR(out);
    *out = vector;
    vector.vt = VT_EMPTY;  // ownership moved to out
    return S_OK;
}

HRESULT CopyToNative(VARIANT* slot, const VARIANT* value, int depth) {
    const HRESULT copied =
        value->vt == VT_DISPATCH ? ToVector(slot, value, depth) : VariantCopy(slot, value);
    if (SUCCEEDED(copied)) return S_OK;
    if (StopsTheCopy(copied)) return copied;
    VariantInit(slot);
    return S_FALSE;
}

bool IsVector(const VARIANT* value) { return value->vt == VT_VARIANT; }

}  // namespace

HRESULT NB_ARRAY_TOVECTOR(VARIANT* out, const VARIANT* array) {
    if (!out) return E_POINTER;
    return ToVector(out, array, 0);
}

HRESULT NbCopyToNative(VARIANT* slot, const VARIANT* value) {
    if (!slot || !value) return E_POINTER;
    return CopyToNative(slot, value, 0);
}

HRESULT NB_VECTOR_LENGTH(const VARIANT* value, LONG* count) {
    if (!value || !count) return E_POINTER;
    if (!IsVector(value)) return E_INVALIDARG;
    *count = value->wReserved1;
    return S_OK;
}

HRESULT NB_VECTOR_GETELEMENT(const VARIANT* vector, LONG index, const VARIANT** element) {
    if (!vector || !element) return E_POINTER;
    if (!IsVector(vector)) return E_INVALIDARG;
    if (index < 0 || index >= vector->wReserved1) return DISP_E_BADINDEX;
    *element = &vector->pvarVal[index];
    return S_OK;
}

HRESULT NB_VARIANT_CLEAR(VARIANT* value) {
    if (!value) return E_POINTER;
    if (!IsVector(value)) return VariantClear(value);
    for (WORD index = 0; index < value->wReserved1; ++index)
        NB_VARIANT_CLEAR(&value->pvarVal[index]);
    CoTaskMemFree(value->pvarVal);
    *value = VARIANT{};
    return S_OK;
}
