// EX_RequestURL against real HTTP servers on loopback, with the shell played
// by the double.
#include <sys/utsname.h>

#include <chrono>
#include <ostream>

#include "external/net/tests/net_test_support.h"
#include "external/net/tests/tls_server.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

using net_testing::Answer;
using net_testing::Exchange;
using net_testing::HttpAnswer;
using net_testing::LoopbackServer;
using namespace std::string_literals;

constexpr LONG kBadUrl = 3200;
constexpr LONG kNotStarted = 3205;
constexpr LONG kFailed = 3206;
constexpr LONG kStopped = 3300;
constexpr LONG kFinished = 3303;

class RequestUrlTest : public NetTest {
   protected:
    // The one success callback: status, HTTP status, headers, text.
    Report RunToAnswer(std::initializer_list<TestValue> arguments) {
        const std::vector<Report> reports = Run("EX_RequestURL", arguments);
        EXPECT_EQ(reports.size(), 1u);
        if (reports.empty()) return {};
        EXPECT_EQ(reports[0].kind, ReportKind::Callback);
        EXPECT_EQ(reports[0].arguments.size(), 4u);
        EXPECT_EQ(Number(reports[0], 1), kFinished);
        return reports[0];
    }
};

std::string SystemAgent() {
    utsname names{};
    uname(&names);
    return std::string("Mozilla/5.0 (X11; Linux ") + names.machine + ")";
}

class RequestUrlArguments : public RequestUrlTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(RequestUrlArguments, AreRefusedBeforeAnyThread) {
    ExpectRefusedBeforeAnyThread("EX_RequestURL", u"External::RequestURL", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RequestUrlArguments,
    ::testing::Values(BadCall{"none", {}, 2100},
                      BadCall{"four", {u"http://a/"s, u""s, u""s, u""s}, 2100},
                      BadCall{"url integer", {LONG{1}}, 2101},
                      BadCall{"post data boolean", {u"http://a/"s, true}, 2101},
                      BadCall{"suffix array", {u"http://a/"s, nullptr, TestArray{}}, 2101}));

TEST_F(RequestUrlTest, OneArgumentIsAGetWithTheSystemAgentAndASpace) {
    LoopbackServer server(Answer(200, "hello", "X-Test: yes\r\n"));
    const Report answer = RunToAnswer({ToUtf16(server.Url("/page?q=1"))});
    EXPECT_EQ(Number(answer, 2), 200);
    EXPECT_EQ(Text(answer, 3),
              u"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\nX-Test: yes\r\n\r\n");
    EXPECT_EQ(Text(answer, 4), u"hello");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "GET /page?q=1 HTTP/1.1");
    EXPECT_NE(requests[0].head.find("\r\nUser-Agent: " + SystemAgent() + " \r\n"),
              std::string::npos)
        << requests[0].head;
    EXPECT_FALSE(requests[0].Header("Content-Type"));
    EXPECT_TRUE(requests[0].body.empty());
}

TEST_F(RequestUrlTest, PostDataIsSentAsUtf8FormWithTheAgentSuffix) {
    LoopbackServer server(Answer(200, "ok"));
    RunToAnswer({ToUtf16(server.Url("/form")), u"a=1&b=2&n=\u00e4\u266a"s, u"Ringtones/2.1"s});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /form HTTP/1.1");
    EXPECT_EQ(requests[0].body, "a=1&b=2&n=\xC3\xA4\xE2\x99\xAA");
    EXPECT_EQ(requests[0].Header("Content-Type"),
              "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_EQ(requests[0].Header("Content-Length"), "15");
    EXPECT_EQ(requests[0].Header("User-Agent"), SystemAgent() + " Ringtones/2.1");
    EXPECT_FALSE(requests[0].Header("Expect"));
}

TEST_F(RequestUrlTest, EmptyPostDataIsAGet) {
    LoopbackServer server(Answer(200, "ok"));
    RunToAnswer({ToUtf16(server.Url("/")), u""s, nullptr});
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].RequestLine(), "GET / HTTP/1.1");
}

