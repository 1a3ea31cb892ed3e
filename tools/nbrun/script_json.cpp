#include "tools/nbrun/script_json.h"

#include <cstdint>
#include <limits>
#include <string>

#include "common/argument_kinds.h"
#include "common/script_array.h"
#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "platform/text/code_pages.h"

namespace nb::nbrun {
namespace {

using nlohmann::json;

bool FitsInt32(std::int64_t number) {
    return number >= std::numeric_limits<std::int32_t>::min() &&
           number <= std::numeric_limits<std::int32_t>::max();
}

void SetNumber(const json& number, VARIANT* value) {
    if (number.is_number_unsigned()) {
        const std::uint64_t unsigned_number = number.get<std::uint64_t>();
        if (unsigned_number <= std::numeric_limits<std::int32_t>::max()) {
            value->vt = VT_I4;
            value->lVal = static_cast<LONG>(unsigned_number);
        } else {
            value->vt = VT_R8;
            value->dblVal = static_cast<double>(unsigned_number);
        }
        return;
    }
    if (number.is_number_integer() && FitsInt32(number.get<std::int64_t>())) {
        value->vt = VT_I4;
        value->lVal = static_cast<LONG>(number.get<std::int64_t>());
        return;
    }
    value->vt = VT_R8;
    value->dblVal = number.get<double>();
}

HRESULT ConvertToScript(const json& json_value, VARIANT* value, int depth);

HRESULT MakeScriptArray(const json& elements, VARIANT* value, int depth) {
    if (depth >= kMaxArrayNesting) return E_INVALIDARG;
    nb::Variant array;
    if (FAILED(NB_ARRAY_CREATE(&array))) return E_FAIL;
    int index = 0;
    for (const json& element : elements) {
        nb::Variant converted;
        const HRESULT hr = ConvertToScript(element, &converted, depth + 1);
        if (FAILED(hr)) return hr;
        if (FAILED(NB_ARRAY_ADDELEMENT(&array, index++, &converted))) return E_FAIL;
    }
    *value = array;
    array.vt = VT_EMPTY;  // ownership moved to value
    return S_OK;
}

HRESULT ConvertToScript(const json& json_value, VARIANT* value, int depth) {
    VariantInit(value);
    switch (json_value.type()) {
        case json::value_t::string: {
            const std::u16string text = nb::ToUtf16(json_value.get_ref<const std::string&>());
            value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!value->bstrVal) return E_OUTOFMEMORY;
            value->vt = VT_BSTR;
            return S_OK;
        }
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
        case json::value_t::number_float:
            SetNumber(json_value, value);
            return S_OK;
        case json::value_t::boolean:
            value->vt = VT_BOOL;
            value->boolVal = json_value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case json::value_t::null:
            value->vt = VT_NULL;
            return S_OK;
        case json::value_t::array:
            return MakeScriptArray(json_value, value, depth);
        default:
            return E_INVALIDARG;
    }
}

json ConvertToJson(const VARIANT& value, int depth);

json ScriptArrayToJson(const VARIANT& array, int depth) {
    LONG length = 0;
    if (depth >= kMaxArrayNesting || FAILED(NB_ARRAY_GETLENGTH(&array, &length))) return nullptr;
    json elements = json::array();
    for (LONG i = 0; i < length; ++i) {
        nb::Variant element;
        NB_ARRAY_GETELEMENT(&array, i, &element);
        elements.push_back(ConvertToJson(element, depth + 1));
    }
    return elements;
}

json TextOf(const VARIANT& value) {
    const std::optional<std::u16string> text = NbVariantText(value);
    if (!text) return nullptr;
    return nb::ToUtf8(*text);
}

json ConvertToJson(const VARIANT& value, int depth) {
    if (std::optional<LONGLONG> integer = NbReadInteger(value)) return *integer;
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return nullptr;
        case VT_R4:
            return value.fltVal;
        case VT_R8:
            return value.dblVal;
        case VT_BOOL:
            return value.boolVal != VARIANT_FALSE;
        case VT_BSTR:
            return nb::ToUtf8(NbBstrView(value.bstrVal));
        case VT_DISPATCH:
            return ScriptArrayToJson(value, depth);
        default:
            return TextOf(value);
    }
}

}  // namespace

HRESULT JsonToScriptValue(const json& json_value, VARIANT* value) {
    const HRESULT hr = ConvertToScript(json_value, value, 0);
    if (FAILED(hr)) {
        VariantClear(value);
        VariantInit(value);
    }
    return hr;
}

json ScriptValueToJson(const VARIANT& value) { return ConvertToJson(value, 0); }

}  // namespace nb::nbrun
