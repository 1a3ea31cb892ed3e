#include "platform/text/ascii_case.h"

#include <gtest/gtest.h>

namespace {

// Only A-Z fold: the neighbours of the letter ranges, Latin-1 capitals and
// the Kelvin sign (which full folding maps to k) stay themselves.
TEST(AsciiCase, OnlyAsciiLettersFold) {
    EXPECT_EQ(nb::AsciiLowerCase(u"AZaz@[`{09\u00C0\u212A"), u"azaz@[`{09\u00C0\u212A");
    EXPECT_EQ(nb::AsciiLowerCase("Content-Type: TEXT/html\xC3\x80"),
              "content-type: text/html\xC3\x80");
    EXPECT_EQ(nb::AsciiUpperCase("http_accept-language@`{\xC3\xA0"),
              "HTTP_ACCEPT-LANGUAGE@`{\xC3\xA0");
    static_assert(nb::AsciiLower('Q') == 'q' && nb::AsciiLower(u'q') == u'q');
    static_assert(nb::AsciiUpper(u'q') == u'Q' && nb::AsciiUpper(u'\u00E0') == u'\u00E0');
    static_assert(nb::AsciiLower(char16_t{0x130}) == 0x130);
}

TEST(AsciiCase, ComparesAndMatchesPrefixes) {
    struct Case {
        std::u16string_view a;
        std::u16string_view b;
        bool equal;
        bool starts;  // a starts with b
    };
    const Case cases[] = {
        {u"IDispatch", u"idispatch", true, true},
        {u"X-MRS://ui", u"x-mrs", false, true},
        {u"x-mr", u"x-mrs", false, false},
        {u"", u"", true, true},
        {u"\u00C0b", u"\u00E0B", false, false},  // no folding beyond ASCII
        {u"a@", u"A`", false, false},            // @ and ` sit next to the letters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nb::EqualsIgnoringAsciiCase(c.a, c.b), c.equal);
        EXPECT_EQ(nb::EqualsIgnoringAsciiCase(c.b, c.a), c.equal);
        EXPECT_EQ(nb::StartsWithIgnoringAsciiCase(c.a, c.b), c.starts);
    }
    EXPECT_TRUE(
        nb::EqualsIgnoringAsciiCase(std::string_view("--Wait"), std::string_view("--wAIT")));
    EXPECT_FALSE(nb::StartsWithIgnoringAsciiCase(std::string_view("ab"), std::string_view("abc")));
}

}  // namespace