struct AnswerCase {
    const char* name;
    int status;
    std::string body;
    std::u16string text;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class RequestUrlAnswers : public RequestUrlTest,
                          public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(RequestUrlAnswers, ReachTheCallbackWithTheirStatus) {
    LoopbackServer server(Answer(GetParam().status, GetParam().body));
    const Report answer = RunToAnswer({ToUtf16(server.Url("/x"))});
    EXPECT_EQ(Number(answer, 2), GetParam().status);
    EXPECT_EQ(Text(answer, 4), GetParam().text);
}

std::string LongText() {
    std::string text;
    for (int line = 0; text.size() < (1 << 20); ++line)
        text += "line " + std::to_string(line) + "\n";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RequestUrlAnswers,
    ::testing::Values(AnswerCase{"utf8", 200, "gr\xC3\xBC\xC3\x9F \xE2\x99\xAA",
                                 u"gr\u00FC\u00DF \u266A"},
                      AnswerCase{"utf16", 200, "\xFF\xFEh\0i\0\x6A\x26"s, u"\uFEFFhi\u266A"},
                      AnswerCase{"one megabyte", 200, LongText(), ToUtf16(LongText())},
                      AnswerCase{"not found", 404, "no such page", u"no such page"},
                      AnswerCase{"server error", 500, "", u""}));

// /a sets a cookie and sends the POST on to /b, which sends it on to /c as
// a GET, as browsers do.
void Redirects(Exchange& exchange) {
    exchange.ReadBody();
    const std::string line = exchange.request().RequestLine();
    if (line.find(" /a ") != std::string::npos)
        exchange.Send(HttpAnswer(307, "", "Location: /b\r\nSet-Cookie: s=1; Path=/\r\n"));
    else if (line.find(" /b ") != std::string::npos)
        exchange.Send(HttpAnswer(303, "", "Location: /c\r\n"));
    else
        exchange.Send(HttpAnswer(200, "arrived"));
}

TEST_F(RequestUrlTest, RedirectsAreFollowedAndOnlyTheLastAnswerIsReported) {
    LoopbackServer server(Redirects);
    const Report answer = RunToAnswer({ToUtf16(server.Url("/a")), u"x=1"s});
    EXPECT_EQ(Number(answer, 2), 200);
    EXPECT_TRUE(Text(answer, 3).starts_with(u"HTTP/1.1 200 OK\r\n")) << ToUtf8(Text(answer, 3));
    EXPECT_EQ(Text(answer, 4), u"arrived");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /a HTTP/1.1");
    EXPECT_EQ(requests[1].RequestLine(), "POST /b HTTP/1.1");
    EXPECT_EQ(requests[1].body, "x=1");
    EXPECT_EQ(requests[1].Header("Cookie"), "s=1");
    EXPECT_EQ(requests[2].RequestLine(), "GET /c HTTP/1.1");
}

TEST_F(RequestUrlTest, TheProxyComesFromTheEnvironment) {
    LoopbackServer proxy(Answer(200, "via proxy"));
    ScopedVariable variable("http_proxy", proxy.Url());
    const Report answer = RunToAnswer({u"http://nimbra.invalid/through"s});
    EXPECT_EQ(Text(answer, 4), u"via proxy");
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].RequestLine(), "GET http://nimbra.invalid/through HTTP/1.1");
}

// Sends the head and part of an announced body, then closes.
void BreaksOff(Exchange& exchange) {
    exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part");
}

struct FailureCase {
    const char* name;
    std::u16string url;  // "{}" is the server's address
    LONG status;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RequestUrlFailures : public RequestUrlTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RequestUrlFailures, AreOneStatusCall) {
    LoopbackServer server(BreaksOff);
    std::u16string url = GetParam().url;
    if (const std::size_t at = url.find(u"{}"); at != std::u16string::npos)
        url.replace(at, 2, ToUtf16(server.Url("")));
    if (const std::size_t at = url.find(u"{closed}"); at != std::u16string::npos)
        url.replace(at, 8, ToUtf16(std::to_string(ClosedPort())));
    const std::vector<Report> reports = Run("EX_RequestURL", {url});
    ASSERT_EQ(reports.size(), 1u);
    ExpectStatusCall(reports, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RequestUrlFailures,
    ::testing::Values(FailureCase{"closes mid-answer", u"{}/part", kFailed},
                      FailureCase{"connection refused", u"http://127.0.0.1:{closed}/", kFailed},
                      FailureCase{"unknown host", u"http://nimbra.invalid/", kFailed},
                      FailureCase{"empty", u"", kBadUrl},
                      FailureCase{"no url", u"not a url", kBadUrl},
                      FailureCase{"no host", u"http://", kBadUrl},
                      FailureCase{"ftp", u"ftp://127.0.0.1/file", kNotStarted},
                      FailureCase{"file", u"file:///etc/hostname", kNotStarted},
                      FailureCase{"local pages", u"x-mrs://ui/main.html", kNotStarted}));

TEST_F(RequestUrlTest, ANullUrlIsNoUrl) {
    ExpectStatusCall(Run("EX_RequestURL", {nullptr}), kBadUrl);
}

TEST_F(RequestUrlTest, HttpsChecksTheCertificateAgainstTheSystemStore) {
    TlsServer server(m_folder.path());
    if (!server.Running()) GTEST_SKIP() << "openssl or python3 missing";
    ExpectStatusCall(Run("EX_RequestURL", {ToUtf16(server.Url())}), kFailed);
    EXPECT_TRUE(server.SawHandshake());
}

// The head and a little of a body that never comes.
void Stalls(Exchange& exchange) {
    if (exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst bytes"))
        exchange.WaitForClientToLeave();
}

TEST_F(RequestUrlTest, AStopEndsAStalledRequestWithinTheCheckInterval) {
    LoopbackServer server(Stalls);
    const DWORD thread = Start("EX_RequestURL", {ToUtf16(server.Url("/slow"))});
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !server.Requests().empty(); }, 5000));
    m_shell.PumpFor(300);
    ASSERT_FALSE(m_shell.HasFinished(thread));
    const auto sent = std::chrono::steady_clock::now();
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 1u);
    ExpectStatusCall(reports, kStopped);
}

}  // namespace
}  // namespace nb::external::testing
