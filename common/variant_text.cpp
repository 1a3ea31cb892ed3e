#include "common/variant_text.h"

std::u16string_view NbBstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

std::optional<std::u16string> NbVariantText(const VARIANT& value) {
    if (value.vt == VT_BSTR) return std::u16string(NbBstrView(value.bstrVal));
    nb::Variant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return std::nullopt;
    return std::u16string(NbBstrView(text.bstrVal));
}
