#include "platform/text/code_pages.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string_view utf8;
    std::u16string_view utf16;
};

TEST(CodePages, RoundTripsEveryPlane) {
    const Case cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"caf\xC3\xA9", u"caf\u00e9"},
        {"\xE2\x82\xAC", u"\u20ac"},
        {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
        {std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nb::ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(nb::ToUtf8(c.utf16), c.utf8);
    }
}

TEST(CodePages, ReplacesMalformedInput) {
    EXPECT_EQ(nb::ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(nb::ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(nb::ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(nb::ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");            // cut short
    EXPECT_EQ(nb::ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePages, WindowsCallsMeasureAndRefuseShortBuffers) {
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
    char16_t wide[3];
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "h\xC3\xA9", -1, wide, 2), 0);
    ASSERT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "h\xC3\xA9", -1, wide, 3), 3);
    EXPECT_EQ(std::u16string_view(wide), u"h\u00e9");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00e9", -1, nullptr, 0, nullptr, nullptr), 4);
    char narrow[4];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00e9", -1, narrow, 4, nullptr, nullptr), 4);
    EXPECT_STREQ(narrow, "h\xC3\xA9");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 3), 0);
}

}  // namespace
