#include "common/variant_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(BstrView, TakesTheLengthPrefixNotTheFirstZero) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(NbBstrView(text), u"a\0b"s);
    SysFreeString(text);
    EXPECT_EQ(NbBstrView(nullptr), u"");
}

TEST(VariantText, ReadsTextAndConvertsOtherValues) {
    struct Case {
        const char* name;
        VARIANT value;
        std::optional<std::u16string> expected;
    };
    VARIANT empty{};
    VARIANT null{};
    null.vt = VT_NULL;
    VARIANT number{};
    number.vt = VT_I4;
    number.lVal = -42;
    VARIANT flag{};
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    VARIANT null_text{};
    null_text.vt = VT_BSTR;
    nb::Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(u"x\0y", 3);
    const Case cases[] = {
        {"text with a zero", text, u"x\0y"s},
        {"null BSTR", null_text, u""},
        {"empty", empty, u""},
        {"integer", number, u"-42"},
        {"boolean", flag, u"-1"},
        {"null", null, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(NbVariantText(c.value), c.expected) << c.name;
}

}  // namespace
