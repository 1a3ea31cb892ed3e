#include "common/argument_kinds.h"

#include <cstdint>

bool NbHasArgumentKind(const VARIANT& value, NbArgumentKind kind) {
    switch (kind) {
        case NbArgumentKind::Integer:
            return NbIsIntegerArgument(value);
        case NbArgumentKind::String:
            return NbIsStringArgument(value);
        case NbArgumentKind::Boolean:
            return NbIsBooleanArgument(value);
        case NbArgumentKind::Array:
            return NbIsArrayArgument(value);
    }
    return false;
}

bool NbIsIntegerArgument(const VARIANT& value) { return NbReadInteger(value).has_value(); }

std::optional<LONGLONG> NbReadInteger(const VARIANT& value) {
    switch (value.vt) {
        case VT_I1:
            return static_cast<std::int8_t>(value.bVal);
        case VT_UI1:
            return value.bVal;
        case VT_I2:
            return value.iVal;
        case VT_UI2:
            return value.uiVal;
        case VT_I4:
        case VT_UI4:
            return value.lVal;
        case VT_INT:
        case VT_UINT:
            return value.ulVal;
        case VT_I8:
        case VT_UI8:
            return value.llVal;
        default:
            return std::nullopt;
    }
}

bool NbIsStringArgument(const VARIANT& value) { return value.vt == VT_BSTR || value.vt == VT_NULL; }

LPCWSTR NbReadString(const VARIANT& value) {
    if (value.vt != VT_BSTR) return nullptr;
    return value.bstrVal ? value.bstrVal : u"";
}

bool NbIsBooleanArgument(const VARIANT& value) { return value.vt == VT_BOOL; }

bool NbReadBoolean(const VARIANT& value) {
    return value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
}

bool NbIsArrayArgument(const VARIANT& value) { return value.vt == VT_DISPATCH; }
