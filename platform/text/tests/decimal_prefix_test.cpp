#include "platform/text/decimal_prefix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

using nb::Blanks;

template <typename Char>
auto Find(std::basic_string_view<Char> text, Blanks blanks = Blanks::kCLocale) {
    return nb::FindDecimalPrefix(text, blanks);
}

TEST(DecimalPrefix, FindsBlanksSignAndDigits) {
    struct Case {
        std::u16string_view text;
        Blanks blanks;
        bool negative;
        std::u16string_view digits;
    };
    const Case cases[] = {
        {u"  -42abc", Blanks::kCLocale, true, u"42"},
        {u"+7", Blanks::kCLocale, false, u"7"},
        {u"\v\f12", Blanks::kCLocale, false, u"12"},
        {u"\v12", Blanks::kSpaceTabLineEnds, false, u""},
        {u" \t\r\n12", Blanks::kSpaceTabLineEnds, false, u"12"},
        {u"4 2", Blanks::kCLocale, false, u"4"},
        {u"+-3", Blanks::kCLocale, false, u""},
        {u"-", Blanks::kCLocale, true, u""},
        {u"", Blanks::kCLocale, false, u""},
        {u"\u0663", Blanks::kCLocale, false, u""},  // only ASCII digits count
    };
    for (const Case& c : cases) {
        const auto found = Find(c.text, c.blanks);
        EXPECT_EQ(found.negative, c.negative) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(found.digits, c.digits) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(DecimalPrefix, ClampsLikeStrtol) {
    struct Case {
        std::string_view text;
        long value;
    };
    const Case cases[] = {
        {"404 Not Found", 404},
        {"-7", -7},
        {"abc", 0},
        {"9223372036854775807", LONG_MAX},
        {"9223372036854775808", LONG_MAX},
        {"-9223372036854775808", LONG_MIN},
        {"-9223372036854775809", LONG_MIN},
        {"99999999999999999999999", LONG_MAX},
        {"-99999999999999999999999", LONG_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nb::ClampedDecimal<long>(Find(c.text)), c.value) << c.text;
    EXPECT_EQ(nb::ClampedDecimal<std::int32_t>(Find(std::string_view("-2147483648"))), INT32_MIN);
    EXPECT_EQ(nb::ClampedDecimal<std::int32_t>(Find(std::string_view("2147483648"))), INT32_MAX);
}

TEST(DecimalPrefix, WrapsLikeStrtoulBeforeItsRangeCheck) {
    struct Case {
        std::u16string_view text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {u"12", 12},
        {u"-1", 0xFFFFFFFF},
        {u"4294967295", 0xFFFFFFFF},
        {u"4294967297", 1},
        {u"-4294967297", 0xFFFFFFFF},
        {u"99999999999999999999999", 0xF67FFFFF},  // modulo 2^32, digit by digit
    };
    for (const Case& c : cases) EXPECT_EQ(nb::WrappedDecimal<std::uint32_t>(Find(c.text)), c.value);
}

}  // namespace
