#include "common/argument_kinds.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// A value of the given tag whose 64 value bits are all set from bits, so a
// read that looks beyond the tag's own width shows.
VARIANT Raw(VARTYPE type, std::uint64_t bits) {
    VARIANT value{};
    value.vt = type;
    value.ullVal = bits;
    return value;
}

constexpr std::uint64_t kHighGarbage = 0x5A5A5A5A'00000000;

struct IntegerCase {
    const char* name;
    VARIANT value;
    LONGLONG expected;
};

TEST(IntegerArgument, ReadsEachTagWithItsOwnExtension) {
    const IntegerCase cases[] = {
        {"I1 lowest", Raw(VT_I1, kHighGarbage | 0xFFFFFF80), -128},
        {"I1 highest", Raw(VT_I1, kHighGarbage | 0x7F), 127},
        {"UI1 highest", Raw(VT_UI1, kHighGarbage | 0xFFFFFFFF), 255},
        {"I2 lowest", Raw(VT_I2, kHighGarbage | 0xFFFF8000), -32768},
        {"UI2 highest", Raw(VT_UI2, kHighGarbage | 0xFFFFFFFF), 65535},
        {"I4 lowest", Raw(VT_I4, kHighGarbage | 0x80000000), -2147483648LL},
        {"I4 highest", Raw(VT_I4, kHighGarbage | 0x7FFFFFFF), 2147483647},
        {"UI4 sign-extended", Raw(VT_UI4, kHighGarbage | 0xFFFFFFFF), -1},
        {"INT zero-extended", Raw(VT_INT, kHighGarbage | 0xFFFFFFFF), 4294967295LL},
        {"UINT zero-extended", Raw(VT_UINT, kHighGarbage | 0x80000000), 2147483648LL},
        {"I8 lowest", Raw(VT_I8, 0x80000000'00000000), std::numeric_limits<LONGLONG>::min()},
        {"I8 both halves", Raw(VT_I8, 0x00000001'00000002), 0x1'00000002LL},
        {"UI8 highest", Raw(VT_UI8, 0xFFFFFFFF'FFFFFFFF), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(NbIsIntegerArgument(c.value));
        EXPECT_EQ(NbReadInteger(c.value), c.expected);
    }
}

TEST(IntegerArgument, ThreeIsAcceptedUnderEveryIntegerTag) {
    for (VARTYPE type :
         {VT_I2, VT_I4, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(NbReadInteger(Raw(type, 3)), 3);
        EXPECT_TRUE(NbHasArgumentKind(Raw(type, 3), NbArgumentKind::Integer));
    }
}

TEST(IntegerArgument, OtherKindsAreTypeMismatches) {
    VARIANT three_and_a_half{};
    three_and_a_half.vt = VT_R8;
    three_and_a_half.dblVal = 3.5;
    for (const VARIANT& value :
         {three_and_a_half, Raw(VT_R4, 3), Raw(VT_EMPTY, 3), Raw(VT_NULL, 0), Raw(VT_CY, 30000),
          Raw(VT_DATE, 3), Raw(VT_BOOL, 0xFFFF), Raw(VT_BSTR, 0), Raw(VT_I4 | VT_BYREF, 0)}) {
        SCOPED_TRACE(value.vt);
        EXPECT_FALSE(NbIsIntegerArgument(value));
        EXPECT_EQ(NbReadInteger(value), std::nullopt);
    }
}

TEST(StringArgument, NullIsAnAbsentTextAndEmptyIsNoString) {
    OLECHAR text[] = u"song";
    VARIANT given = Raw(VT_BSTR, 0);
    given.bstrVal = text;  // read only; never freed
    EXPECT_TRUE(NbIsStringArgument(given));
    EXPECT_EQ(NbReadString(given), text);

    const VARIANT null_bstr = Raw(VT_BSTR, 0);  // a null BSTR is an empty text, not absent
    EXPECT_TRUE(NbIsStringArgument(null_bstr));
    EXPECT_EQ(std::u16string(NbReadString(null_bstr)), u"");

    const VARIANT absent = Raw(VT_NULL, 0);
    EXPECT_TRUE(NbIsStringArgument(absent));
    EXPECT_EQ(NbReadString(absent), nullptr);

    EXPECT_FALSE(NbIsStringArgument(Raw(VT_EMPTY, 0)));
    EXPECT_FALSE(NbIsStringArgument(Raw(VT_I4, 3)));
}

TEST(BooleanArgument, OnlyVariantTrueIsTrue) {
    struct Case {
        VARIANT value;
        bool is_boolean;
        bool read;
    };
    const Case cases[] = {
        {Raw(VT_BOOL, 0xFFFF), true, true},  // VARIANT_TRUE, what scripts pass
        {Raw(VT_BOOL, 0), true, false},
        {Raw(VT_BOOL, 1), true, false},  // not VARIANT_TRUE
        {Raw(VT_I4, 0xFFFFFFFF), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.ullVal);
        EXPECT_EQ(NbIsBooleanArgument(c.value), c.is_boolean);
        EXPECT_EQ(NbReadBoolean(c.value), c.read);
    }
}

TEST(ArgumentKinds, EachTagBelongsToAtMostOneKind) {
    struct Case {
        VARTYPE type;
        int kind;  // index into kinds, or -1 for none
    };
    const NbArgumentKind kinds[] = {NbArgumentKind::Integer, NbArgumentKind::String,
                                    NbArgumentKind::Boolean, NbArgumentKind::Array};
    const Case cases[] = {{VT_I4, 0},   {VT_UINT, 0},     {VT_BSTR, 1},     {VT_NULL, 1},
                          {VT_BOOL, 2}, {VT_DISPATCH, 3}, {VT_UNKNOWN, -1}, {VT_EMPTY, -1},
                          {VT_R8, -1},  {VT_VARIANT, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(NbHasArgumentKind(Raw(c.type, 0), kinds[k]), k == c.kind) << k;
    }
}

}  // namespace
