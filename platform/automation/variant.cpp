#include <cstring>

#include "platform/automation/interfaces.h"

namespace {

bool IsKnownTag(VARTYPE type) {
    switch (type & VT_TYPEMASK) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        case VT_VARIANT:
            return (type & VT_BYREF) != 0;  // a plain VT_VARIANT is no value
        default:
            return false;
    }
}

bool IsValidTag(VARTYPE type) {
    if (type & ~(VT_TYPEMASK | VT_BYREF)) return false;  // arrays are not part of the model
    if ((type & VT_BYREF) && (type & VT_TYPEMASK) <= VT_NULL) return false;
    return IsKnownTag(type);
}

}  // namespace

NB_API void VariantInit(VARIANT* value) {
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
}

NB_API HRESULT VariantClear(VARIANT* value) {
    if (!value) return E_INVALIDARG;
    if (!IsValidTag(value->vt)) return DISP_E_BADVARTYPE;
    switch (value->vt) {
        case VT_BSTR:
            SysFreeString(value->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (value->punkVal) value->punkVal->Release();
            break;
        default:
            break;
    }
    value->vt = VT_EMPTY;
    return S_OK;
}

NB_API HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
    if (!destination || !source) return E_INVALIDARG;
    if (destination == source) return S_OK;
    if (!IsValidTag(source->vt)) return DISP_E_BADVARTYPE;
    HRESULT cleared = VariantClear(destination);
    if (FAILED(cleared)) return cleared;
    VARIANT copy;
    std::memcpy(&copy, source, sizeof(VARIANT));
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(source->bstrVal),
                                             SysStringByteLen(source->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal) {
        source->punkVal->AddRef();
    }
    std::memcpy(destination, &copy, sizeof(VARIANT));
    return S_OK;
}
