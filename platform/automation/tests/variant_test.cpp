#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/automation/automation.h"
#include "platform/automation/tests/test_objects.h"

namespace {

using nb::testing::ValueObject;

TEST(Bstr, CarriesByteCountAndTerminator) {
    nb::Bstr text(u"h\u00e9llo");
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<char*>(text.Get()) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(SysStringLen(text.Get()), 5u);
    EXPECT_EQ(SysStringByteLen(text.Get()), 10u);
    EXPECT_EQ(text.Get()[5], u'\0');
    EXPECT_EQ(text.View(), u"h\u00e9llo");
}

TEST(Bstr, NullIsAnEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    nb::Bstr zeros = nb::Bstr::Attach(SysAllocStringLen(nullptr, 3));
    EXPECT_EQ(SysStringLen(zeros.Get()), 3u);
    EXPECT_EQ(zeros.Get()[0], u'\0');
    nb::Bstr odd = nb::Bstr::Attach(SysAllocStringByteLen("abc", 3));
    EXPECT_EQ(SysStringByteLen(odd.Get()), 3u);
    EXPECT_EQ(SysStringLen(odd.Get()), 1u);
}

TEST(Variant, CopyDuplicatesStringsAndReferencesObjects) {
    nb::Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"abc");
    nb::Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(std::u16string_view(copy.bstrVal), u"abc");

    ValueObject object(7);
    {
        nb::Variant held;
        held.vt = VT_DISPATCH;
        held.pdispVal = &object;
        object.AddRef();
        ASSERT_EQ(VariantCopy(&copy, &held), S_OK);  // also frees the string copy
        EXPECT_EQ(object.references(), 3u);
    }
    EXPECT_EQ(object.references(), 2u);
    ASSERT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_EQ(object.references(), 1u);
}

TEST(Variant, RefusesTagsOutsideTheModel) {
    for (VARTYPE tag : {VARTYPE(VT_VARIANT), VARTYPE(15), VARTYPE(VT_ARRAY | VT_I4),
                        VARTYPE(VT_BYREF | VT_EMPTY)}) {
        VARIANT odd;
        VariantInit(&odd);
        odd.vt = tag;
        nb::Variant copy;
        EXPECT_EQ(VariantCopy(&copy, &odd), DISP_E_BADVARTYPE) << tag;
        EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE) << tag;
        EXPECT_EQ(odd.vt, tag);
    }
}

VARIANT Make(VARTYPE type, double number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    switch (type) {
        case VT_I1:
            value.cVal = static_cast<char>(number);
            break;
        case VT_UI1:
            value.bVal = static_cast<BYTE>(number);
            break;
        case VT_I2:
            value.iVal = static_cast<SHORT>(number);
            break;
        case VT_UI2:
            value.uiVal = static_cast<USHORT>(number);
            break;
        case VT_I4:
        case VT_INT:
            value.lVal = static_cast<LONG>(number);
            break;
        case VT_UI4:
        case VT_UINT:
            value.ulVal = static_cast<ULONG>(number);
            break;
        case VT_I8:
            value.llVal = static_cast<LONGLONG>(number);
            break;
        case VT_UI8:
            value.ullVal = static_cast<ULONGLONG>(number);
            break;
        case VT_R4:
            value.fltVal = static_cast<float>(number);
            break;
        case VT_R8:
            value.dblVal = number;
            break;
        case VT_BOOL:
            value.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            break;
    }
    return value;
}

struct ToI4Case {
    VARIANT source;
    HRESULT status;
    LONG value;
};

