// How answers are read: the header block of the final response and the body
// as text.
#include "external/net/answer_text.h"

#include <gtest/gtest.h>

#include <ostream>

#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

struct TextCase {
    const char* name;
    std::string body;
    std::u16string text;
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class AnswerText : public ::testing::TestWithParam<TextCase> {};

TEST_P(AnswerText, DecodesAsTheMarkSays) {
    EXPECT_EQ(DecodeAnswerText(GetParam().body), GetParam().text);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Bodies, AnswerText,
    ::testing::Values(TextCase{"utf8", "gr\xC3\xBC\xC3\x9F \xE2\x99\xAA", u"gr\u00FC\u00DF \u266A"},
                      TextCase{"empty", "", u""},
                      // The UTF-16 mark stays, as the text always began with it.
                      TextCase{"utf16", "\xFF\xFEh\0i\0\x6A\x26"s, u"\uFEFFhi\u266A"},
                      TextCase{"utf16 mark only", "\xFF\xFE", u"\uFEFF"},
                      TextCase{"utf16 odd end", "\xFF\xFEh\0i"s, u"\uFEFFh\uFFFD"},
                      // Zero bytes are text like any other.
                      TextCase{"zero inside", "a\0b"s, u"a\0b"s},
                      TextCase{"utf16 big-endian mark is no mark", "\xFE\xFF\0h"s,
                               u"\uFFFD\uFFFD\0h"s},
                      TextCase{"malformed utf8", "a\xC3(b", u"a\uFFFD(b"},
                      TextCase{"utf8 mark", "\xEF\xBB\xBFok", u"\uFEFFok"}));

TEST(AnswerHeaders, KeepsOnlyTheFinalResponsesBlock) {
    AnswerHeaders headers;
    for (const char* line : {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 302 Found\r\n",
                             "Location: /b\r\n", "\r\n"}) {
        headers.AddLine(line);
        if (std::string_view(line) == "\r\n") {
            EXPECT_EQ(headers.Complete(), headers.Status() >= 200);
        }
    }
    EXPECT_EQ(headers.Status(), 302);
    EXPECT_EQ(headers.Text(), "HTTP/1.1 302 Found\r\nLocation: /b\r\n\r\n");
    headers.AddLine("HTTP/1.0 404 Not Found\r\n");
    EXPECT_FALSE(headers.Complete());
    headers.AddLine("Server: t\r\n");
    headers.AddLine("\r\n");
    EXPECT_TRUE(headers.Complete());
    EXPECT_EQ(headers.Status(), 404);
    EXPECT_EQ(headers.Text(), "HTTP/1.0 404 Not Found\r\nServer: t\r\n\r\n");
}

TEST(AnswerHeaders, StatusLines) {
    EXPECT_EQ(StatusOfLine("HTTP/1.1 200 OK\r\n"), 200);
    EXPECT_EQ(StatusOfLine("HTTP/2 204\r\n"), 204);
    EXPECT_EQ(StatusOfLine("HTTP/1.1 20x OK\r\n"), 0);
    EXPECT_EQ(StatusOfLine("HTTP/1.1 20"), 0);
    EXPECT_EQ(StatusOfLine("Server: HTTP/1.1 200\r\n"), 0);
}

}  // namespace
}  // namespace nb::external::net
