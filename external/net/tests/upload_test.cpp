// EX_UploadFiles against real HTTP servers on loopback: the exact bytes of
// the request, every report and its values, the answer, and every failure.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <regex>

#include "external/net/tests/net_test_support.h"
#include "platform/automation/tests/test_objects.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

using net_testing::Answer;
using net_testing::Exchange;
using net_testing::HttpAnswer;
using net_testing::LoopbackServer;
using namespace std::string_literals;
namespace fs = std::filesystem;

constexpr LONG kNotSized = 3202;
constexpr LONG kNotSent = 3207;
constexpr LONG kNotOpened = 3208;
constexpr LONG kWriteFailed = 3209;
constexpr LONG kReadFailed = 3211;
constexpr LONG kStopped = 3300;
constexpr LONG kSized = 3301;
constexpr LONG kSending = 3302;
constexpr LONG kSent = 3303;
constexpr LONG kAnswer = 3304;
// More than loopback's socket buffers hold, so a server that does not read
// holds the upload inside this file.
constexpr std::size_t kLargeFileBytes = 16u << 20;

// The values of the nine-value reports, by position.
enum Value : std::size_t {
    kStatus = 1,
    kIndex,
    kCount,
    kPath,
    kSentBytes,
    kTotal,
    kSpeed,
    kAverage,
    kElapsed
};

class UploadTest : public NetTest {
   protected:
    std::vector<Report> Upload(std::initializer_list<TestValue> arguments) {
        return Run("EX_UploadFiles", arguments);
    }

    std::string MakeFile(const std::string& name, std::string_view bytes) {
        const std::string path = m_folder / name;
        WriteFile(path, bytes);
        return path;
    }

    static TestArray Files(std::initializer_list<std::string> paths) {
        TestArray array;
        for (const std::string& path : paths) array.elements.emplace_back(ToUtf16(path));
        return array;
    }

    // The failure callback: nine values, the status first.
    static void ExpectFailure(const std::vector<Report>& reports, LONG status) {
        ASSERT_FALSE(reports.empty());
        const Report& last = reports.back();
        EXPECT_EQ(last.kind, ReportKind::Callback);
        ASSERT_EQ(last.arguments.size(), 9u);
        EXPECT_EQ(Number(last, kStatus), status);
    }
};

class UploadArguments : public UploadTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(UploadArguments, AreRefusedBeforeAnyThread) {
    ExpectRefusedBeforeAnyThread("EX_UploadFiles", u"External::UploadFiles", GetParam());
}

const TestArray kOneFile{{u"/etc/hostname"s}};
constexpr const char16_t* kBadCount = u"Catastrophic: Bad parameters count";
constexpr const char16_t* kType = u"Catastrophic: Type mismatch";
constexpr const char16_t* kEmpty = u"Catastrophic: Empty array: No files to upload";
constexpr const char16_t* kUnreadable = u"Catastrophic: Cannot parse target URL";
constexpr const char16_t* kScheme = u"Catastrophic: Incorrect scheme (only http supported)";

INSTANTIATE_TEST_SUITE_P(
    Checks, UploadArguments,
    ::testing::Values(
        BadCall{"one", {u"http://h/"s}, 2100, kBadCount},
        BadCall{"five", {u"http://h/"s, kOneFile, LONG{200}, true, true}, 2100, kBadCount},
        BadCall{"url integer", {LONG{1}, kOneFile}, 2101, kType},
        BadCall{"files text", {u"http://h/"s, u"/etc/hostname"s}, 2101, kType},
        BadCall{"interval text", {u"http://h/"s, kOneFile, u"200"s}, 2101, kType},
        BadCall{"wait integer", {u"http://h/"s, kOneFile, LONG{200}, LONG{1}}, 2101, kType},
        BadCall{"no files", {u"http://h/"s, TestArray{}}, 3100, kEmpty},
        BadCall{"empty url", {u""s, kOneFile}, 3101, kUnreadable},
        BadCall{"null url", {nullptr, kOneFile}, 3101, kUnreadable},
        BadCall{"no url", {u"upload here"s, kOneFile}, 3101, kUnreadable},
        BadCall{"https", {u"https://h/up"s, kOneFile}, 3101, kScheme},
        BadCall{"ftp", {u"ftp://h/up"s, kOneFile}, 3101, kScheme},
        BadCall{"upper case", {u"HTTP://h/up"s, kOneFile}, 3101, kScheme}));