TEST(ChangeType, ToI4) {
    nb::Bstr number(u" 42 "), fraction(u"2.5"), word(u"x1"), huge(u"3000000000");
    auto text = [](const nb::Bstr& bstr) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = bstr.Get();
        return value;
    };
    const ToI4Case cases[] = {
        {Make(VT_I1, -5), S_OK, -5},
        {Make(VT_UI1, 200), S_OK, 200},
        {Make(VT_UI4, 4294967295.0), DISP_E_OVERFLOW, 0},
        {Make(VT_I8, -2147483648.0), S_OK, -2147483647 - 1},
        {Make(VT_UI8, 2147483648.0), DISP_E_OVERFLOW, 0},
        {Make(VT_R8, 2.5), S_OK, 2},  // half to even
        {Make(VT_R8, 3.5), S_OK, 4},
        {Make(VT_R8, -2.5), S_OK, -2},
        {Make(VT_R8, 1e12), DISP_E_OVERFLOW, 0},
        {Make(VT_R8, NAN), DISP_E_OVERFLOW, 0},
        {Make(VT_R4, 7.25), S_OK, 7},
        {Make(VT_BOOL, 1), S_OK, -1},
        {Make(VT_EMPTY, 0), S_OK, 0},
        {Make(VT_NULL, 0), DISP_E_TYPEMISMATCH, 0},
        {text(number), S_OK, 42},
        {text(fraction), S_OK, 2},
        {text(word), DISP_E_TYPEMISMATCH, 0},
        {text(huge), DISP_E_OVERFLOW, 0},
    };
    for (const ToI4Case& c : cases) {
        VARIANT out;
        VariantInit(&out);
        HRESULT hr = VariantChangeType(&out, &c.source, 0, VT_I4);
        EXPECT_EQ(hr, c.status) << "from tag " << c.source.vt;
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(out.vt, VT_I4);
            EXPECT_EQ(out.lVal, c.value) << "from tag " << c.source.vt;
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY);
        }
    }
}

VARIANT MakeLargestUi8() {
    VARIANT value = Make(VT_UI8, 0);
    value.ullVal = ~0ull;
    return value;
}

TEST(ChangeType, ToText) {
    struct Case {
        VARIANT source;
        USHORT flags;
        std::u16string_view text;
    };
    const Case cases[] = {
        {Make(VT_I4, -17), 0, u"-17"},
        {MakeLargestUi8(), 0, u"18446744073709551615"},
        {Make(VT_R8, 2.5), 0, u"2.5"},
        {Make(VT_R8, 0.1), 0, u"0.1"},
        {Make(VT_R8, 1e20), 0, u"1E+20"},
        {Make(VT_BOOL, 1), 0, u"-1"},
        {Make(VT_BOOL, 1), VARIANT_ALPHABOOL, u"True"},
        {Make(VT_BOOL, 0), VARIANT_ALPHABOOL, u"False"},
        {Make(VT_EMPTY, 0), 0, u""},
    };
    for (const Case& c : cases) {
        nb::Variant out;
        ASSERT_EQ(VariantChangeType(&out, &c.source, c.flags, VT_BSTR), S_OK);
        ASSERT_EQ(out.vt, VT_BSTR);
        EXPECT_EQ(std::u16string_view(out.bstrVal, SysStringLen(out.bstrVal)), c.text);
    }
}

TEST(ChangeType, InPlaceFreesTheOldString) {
    nb::Variant value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"123");
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_I4), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 123);
}

TEST(ChangeType, FollowsReferencesAndValueProperties) {
    LONG target = 99;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_I4 | VT_BYREF;
    reference.plVal = &target;
    nb::Variant out;
    ASSERT_EQ(VariantChangeType(&out, &reference, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 99.0);

    ValueObject object(5);
    VARIANT held;
    VariantInit(&held);
    held.vt = VT_DISPATCH;
    held.pdispVal = &object;
    ASSERT_EQ(VariantChangeType(&out, &held, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 5);
    EXPECT_EQ(VariantChangeType(&out, &held, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object.references(), 1u);
}

TEST(ChangeType, ToBoolean) {
    nb::Bstr yes(u"TRUE"), no(u"false"), zero(u"0");
    for (auto [text, expected] :
         {std::pair{yes.Get(), VARIANT_TRUE}, std::pair{no.Get(), VARIANT_FALSE},
          std::pair{zero.Get(), VARIANT_FALSE}}) {
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = text;
        nb::Variant out;
        ASSERT_EQ(VariantChangeType(&out, &source, 0, VT_BOOL), S_OK);
        EXPECT_EQ(out.boolVal, expected);
    }
    VARIANT number = Make(VT_R8, 0.5);
    nb::Variant out;
    ASSERT_EQ(VariantChangeType(&out, &number, 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

TEST(VarBstrFromI4, FormatsDecimal) {
    BSTR text = nullptr;
    ASSERT_EQ(VarBstrFromI4(-2147483647 - 1, LOCALE_SYSTEM_DEFAULT, 0, &text), S_OK);
    EXPECT_EQ(std::u16string_view(text), u"-2147483648");
    SysFreeString(text);
}

}  // namespace
