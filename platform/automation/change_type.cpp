// VariantChangeType for the kinds of the data model: empty, integers,
// floating point, booleans, strings, and objects through their value
// property. Integers round half to even from floating point, as automation
// conversions do.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <variant>

#include "platform/automation/com_ptr.h"
#include "platform/text/ascii_case.h"
#include "platform/text/code_pages.h"

namespace {

// The value of a source, reduced to one of four shapes.
using Scalar =
    std::variant<std::monostate, std::int64_t, std::uint64_t, double, bool, std::u16string>;

struct Conversion {
    HRESULT status = S_OK;
    Scalar value;
};

const VARIANT& Dereferenced(const VARIANT& source, VARIANT& scratch) {
    if (!(source.vt & VT_BYREF) || !source.byref) return source;
    VariantInit(&scratch);
    scratch.vt = static_cast<VARTYPE>(source.vt & VT_TYPEMASK);
    switch (scratch.vt) {
        case VT_I1:
        case VT_UI1:
            scratch.bVal = *source.pbVal;
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            scratch.iVal = *source.piVal;
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            scratch.lVal = *source.plVal;
            break;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
        case VT_CY:
            scratch.llVal = *source.pllVal;
            break;
        case VT_BSTR:
            scratch.bstrVal = *source.pbstrVal;
            break;  // borrowed, never freed
        case VT_DISPATCH:
        case VT_UNKNOWN:
            scratch.punkVal = *source.ppunkVal;
            break;
        case VT_VARIANT:
            return *source.pvarVal;
        default:
            scratch.vt = source.vt;
            break;
    }
    return scratch;
}

Conversion ValueProperty(IDispatch* object, USHORT flags);

Conversion Read(const VARIANT& source, USHORT flags) {
    switch (source.vt) {
        case VT_EMPTY:
            return {S_OK, std::monostate{}};
        case VT_I1:
            return {S_OK, std::int64_t{static_cast<signed char>(source.cVal)}};
        case VT_UI1:
            return {S_OK, std::int64_t{source.bVal}};
        case VT_I2:
            return {S_OK, std::int64_t{source.iVal}};
        case VT_UI2:
            return {S_OK, std::int64_t{source.uiVal}};
        case VT_I4:
        case VT_INT:
            return {S_OK, std::int64_t{source.lVal}};
        case VT_UI4:
        case VT_UINT:
            return {S_OK, std::int64_t{source.ulVal}};
        case VT_I8:
            return {S_OK, std::int64_t{source.llVal}};
        case VT_UI8:
            return {S_OK, std::uint64_t{source.ullVal}};
        case VT_R4:
            return {S_OK, double{source.fltVal}};
        case VT_R8:
            return {S_OK, source.dblVal};
        case VT_BOOL:
            return {S_OK, source.boolVal != VARIANT_FALSE};
        case VT_BSTR:
            return {S_OK, std::u16string(source.bstrVal ? source.bstrVal : u"",
                                         SysStringLen(source.bstrVal))};
        case VT_DISPATCH:
            return ValueProperty(source.pdispVal, flags);
        default:
            return {DISP_E_TYPEMISMATCH, {}};
    }
}

Conversion ValueProperty(IDispatch* object, USHORT flags) {
    if (!object || (flags & VARIANT_NOVALUEPROP)) return {DISP_E_TYPEMISMATCH, {}};
    nb::Variant value;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET,
                                &none, &value, nullptr, nullptr);
    if (FAILED(hr)) return {DISP_E_TYPEMISMATCH, {}};
    if (value.vt == VT_DISPATCH) return {DISP_E_TYPEMISMATCH, {}};  // no second hop
    return Read(value, flags);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trimmed(const std::u16string& text) {
    std::string narrow = nb::ToUtf8(text);
    std::size_t begin = 0, end = narrow.size();
    while (begin < end && IsSpace(narrow[begin])) ++begin;
    while (end > begin && IsSpace(narrow[end - 1])) --end;
    return narrow.substr(begin, end - begin);
}

// A numeric text becomes an exact integer when it has no fraction or
// exponent, otherwise a double; anything else is a type mismatch.
Conversion ParseNumber(const std::u16string& text) {
    std::string narrow = Trimmed(text);
    if (narrow.empty()) return {DISP_E_TYPEMISMATCH, {}};
    for (char c : narrow)
        if (!std::strchr("0123456789+-.eE", c)) return {DISP_E_TYPEMISMATCH, {}};
    errno = 0;
    char* end = nullptr;
    if (narrow.find_first_of(".eE") == std::string::npos) {
        long long whole = std::strtoll(narrow.c_str(), &end, 10);
        if (*end == 0 && errno == 0) return {S_OK, std::int64_t{whole}};
        errno = 0;
    }
    double number = std::strtod(narrow.c_str(), &end);
    if (*end != 0) return {DISP_E_TYPEMISMATCH, {}};
    if (errno == ERANGE && std::isinf(number)) return {DISP_E_OVERFLOW, {}};
    return {S_OK, number};
}

// Integer of the given range, from any scalar.
template <typename Integer>
HRESULT ToInteger(const Scalar& value, Integer& out) {
    using Limits = std::numeric_limits<Integer>;
    if (std::holds_alternative<std::monostate>(value)) return out = 0, S_OK;
    if (auto* flag = std::get_if<bool>(&value))
        return out = static_cast<Integer>(*flag ? -1 : 0), S_OK;
    if (auto* text = std::get_if<std::u16string>(&value)) {
        Conversion parsed = ParseNumber(*text);
        return FAILED(parsed.status) ? parsed.status : ToInteger(parsed.value, out);
    }
    if (auto* whole = std::get_if<std::int64_t>(&value)) {
        if (Limits::is_signed ? (*whole < static_cast<std::int64_t>(Limits::min()) ||
                                 *whole > static_cast<std::int64_t>(Limits::max()))
                              : (*whole < 0 || static_cast<std::uint64_t>(*whole) > Limits::max()))
            return DISP_E_OVERFLOW;
        return out = static_cast<Integer>(*whole), S_OK;
    }
    if (auto* whole = std::get_if<std::uint64_t>(&value)) {
        if (*whole > static_cast<std::uint64_t>(Limits::max())) return DISP_E_OVERFLOW;
        return out = static_cast<Integer>(*whole), S_OK;
    }
    double rounded = std::nearbyint(std::get<double>(value));  // default mode: half to even
    if (!(rounded >= static_cast<double>(Limits::min())) ||
        !(rounded < static_cast<double>(Limits::max()) + 1.0))
        return DISP_E_OVERFLOW;
    return out = static_cast<Integer>(rounded), S_OK;
}

HRESULT ToDouble(const Scalar& value, double& out) {
    if (std::holds_alternative<std::monostate>(value)) return out = 0, S_OK;
    if (auto* flag = std::get_if<bool>(&value)) return out = *flag ? -1 : 0, S_OK;
    if (auto* whole = std::get_if<std::int64_t>(&value))
        return out = static_cast<double>(*whole), S_OK;
    if (auto* whole = std::get_if<std::uint64_t>(&value))
        return out = static_cast<double>(*whole), S_OK;
    if (auto* text = std::get_if<std::u16string>(&value)) {
        Conversion parsed = ParseNumber(*text);
        return FAILED(parsed.status) ? parsed.status : ToDouble(parsed.value, out);
    }
    return out = std::get<double>(value), S_OK;
}

HRESULT ToBool(const Scalar& value, bool& out) {
    if (auto* flag = std::get_if<bool>(&value)) return out = *flag, S_OK;
    if (auto* text = std::get_if<std::u16string>(&value)) {
        std::string word = Trimmed(*text);
        if (nb::EqualsIgnoringAsciiCase(word, "true")) return out = true, S_OK;
        if (nb::EqualsIgnoringAsciiCase(word, "false")) return out = false, S_OK;
    }
    double number = 0;
    HRESULT hr = ToDouble(value, number);
    out = number != 0;
    return hr;
}

std::string FormatDouble(double number, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*G", digits, number);
    return text;
}

HRESULT ToText(const Scalar& value, USHORT flags, std::u16string& out) {
    std::string narrow;
    if (auto* text = std::get_if<std::u16string>(&value)) return out = *text, S_OK;
    if (auto* flag = std::get_if<bool>(&value))
        narrow = (flags & VARIANT_ALPHABOOL) ? (*flag ? "True" : "False") : (*flag ? "-1" : "0");
    else if (auto* signed_whole = std::get_if<std::int64_t>(&value))
        narrow = std::to_string(*signed_whole);
    else if (auto* unsigned_whole = std::get_if<std::uint64_t>(&value))
        narrow = std::to_string(*unsigned_whole);
    else if (auto* number = std::get_if<double>(&value))
        narrow = FormatDouble(*number, 15);
    out = nb::ToUtf16(narrow);
    return S_OK;
}

template <typename Integer>
HRESULT StoreInteger(const Scalar& value, VARTYPE type, VARIANT& out) {
    Integer number{};
    HRESULT hr = ToInteger(value, number);
    if (FAILED(hr)) return hr;
    out.vt = type;
    out.llVal = 0;
    std::memcpy(&out.llVal, &number, sizeof number);
    return S_OK;
}

HRESULT Store(const Scalar& value, VARTYPE type, USHORT flags, VARIANT& out) {
    switch (type) {
        case VT_EMPTY:
            out.vt = VT_EMPTY;
            return S_OK;
        case VT_I1:
            return StoreInteger<std::int8_t>(value, type, out);
        case VT_UI1:
            return StoreInteger<std::uint8_t>(value, type, out);
        case VT_I2:
            return StoreInteger<std::int16_t>(value, type, out);
        case VT_UI2:
            return StoreInteger<std::uint16_t>(value, type, out);
        case VT_I4:
        case VT_INT:
            return StoreInteger<std::int32_t>(value, type, out);
        case VT_UI4:
        case VT_UINT:
            return StoreInteger<std::uint32_t>(value, type, out);
        case VT_I8:
            return StoreInteger<std::int64_t>(value, type, out);
        case VT_UI8:
            return StoreInteger<std::uint64_t>(value, type, out);
        case VT_R4:
        case VT_R8: {
            double number = 0;
            HRESULT hr = ToDouble(value, number);
            if (FAILED(hr)) return hr;
            if (type == VT_R4 && std::isfinite(number) &&
                std::fabs(number) > std::numeric_limits<float>::max())
                return DISP_E_OVERFLOW;
            out.vt = type;
            if (type == VT_R4)
                out.fltVal = static_cast<float>(number);
            else
                out.dblVal = number;
            return S_OK;
        }
        case VT_BOOL: {
            bool flag = false;
            HRESULT hr = ToBool(value, flag);
            if (FAILED(hr)) return hr;
            out.vt = VT_BOOL;
            out.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case VT_BSTR: {
            std::u16string text;
            ToText(value, flags, text);
            out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!out.bstrVal) return E_OUTOFMEMORY;
            out.vt = VT_BSTR;
            return S_OK;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

}  // namespace

NB_API HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags,
                                 VARTYPE type) {
    if (!destination || !source) return E_INVALIDARG;
    VARIANT scratch;
    const VARIANT& value = Dereferenced(*source, scratch);
    if (value.vt == type) {
        if (destination == source && !(source->vt & VT_BYREF)) return S_OK;
        return VariantCopy(destination, &value);
    }
    if (value.vt == VT_NULL || type == VT_NULL) return DISP_E_TYPEMISMATCH;
    if ((type == VT_DISPATCH || type == VT_UNKNOWN) &&
        (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN)) {
        nb::Variant object;
        if (!value.punkVal) return DISP_E_TYPEMISMATCH;
        HRESULT hr =
            value.punkVal->QueryInterface(type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                          reinterpret_cast<void**>(&object.punkVal));
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        object.vt = type;
        return VariantCopy(destination, &object);
    }
    Conversion read = Read(value, flags);
    if (FAILED(read.status)) return read.status;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = Store(read.value, type, flags, converted);
    if (FAILED(hr)) return hr;
    // The source may be the destination, so it is cleared only now.
    VariantClear(destination);
    std::memcpy(destination, &converted, sizeof converted);
    return S_OK;
}

NB_API HRESULT VarBstrFromI4(LONG value, LCID, ULONG, BSTR* out) {
    if (!out) return E_INVALIDARG;
    std::u16string text = nb::ToUtf16(std::to_string(value));
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}
