// EX_DownloadToFile against real HTTP servers on loopback: the file arrives
// bit for bit, and a download that fails or is stopped leaves the
// destination as it was and nothing half-written anywhere.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <ostream>

#include "external/net/tests/net_test_support.h"
#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"

namespace nb::external::testing {
namespace {

using net_testing::Answer;
using net_testing::Exchange;
using net_testing::HttpAnswer;
using net_testing::LoopbackServer;
using namespace std::string_literals;
namespace fs = std::filesystem;

constexpr LONG kFailed = 3300;
constexpr LONG kNotMoved = 3301;
constexpr LONG kDone = 3302;
constexpr std::size_t kFileBytes = 1 << 20;

class DownloadTest : public NetTest {
   protected:
    LONG Download(const std::string& url, const std::string& destination) {
        const std::vector<Report> reports =
            Run("EX_DownloadToFile", {ToUtf16(url), ToUtf16(destination)});
        EXPECT_EQ(reports.size(), 1u);
        if (reports.empty() || reports[0].kind != ReportKind::Notify) return 0;
        return static_cast<LONG>(reports[0].arguments.at(0).number);
    }

    // The names in a folder, its entries folder and hidden files included.
    static std::vector<std::string> NamesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) names.push_back(entry.path().lexically_relative(folder));
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string m_bytes = PatternBytes(kFileBytes);
};

class DownloadArguments : public DownloadTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(DownloadArguments, AreRefusedBeforeAnyThread) {
    ExpectRefusedBeforeAnyThread("EX_DownloadToFile", u"External::DownloadToFile", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, DownloadArguments,
    ::testing::Values(BadCall{"one", {u"http://a/"s}, 2100},
                      BadCall{"three", {u"http://a/"s, u"/tmp/x"s, u""s}, 2100},
                      BadCall{"destination integer", {u"http://a/"s, LONG{3}}, 2101},
                      BadCall{"url boolean", {false, u"/tmp/x"s}, 2101}));

TEST_F(DownloadTest, TheFileArrivesBitForBitAsANewFile) {
    LoopbackServer server(Answer(200, m_bytes));
    const std::string destination = m_folder / "song.mp3";
    EXPECT_EQ(Download(server.Url("/files/song.mp3?v=2"), destination), kDone);
    EXPECT_EQ(ReadFile(destination), m_bytes);
    // Permissions as any new file gets, not the cache's private ones.
    const mode_t mask = umask(0);
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(destination.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    // Nothing is left behind in the cache.
    EXPECT_TRUE(NamesIn(m_cache.path()).empty());
}

TEST_F(DownloadTest, AnExistingDestinationIsReplaced) {
    LoopbackServer server(Answer(200, "new contents"));
    const std::string destination = m_folder / "kept.txt";
    WriteFile(destination, "old contents, longer than the new ones");
    EXPECT_EQ(Download(server.Url("/kept.txt"), destination), kDone);
    EXPECT_EQ(ReadFile(destination), "new contents");
}

TEST_F(DownloadTest, RedirectsAreFollowed) {
    LoopbackServer server([this](Exchange& exchange) {
        if (exchange.request().RequestLine().find(" /old ") != std::string::npos)
            exchange.Send(HttpAnswer(301, "", "Location: /new\r\n"));
        else
            exchange.Send(HttpAnswer(200, m_bytes));
    });
    const std::string destination = m_folder / "moved";
    EXPECT_EQ(Download(server.Url("/old"), destination), kDone);
    EXPECT_EQ(ReadFile(destination), m_bytes);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(DownloadTest, ADestinationThatCannotBeWrittenKeepsTheFileInTheCache) {
    LoopbackServer server(Answer(200, m_bytes));
    const std::string url = server.Url("/a.wav");
    EXPECT_EQ(Download(url, m_folder / "no/such/folder/a.wav"), kNotMoved);
    const std::optional<UrlCacheEntry> entry = FindUrlCacheEntry(ToUtf16(url));
    ASSERT_TRUE(entry);
    EXPECT_TRUE(ToUtf8(entry->local_file).ends_with(".wav"));
    EXPECT_EQ(ReadFile(ToUtf8(entry->local_file)), m_bytes);
    EXPECT_TRUE(entry->header_info.starts_with(u"HTTP/1.1 200 OK\r\n"));
    // A folder in the destination's place is refused the same way.
    EXPECT_EQ(Download(url, m_folder.path()), kNotMoved);
}

TEST_F(DownloadTest, AcrossFileSystemsTheFileIsCopiedIntoPlace) {
    struct stat shm {
    }, folder{};
    if (stat("/dev/shm", &shm) != 0 || stat(m_folder.path().c_str(), &folder) != 0 ||
        shm.st_dev == folder.st_dev)
        GTEST_SKIP() << "no second file system";
    std::string pattern = "/dev/shm/nbnet-cache.XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern.data()));
    NbSetUrlCacheDirectory(pattern.c_str());
    LoopbackServer server(Answer(200, m_bytes));
    const std::string destination = m_folder / "copied";
    WriteFile(destination, "old");
    EXPECT_EQ(Download(server.Url("/x"), destination), kDone);
    EXPECT_EQ(ReadFile(destination), m_bytes);
    EXPECT_EQ(NamesIn(m_folder.path()), std::vector<std::string>{"copied"});
    EXPECT_TRUE(NamesIn(pattern).empty());
    fs::remove_all(pattern);
}

// Sends the head and part of an announced body, then closes.
void BreaksOff(Exchange& exchange) {
    exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part");
}

struct FailureCase {
    const char* name;
    std::function<void(Exchange&)> responder;
    std::string path;  // "" asks a port where nothing listens
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class DownloadFailures : public DownloadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailures, LeaveTheDestinationAsItWas) {
    LoopbackServer server(GetParam().responder);
    const std::string url = GetParam().path.empty()
                                ? "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"
                                : server.Url(GetParam().path);
    const std::string destination = m_folder / "precious.wav";
    WriteFile(destination, "the only copy");
    EXPECT_EQ(Download(url, destination), kFailed);
    EXPECT_EQ(ReadFile(destination), "the only copy");
    EXPECT_EQ(NamesIn(m_folder.path()), std::vector<std::string>{"precious.wav"});
    EXPECT_TRUE(NamesIn(m_cache.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, DownloadFailures,
                         ::testing::Values(FailureCase{"not found", Answer(404, "no such file"),
                                                       "/gone"},
                                           FailureCase{"server error", Answer(500, "broken"), "/x"},
                                           FailureCase{"closes mid-answer", BreaksOff, "/x"},
                                           FailureCase{"connection refused", BreaksOff, ""}));

TEST_F(DownloadTest, UrlsThatNameNoWebResourceFail) {
    const std::string destination = m_folder / "x";
    for (const char* url : {"", "not a url", "file:///etc/hostname", "ftp://127.0.0.1/x"}) {
        EXPECT_EQ(Download(url, destination), kFailed) << url;
        EXPECT_FALSE(fs::exists(destination)) << url;
    }
}

// A body that keeps coming, slowly, until the client leaves.
void Endless(Exchange& exchange) {
    if (!exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n")) return;
    while (exchange.Send(std::string(100, 'x')))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST_F(DownloadTest, AStopEndsTheDownloadAndLeavesTheDestination) {
    LoopbackServer server(Endless);
    const std::string destination = m_folder / "precious.wav";
    WriteFile(destination, "the only copy");
    const DWORD thread =
        Start("EX_DownloadToFile", {ToUtf16(server.Url("/")), ToUtf16(destination)});
    m_shell.PumpFor(400);
    ASSERT_FALSE(m_shell.HasFinished(thread));
    const auto sent = std::chrono::steady_clock::now();
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    const std::vector<Report> reports = Finish(thread, 5000);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
    ASSERT_EQ(reports.size(), 1u);
    ExpectStatusCall(reports, kFailed);
    EXPECT_EQ(ReadFile(destination), "the only copy");
    EXPECT_EQ(NamesIn(m_folder.path()), std::vector<std::string>{"precious.wav"});
    EXPECT_TRUE(NamesIn(m_cache.path()).empty());
}

}  // namespace
}  // namespace nb::external::testing
