#include "shell/channel/channel_values.h"

#include <limits>

#include "common/script_array.h"
#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"
#include "shell/channel/frame.h"

namespace nb::shell {
namespace {

GVariant* TextValue(BSTR text) {
    const std::string utf8 = ToUtf8(NbBstrView(text));
    return g_variant_new_string(utf8.c_str());
}

GVariant* WideInteger(long long number) {
    if (number >= std::numeric_limits<std::int32_t>::min() &&
        number <= std::numeric_limits<std::int32_t>::max())
        return g_variant_new_int32(static_cast<std::int32_t>(number));
    return g_variant_new_double(static_cast<double>(number));
}

GVariant* ArrayValue(const VARIANT& value, int depth) {
    LONG count = 0;
    if (depth >= kMaxValueNesting || FAILED(NB_ARRAY_GETLENGTH(&value, &count)))
        return UndefinedValue();
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("av"));
    for (LONG i = 0; i < count; ++i) {
        Variant element;
        GVariant* item = SUCCEEDED(NB_ARRAY_GETELEMENT(&value, i, &element))
                             ? ToChannelValue(element, depth + 1)
                             : UndefinedValue();
        g_variant_builder_add(&items, "v", item);
    }
    return g_variant_builder_end(&items);
}

}  // namespace

GVariant* ToChannelValue(const VARIANT& value, int depth) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    switch (v->vt) {
        case VT_EMPTY:
            return UndefinedValue();
        case VT_NULL:
            return NullValue();
        case VT_BSTR:
            return TextValue(v->bstrVal);
        case VT_BOOL:
            return g_variant_new_boolean(v->boolVal != VARIANT_FALSE);
        case VT_I1:
            return g_variant_new_int32(v->cVal);
        case VT_UI1:
            return g_variant_new_int32(v->bVal);
        case VT_I2:
            return g_variant_new_int32(v->iVal);
        case VT_UI2:
            return g_variant_new_int32(v->uiVal);
        case VT_I4:
            return g_variant_new_int32(v->lVal);
        case VT_INT:
            return g_variant_new_int32(v->intVal);
        case VT_UI4:
            return WideInteger(v->ulVal);
        case VT_UINT:
            return WideInteger(v->uintVal);
        case VT_I8:
            return WideInteger(v->llVal);
        case VT_R4:
            return g_variant_new_double(v->fltVal);
        case VT_R8:
            return g_variant_new_double(v->dblVal);
        case VT_DISPATCH:
            return v->pdispVal ? ArrayValue(*v, depth) : NullValue();
        default:
            break;
    }
    Variant text;
    if (SUCCEEDED(VariantChangeType(&text, v, 0, VT_BSTR))) return TextValue(text.bstrVal);
    return UndefinedValue();
}

HRESULT FromChannelValue(GVariant* value, VARIANT* out, int depth) {
    VariantInit(out);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        const std::u16string text = ToUtf16(g_variant_get_string(value, nullptr));
        out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!out->bstrVal) return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
        out->vt = VT_I4;
        out->lVal = g_variant_get_int32(value);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
        out->vt = VT_R8;
        out->dblVal = g_variant_get_double(value);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        out->vt = VT_BOOL;
        out->boolVal = g_variant_get_boolean(value) ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE("ms"))) {
        out->vt = VT_NULL;
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE("av")) && depth < kMaxValueNesting) {
        Variant array;
        if (FAILED(NB_ARRAY_CREATE(&array))) return E_FAIL;
        const gsize count = g_variant_n_children(value);
        for (gsize i = 0; i < count; ++i) {
            const auto boxed = glib::Take(g_variant_get_child_value(value, i));
            const auto inner = glib::Take(g_variant_get_variant(boxed.get()));
            Variant element;
            HRESULT hr = FromChannelValue(inner.get(), &element, depth + 1);
            if (SUCCEEDED(hr)) hr = NB_ARRAY_ADDELEMENT(&array, static_cast<int>(i), &element);
            if (FAILED(hr)) return E_FAIL;
        }
        *out = array;
        VariantInit(&array);
    }
    return S_OK;
}

}  // namespace nb::shell