TEST_F(UploadTest, AnObjectWhoseLengthCannotBeReadIsNoArray) {
    nb::testing::ValueObject object(0);
    VARIANT values[2];  // natural order: the URL first
    values[0].vt = VT_BSTR;
    values[0].bstrVal = SysAllocString(u"http://h/up");
    values[1].vt = VT_DISPATCH;
    values[1].pdispVal = &object;
    DISPPARAMS arguments{values, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const CallFrame f = m_shell.MakeFrame(&arguments, u"onNet", &result, &exception);
    const HRESULT hr = LoadExport("EX_UploadFiles")(
        f.shell_window, f.command_event, f.command_target, f.command_word, f.workers, f.args,
        f.result, f.callback_name, f.browser, f.exception, f.argument_error, f.system);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(exception.wCode, 3100);
    EXPECT_EQ(std::u16string(exception.bstrDescription), u"Catastrophic: Invalid array");
    EXPECT_EQ(m_shell.registrations(), 0);
    SysFreeString(values[0].bstrVal);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

// "--B\r\n" headers "\r\n" bytes "\r\n" for each file, then "--B--\r\n":
// written out here independently of the code under test.
std::string ExpectedBody(
    const std::string& boundary,
    const std::vector<std::tuple<std::string, std::string, std::string>>& parts) {
    std::string body;
    int index = 0;
    for (const auto& [name, type, bytes] : parts) {
        char field[16];
        std::snprintf(field, sizeof field, "file%03d", index++);
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + field +
                "\"; filename=\"" + name + "\"\r\nContent-Type: " + type + "\r\n\r\n" + bytes +
                "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

TEST_F(UploadTest, TheRequestIsExactlyTheDescribedMultipartPost) {
    LoopbackServer server(Answer(200, "thanks"));
    const std::string song = PatternBytes(5000);
    const std::string first = MakeFile("ringtone \xC3\xBC\xE2\x99\xAA.wav", song);
    const std::string second = MakeFile("empty", "");
    const std::vector<Report> reports =
        Upload({ToUtf16(server.Url("/up/load.php?user=7")), Files({first, second})});

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.RequestLine(), "POST /up/load.php?user=7 HTTP/1.0");
    // To the port the URL names, not always 80.
    EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    const std::string content_type = request.Header("Content-Type").value_or("");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(content_type, match,
                                 std::regex("multipart/form-data; boundary=(-{27}nb[0-9a-f]{11})")))
        << content_type;
    const std::string expected = ExpectedBody(
        match[1], {{first, "audio/wav", song}, {second, "application/octet-stream", ""}});
    EXPECT_EQ(request.body, expected);
    EXPECT_EQ(std::regex_replace(request.head, std::regex("Content-Type:"), "").size(),
              request.head.size() - 13)
        << "one content type";
    // The declared size counts bytes, so the non-ASCII name is counted as sent.
    EXPECT_EQ(request.Header("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(request.Header("User-Agent"), "Nimbra HAPF/2.0");
    EXPECT_EQ(request.Header("Referer"), "http://app.nimbra.localhost/");
    EXPECT_EQ(request.Header("Connection"), "Close");
    EXPECT_EQ(request.Header("Pragma"), "no-cache");
    EXPECT_FALSE(request.Header("Accept"));
    EXPECT_FALSE(request.Header("Expect"));

    // 3301 with the size, a start report for each file, 3303 with all of it sent.
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(Number(reports[0], kStatus), kSized);
    EXPECT_EQ(Number(reports[0], kTotal), static_cast<LONG>(expected.size()));
    EXPECT_EQ(Number(reports[0], kCount), 2);
    EXPECT_EQ(Text(reports[0], kPath), u"N/A");
    std::vector<std::u16string> started;
    for (std::size_t k = 1; k + 1 < reports.size(); ++k) {
        EXPECT_EQ(Number(reports[k], kStatus), kSending);
        EXPECT_EQ(Number(reports[k], kTotal), static_cast<LONG>(expected.size()));
        if (started.empty() || Text(reports[k], kPath) != started.back())
            started.push_back(Text(reports[k], kPath));
    }
    EXPECT_EQ(started, (std::vector<std::u16string>{ToUtf16(first), ToUtf16(second)}));
    const Report& last = reports.back();
    EXPECT_EQ(last.kind, ReportKind::Callback);
    EXPECT_EQ(Number(last, kStatus), kSent);
    EXPECT_EQ(Number(last, kIndex), 1);
    EXPECT_EQ(Number(last, kSentBytes), static_cast<LONG>(expected.size()));
}

TEST_F(UploadTest, ANameWithAQuoteCannotBreakThePartHeader) {
    LoopbackServer server(Answer(200, ""));
    const std::string path = MakeFile("say \"hi\".txt", "hi");
    Upload({ToUtf16(server.Url("/")), Files({path})});
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string body = server.Requests().at(0).body;
    const std::string quoted = std::regex_replace(path, std::regex("\""), "%22");
    EXPECT_NE(body.find("filename=\"" + quoted + "\"\r\nContent-Type: text/plain\r\n"),
              std::string::npos)
        << body;
}

struct AnswerCase {
    const char* name;
    std::string body;
    std::u16string text;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class UploadAnswers : public UploadTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(UploadAnswers, AreReportedWhenAskedFor) {
    LoopbackServer server(Answer(200, GetParam().body, "X-Stored: 1\r\n"));
    const std::string path = MakeFile("a.txt", "abc");
    const std::vector<Report> reports =
        Upload({ToUtf16(server.Url("/")), Files({path}), LONG{200}, true});
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(Number(reports[reports.size() - 2], kStatus), kSent);
    const Report& answer = reports.back();
    EXPECT_EQ(answer.kind, ReportKind::Callback);
    ASSERT_EQ(answer.arguments.size(), 3u);
    EXPECT_EQ(Number(answer, 1), kAnswer);
    EXPECT_EQ(Text(answer, 2), ToUtf16("HTTP/1.1 200 OK\r\nContent-Length: " +
                                       std::to_string(GetParam().body.size()) +
                                       "\r\nConnection: close\r\nX-Stored: 1\r\n\r\n"));
    EXPECT_EQ(Text(answer, 3), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, UploadAnswers,
    ::testing::Values(AnswerCase{"utf8", "stored \xE2\x99\xAA", u"stored \u266A"},
                      AnswerCase{"utf16", "\xFF\xFEo\0k\0"s, u"\uFEFFok"},
                      AnswerCase{"empty", "", u""},
                      // One read of 1024 bytes is what is reported.
                      AnswerCase{"long", std::string(5000, 'z'), std::u16string(1024, u'z')}));

TEST_F(UploadTest, WithoutTheFourthArgumentTheLastReportIs3303) {
    LoopbackServer server(Answer(200, std::string(100000, 'a')));
    const std::string path = MakeFile("a.txt", "abc");
    const std::vector<Report> reports = Upload({ToUtf16(server.Url("/")), Files({path})});
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(Number(reports.back(), kStatus), kSent);
    EXPECT_EQ(reports.back().arguments.size(), 9u);
}

TEST_F(UploadTest, SizingFailuresNameThePath) {
    const std::string there = MakeFile("there.txt", "x");
    const std::string missing = m_folder / "missing.txt";
    LoopbackServer server(Answer(200, ""));
    const std::u16string url = ToUtf16(server.Url("/"));
    for (const std::string& failing : {missing, m_folder.path()}) {
        const std::vector<Report> reports = Upload({url, Files({there, failing})});
        ASSERT_EQ(reports.size(), 1u);
        ExpectFailure(reports, kNotSized);
        EXPECT_EQ(Number(reports[0], kCount), 2);
        EXPECT_EQ(Text(reports[0], kPath), ToUtf16(failing));
    }
    // An element that is no text is no path.
    const std::vector<Report> reports = Upload({url, TestArray{{ToUtf16(there), LONG{5}}}});
    ASSERT_EQ(reports.size(), 1u);
    ExpectFailure(reports, kNotSized);
    EXPECT_EQ(Text(reports[0], kPath), u"N/A");
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UploadTest, ARefusedConnectionIs3207AfterTheSizeWasReported) {
    const std::string path = MakeFile("a.txt", "abc");
    const std::vector<Report> reports = Upload(
        {ToUtf16("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/up"), Files({path})});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(Number(reports[0], kStatus), kSized);
    ExpectFailure(reports, kNotSent);
}

TEST_F(UploadTest, AServerThatHangsUpWhileTheBodyIsSentIs3209) {
    LoopbackServer server([](Exchange&) {});  // reads the head and closes
    const std::string path = MakeFile("big.bin", std::string(kLargeFileBytes, 'b'));
    ExpectFailure(Upload({ToUtf16(server.Url("/")), Files({path})}), kWriteFailed);
}

// A server that reads the head, then reads nothing until it is let go.
class HeldServer {
   public:
    HeldServer()
        : m_server([this](Exchange& exchange) {
              while (!m_released && !exchange.Stopping())
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              exchange.DrainBody();
              exchange.Send(HttpAnswer(200, "done"));
          }) {}
    ~HeldServer() { Release(); }
    std::u16string Url() const { return ToUtf16(m_server.Url("/")); }
    bool HasRequest() const { return !m_server.Requests().empty(); }
    void Release() { m_released = true; }

   private:
    std::atomic<bool> m_released{false};
    LoopbackServer m_server;
};

class HeldUploadTest : public UploadTest {
   protected:
    // Starts the upload and returns once it is stuck inside the first file.
    DWORD StartHeld(const TestArray& files) {
        const DWORD thread = Start("EX_UploadFiles", {m_held.Url(), files});
        EXPECT_TRUE(m_shell.PumpUntil([&] { return m_held.HasRequest(); }, 5000));
        m_shell.PumpFor(300);
        EXPECT_FALSE(m_shell.HasFinished(thread));
        return thread;
    }

    HeldServer m_held;
};

TEST_F(HeldUploadTest, AFileGoneWhenItsTurnComesIs3208) {
    const std::string big = MakeFile("big.bin", std::string(kLargeFileBytes, 'b'));
    const std::string small = MakeFile("small.txt", "s");
    const DWORD thread = StartHeld(Files({big, small}));
    fs::remove(small);
    m_held.Release();
    const std::vector<Report> reports = Finish(thread);
    ExpectFailure(reports, kNotOpened);
    EXPECT_EQ(Number(reports.back(), kIndex), 1);
    EXPECT_EQ(Text(reports.back(), kPath), ToUtf16(small));
}

TEST_F(HeldUploadTest, AFileThatShrankWhileSentIs3211) {
    const std::string big = MakeFile("big.bin", std::string(kLargeFileBytes, 'b'));
    const DWORD thread = StartHeld(Files({big}));
    ASSERT_EQ(truncate(big.c_str(), 1 << 20), 0);
    m_held.Release();
    ExpectFailure(Finish(thread), kReadFailed);
}

TEST_F(HeldUploadTest, AStopEndsAnUploadTheServerDoesNotRead) {
    const std::string big = MakeFile("big.bin", std::string(kLargeFileBytes, 'b'));
    const DWORD thread = StartHeld(Files({big}));
    const auto sent = std::chrono::steady_clock::now();
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    const std::vector<Report> reports = Finish(thread, 5000);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
    ExpectStatusCall(reports, kStopped);
}

struct IntervalCase {
    const char* name;
    std::optional<LONG> interval;  // nothing: the argument is left out
    LONG shortest_gap_ms;          // between two timed reports; 0: none may come
};
void PrintTo(const IntervalCase& c, std::ostream* os) { *os << c.name; }

class UploadIntervals : public UploadTest, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(UploadIntervals, SpaceTheTimedReports) {
    // At most 3 MB a second, and more than the socket buffers take (loopback
    // buffers grow to a few MB): the upload takes over a second.
    LoopbackServer server([](Exchange& exchange) {
        exchange.ReadBodySlowly(30000, std::chrono::milliseconds(10));
        exchange.Send(HttpAnswer(200, ""));
    });
    const std::string path = MakeFile("a.bin", std::string(6u << 20, 'a'));
    const std::u16string url = ToUtf16(server.Url("/"));
    const std::vector<Report> reports = GetParam().interval
                                            ? Upload({url, Files({path}), *GetParam().interval})
                                            : Upload({url, Files({path})});
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(Number(reports.back(), kStatus), kSent);
    // reports[1] is the file's start; those after it, until 3303, are timed.
    std::vector<const Report*> timed;
    for (std::size_t k = 2; k + 1 < reports.size(); ++k) timed.push_back(&reports[k]);
    if (GetParam().shortest_gap_ms == 0) {
        EXPECT_TRUE(timed.empty());
        return;
    }
    ASSERT_GE(timed.size(), 3u);
    LONG previous = Number(reports[1], kElapsed);
    for (const Report* report : timed) {
        EXPECT_GE(Number(*report, kElapsed) - previous, GetParam().shortest_gap_ms);
        previous = Number(*report, kElapsed);
        // Both speeds are bytes per millisecond, in every report.
        EXPECT_EQ(Number(*report, kAverage),
                  Number(*report, kSentBytes) / std::max<LONG>(Number(*report, kElapsed), 1));
        EXPECT_LT(Number(*report, kSpeed), 1 << 20);
    }
}

INSTANTIATE_TEST_SUITE_P(Intervals, UploadIntervals,
                         ::testing::Values(IntervalCase{"50 becomes 100", 50, 99},
                                           IntervalCase{"default 200", std::nullopt, 199},
                                           IntervalCase{"negative never", -1, 0}));

}  // namespace
}  // namespace nb::external::testing
