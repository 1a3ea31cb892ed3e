#include "common/wide_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "platform/text/format.h"

namespace {

// Formats with the largest capacity NB_SPRINTF takes; a refusal shows as
// "<refused>".
template <typename... Arguments>
std::u16string Sprintf(LPCWSTR format, Arguments... arguments) {
    WCHAR buffer[NB_SPRINTF_MAX_CAPACITY];
    const int length = NB_SPRINTF(buffer, NB_SPRINTF_MAX_CAPACITY, format, arguments...);
    if (length == 0 && buffer[0] == 0) return u"<refused>";
    EXPECT_EQ(static_cast<std::size_t>(length), std::u16string(buffer).size());
    return buffer;
}

struct FormatCase {
    std::u16string formatted;
    std::u16string expected;
};

TEST(Sprintf, FollowsTheWsprintfRules) {
    const FormatCase cases[] = {
        {Sprintf(u"%d|%i", -5, INT_MIN), u"-5|-2147483648"},
        {Sprintf(u"%u", 4294967295u), u"4294967295"},
        {Sprintf(u"%x %X", 255, 0xABCDEFu), u"ff ABCDEF"},
        {Sprintf(u"%#x %#X %#x", 255, 255, 0), u"0xff 0XFF 0"},
        {Sprintf(u"%08X|%#010x", 0xBEEFu, 255), u"0000BEEF|0x000000ff"},
        {Sprintf(u"[%5d][%-5d][%05d]", 42, 42, -42), u"[   42][42   ][-0042]"},
        {Sprintf(u"%.4d|%.0d|%6.3d", 7, 0, -7), u"0007|0|  -007"},
        {Sprintf(u"%hd %hu", 65535, 65536 + 7), u"-1 7"},
        {Sprintf(u"%ld %lu %lx", LONG{-7}, DWORD{4000000000u}, DWORD{0xCAFE}),
         u"-7 4000000000 cafe"},
        {Sprintf(u"%I64d %I64u", INT64_MIN, UINT64_MAX),
         u"-9223372036854775808 18446744073709551615"},
        {Sprintf(u"%I64X %Ix", 0x123456789ABCDEF0ULL, std::uintptr_t{0xABC}),
         u"123456789ABCDEF0 abc"},
        {Sprintf(u"%p", reinterpret_cast<void*>(0x1234)), u"0000000000001234"},
        {Sprintf(u"%c%C%hc%lc%wc", u'W', 'n', 'h', u'\u00E9', u'\u20AC'), u"Wnh\u00E9\u20AC"},
        {Sprintf(u"[%c][%3c]", 0, u'x'), u"[][  x]"},
        {Sprintf(u"%s/%S/%hs/%ls/%ws", u"wide", "narrow", "h", u"l", u"w"), u"wide/narrow/h/l/w"},
        {Sprintf(u"%S", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"), u"\u00E9t\u00E9 \u20AC"},
        {Sprintf(u"[%.3s][%6s][%-6s][%.2S]", u"abcdef", u"ab", u"ab", "xyz"),
         u"[abc][    ab][ab    ][xy]"},
        {Sprintf(u"%s %S", static_cast<LPCWSTR>(nullptr), static_cast<const char*>(nullptr)),
         u"(null) (null)"},
        {Sprintf(u"100%% %q %"), u"100% q "},
        {Sprintf(u"%s=%d (%#x)", u"key", 10, 10), u"key=10 (0xa)"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.formatted, c.expected);
}

TEST(Sprintf, RefusesCapacitiesAndResultsBeyondTheLimits) {
    struct Case {
        const char* name;
        int capacity;
        LPCWSTR format;
        int expected;
    };
    const Case cases[] = {
        {"511-character buffer, 510 characters", 511, u"%510d", 510},
        {"511 characters need 512 units", 511, u"%511d", 0},
        {"512 characters", 511, u"%512d", 0},
        {"512-character buffer", 512, u"%d", 0},
        {"exactly fits", 6, u"%5d", 5},
        {"one short", 5, u"%5d", 0},
        {"no room at all", 0, u"%d", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string buffer(600, u'#');
        EXPECT_EQ(NB_SPRINTF(buffer.data(), c.capacity, c.format, 7), c.expected);
        if (c.expected > 0) {
            EXPECT_EQ(buffer[c.expected - 1], u'7');
            EXPECT_EQ(buffer[c.expected], 0);
        }
        if (c.capacity > NB_SPRINTF_MAX_CAPACITY || c.capacity < 1) {
            EXPECT_EQ(buffer[0], u'#');  // nothing written
        }
    }
    EXPECT_EQ(NB_SPRINTF(nullptr, 10, u"%d", 7), 0);
}

TEST(Sprintf, TheFormatterStopsWritingAtTheCeilingButCountsEverything) {
    std::u16string buffer(1000, u'#');
    EXPECT_EQ(NbFormatText(buffer.data(), 1000, u"%600d", 7), 600);
    EXPECT_EQ(buffer[NB_FORMAT_CEILING_CHARS - 2], u' ');
    EXPECT_EQ(buffer[NB_FORMAT_CEILING_CHARS - 1], 0);
    EXPECT_EQ(buffer[NB_FORMAT_CEILING_CHARS], u'#');
}

TEST(TextConversion, ConvertsBothWaysAndRefusesWhatCannotBeDone) {
    WCHAR wide[16];
    EXPECT_EQ(NB_TO_WIDE(wide, "h\xC3\xA9 \xE2\x82\xAC", 16, CP_THREAD_ACP), wide);
    EXPECT_EQ(std::u16string(wide), u"h\u00E9 \u20AC");
    EXPECT_EQ(NB_TO_WIDE(wide, "too long", 4, CP_THREAD_ACP), nullptr);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(NB_TO_WIDE(wide, nullptr, 16, CP_THREAD_ACP), nullptr);
    EXPECT_EQ(NB_TO_WIDE(nullptr, "x", 16, CP_THREAD_ACP), nullptr);

    char narrow[16];
    EXPECT_EQ(NB_TO_NARROW(narrow, u"h\u00E9 \u20AC", 16, CP_THREAD_ACP), narrow);
    EXPECT_EQ(std::string(narrow), "h\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(NB_TO_NARROW(narrow, u"\u20AC\u20AC", 6, CP_THREAD_ACP), nullptr);  // needs 7
    EXPECT_EQ(narrow[0], 0);
    EXPECT_EQ(NB_TO_NARROW(narrow, nullptr, 16, CP_THREAD_ACP), nullptr);
    EXPECT_EQ(NB_TO_NARROW(nullptr, u"x", 16, CP_THREAD_ACP), nullptr);
}

}  // namespace
