#include <unistd.h>

#include <filesystem>

#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"
#include "shell/server/status_pages.h"
#include "shell/server/tests/server_fixture.h"

namespace nb::server::testing {
namespace {

constexpr DWORD kCompleteFlags =
    BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE;

std::vector<ULONG> Codes(const RecordingSink& sink) {
    std::vector<ULONG> codes;
    for (const ProgressReport& report : sink.Progress()) codes.push_back(report.code);
    return codes;
}

TEST_F(ServerTest, ServesAFileWithItsReportsInOrder) {
    WritePage("ui/pages/main.html", "<p>hello</p>");
    const std::u16string url = Url("ui/pages/main.html?x=1");
    Response response = Fetch(url);
    EXPECT_EQ(response.fetch.start_result, S_OK);
    EXPECT_EQ(response.fetch.body, "<p>hello</p>");
    EXPECT_EQ(response.fetch.last_read, S_FALSE);
    const RecordingSink& sink = *response.sink;
    EXPECT_EQ(
        Codes(sink),
        (std::vector<ULONG>{BINDSTATUS_FINDINGRESOURCE, BINDSTATUS_CONNECTING,
                            BINDSTATUS_SENDINGREQUEST, BINDSTATUS_CACHEFILENAMEAVAILABLE,
                            BINDSTATUS_MIMETYPEAVAILABLE, BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE}));
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_FINDINGRESOURCE), url);
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_CONNECTING), nb::ToUtf16(m_base + "/ui.dll"));
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_SENDINGREQUEST), u"pages/main.html");
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_MIMETYPEAVAILABLE), u"text/html");
    EXPECT_EQ(sink.Status(), 200u);
    EXPECT_EQ(sink.Headers(),
              u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: close\r\n"
              u"Content-Type: text/html\r\nContent-Length: 12\r\n\r\n");
    ASSERT_EQ(sink.Data().size(), 1u);
    EXPECT_EQ(sink.Data()[0].flags, kCompleteFlags);
    EXPECT_EQ(sink.Data()[0].progress, 12u);
    EXPECT_EQ(sink.Data()[0].progress_max, 12u);
    EXPECT_EQ(sink.Results(), std::vector<HRESULT>{S_FALSE});

    // The cache mirrors the page, and the protocol answers find it there.
    std::optional<UrlCacheEntry> entry = FindUrlCacheEntry(url);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->local_file, sink.ProgressText(BINDSTATUS_CACHEFILENAMEAVAILABLE));
    CProtocolHandler handler(Settings());
    char16_t path[512];
    DWORD needed = 0;
    EXPECT_EQ(handler.ParseUrl(url.c_str(), PARSE_PATH_FROM_URL, 0, path, 512, &needed), S_OK);
    EXPECT_EQ(std::u16string(path), entry->local_file);
    DWORD answer = 7;
    EXPECT_EQ(handler.QueryInfo(url.c_str(), QUERY_IS_CACHED, 0, &answer, 4, &needed), S_OK);
    EXPECT_EQ(answer, 1u);
}

TEST_F(ServerTest, TagsTextByItsByteOrderMark) {
    struct Case {
        std::string name;
        std::string bytes;
        std::u16string typed;
    };
    using namespace std::string_literals;
    for (const Case& c : {Case{"u8.html", "\xEF\xBB\xBFhi"s, u"text/html; charset=UTF-8"},
                          Case{"u32.html", "\xFF\xFE\x00\x00"s, u"text/html; charset=UTF-32LE"},
                          Case{"u16.html", "\xFF\xFE\x41\x00"s, u"text/html; charset=UTF-16LE"},
                          Case{"pic.png", "\xFF\xFE\x41\x00"s, u"image/png"},
                          Case{"one.txt", "\xFF"s, u"text/plain"}}) {
        WritePage("ui/" + c.name, c.bytes);
        Response response = Fetch(Url("ui/" + c.name));
        EXPECT_EQ(response.fetch.body, c.bytes) << c.name;  // the mark stays in the data
        EXPECT_EQ(response.sink->ProgressText(BINDSTATUS_MIMETYPEAVAILABLE), c.typed) << c.name;
    }
}

TEST_F(ServerTest, ServesEmptyFilesAndHonoursNoWriteCache) {
    WritePage("ui/empty.txt", "");
    Response empty = Fetch(Url("ui/empty.txt"));
    EXPECT_EQ(empty.fetch.body, "");
    EXPECT_EQ(empty.sink->Status(), 200u);
    EXPECT_EQ(empty.sink->Data()[0].progress, 0u);

    WritePage("ui/a.css", "b{}");
    Response uncached =
        Fetch(Url("ui/a.css"), std::make_shared<SimpleBindInfo>(BindInfo{}, BINDF_NOWRITECACHE));
    EXPECT_EQ(uncached.fetch.body, "b{}");
    EXPECT_EQ(uncached.sink->Status(), 0u);  // no headers
    EXPECT_EQ(uncached.sink->ProgressText(BINDSTATUS_MIMETYPEAVAILABLE), u"");
    EXPECT_FALSE(FindUrlCacheEntry(Url("ui/a.css")));
}

TEST_F(ServerTest, NeedFileWithoutACacheGivesTheCachingPage) {
    WritePage("ui/a.html", "x");
    // A cache directory that cannot be made: a file stands in its way.
    std::string blocker = m_scratch + "/blocker";
    WritePage("../../blocker", "");
    NbSetUrlCacheDirectory((blocker + "/cache").c_str());
    Response response =
        Fetch(Url("ui/a.html"), std::make_shared<SimpleBindInfo>(BindInfo{}, BINDF_NEEDFILE));
    EXPECT_EQ(response.fetch.body, StatusPageBytes(messages::kCachingFailedNeedFile));
    EXPECT_EQ(response.sink->Status(), 500u);
}

TEST_F(ServerTest, ServesResourcesFromLibraries) {
    BuildLibrary("ui",
                 {{"pages/main.html", "<p>from the library</p>"}, {"both.html", "library copy"}});
    WritePage("ui/both.html", "file copy");

    Response resource = Fetch(Url("ui/pages/main.html"));
    EXPECT_EQ(resource.fetch.body, "<p>from the library</p>");
    EXPECT_EQ(resource.sink->Status(), 200u);
    EXPECT_EQ(resource.sink->Data()[0].flags, kCompleteFlags);

    // A 32-bit library serves the same way.
    BuildLibrary("old", {{"pages/main.html", "<p>32-bit</p>"}}, PeFormat::Pe32);
    EXPECT_EQ(Fetch(Url("old/PAGES/Main.html")).fetch.body, "<p>32-bit</p>");

    // Short form: the base directory is the shell's.
    Response short_form = Fetch(u"x-mrs://ui/pages/main.html");
    EXPECT_EQ(short_form.fetch.body, "<p>from the library</p>");

    EXPECT_EQ(Fetch(Url("ui/both.html")).fetch.body, "file copy");

    Response missing = Fetch(Url("ui/none.html"));
    EXPECT_EQ(missing.fetch.body, StatusPageBytes(messages::kFindResourceFailed));
    EXPECT_EQ(missing.sink->Status(), 404u);

    Response no_library = Fetch(Url("other/a.html"));
    EXPECT_EQ(no_library.fetch.body, StatusPageBytes(messages::kLoadLibraryFailed));
    EXPECT_EQ(no_library.sink->Status(), 404u);

    // Not a PE file at all.
    WritePage("../fake.dll", "MZ but nothing more");
    EXPECT_EQ(Fetch(Url("fake/a.html")).fetch.body, StatusPageBytes(messages::kLoadLibraryFailed));
}

TEST_F(ServerTest, FailuresBecomeStatusPages) {
    Response bad = Fetch(nb::ToUtf16("x-mrs://" + m_base + "/ui/main.html"));
    EXPECT_EQ(bad.fetch.start_result, S_OK);
    EXPECT_EQ(bad.fetch.body, StatusPageBytes(messages::kBadUrl));
    EXPECT_EQ(bad.sink->Status(), 400u);
    EXPECT_EQ(bad.sink->Headers(),
              ResponseHeaderText(kStatusPageContentType,
                                 static_cast<std::uint32_t>(bad.fetch.body.size())));
    EXPECT_EQ(bad.sink->ProgressText(BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE), u"text/html");
    EXPECT_EQ(bad.sink->Data().back().flags, kCompleteFlags);

    EXPECT_EQ(Fetch(u"x-mrs://start.html").fetch.body, StatusPageBytes(messages::kBadUrl));

    auto broken = std::make_shared<SimpleBindInfo>();
    broken->bind_info_result = E_FAIL;
    Response no_bind = Fetch(Url("ui/a.html"), broken);
    EXPECT_EQ(no_bind.fetch.body, StatusPageBytes(messages::kBindInfoFailed));
    EXPECT_EQ(no_bind.sink->Status(), 400u);

    // Without a negotiator the page still comes; only the headers do not.
    auto quiet = std::make_shared<RecordingSink>(false);
    CProtocolHandler handler(Settings());
    FetchResult result =
        FetchAll(handler, u"x-mrs://start.html", quiet, std::make_shared<SimpleBindInfo>());
    EXPECT_EQ(result.body, StatusPageBytes(messages::kBadUrl));
    EXPECT_EQ(quiet->Status(), 0u);
}

TEST_F(ServerTest, NeverLeavesTheBaseDirectory) {
    // Secrets beside the application: outside "!" and outside the base.
    WritePage("../secret.txt", "app secret");
    WritePage("../../outside.txt", "scratch secret");
    BuildLibrary("lib", {{"a.html", "library page"}});
    std::filesystem::create_directories(m_base + "/!/ui");
    std::filesystem::create_symlink(m_base + "/secret.txt", m_base + "/!/ui/link.txt");
    std::filesystem::create_directories(m_scratch + "/elsewhere");
    std::filesystem::copy_file(m_base + "/lib.dll", m_scratch + "/elsewhere/lib.dll");
    std::filesystem::create_symlink(m_scratch + "/elsewhere/lib.dll", m_base + "/evil.dll");

    for (std::string relative :
         {"ui/../../secret.txt", "ui/%2e%2e/%2E%2E/secret.txt", "ui/..%2f..%2fsecret.txt",
          "../secret.txt", "ui/./a/../../../outside.txt", "ui/link.txt", "evil/a.html"}) {
        Response response = Fetch(Url(relative));
        EXPECT_EQ(response.fetch.body, StatusPageBytes(messages::kOutsideBase)) << relative;
        EXPECT_EQ(response.sink->Status(), 403u) << relative;
    }
}

TEST_F(ServerTest, ReadAfterTheEndAndWithoutAResponse) {
    WritePage("ui/a.txt", "abc");
    auto sink = std::make_shared<RecordingSink>();
    CProtocolHandler handler(Settings());
    ASSERT_EQ(
        handler.Start(Url("ui/a.txt").c_str(), sink, std::make_shared<SimpleBindInfo>(), 0, 0),
        S_OK);
    char bytes[2];
    ULONG count = 0;
    EXPECT_EQ(handler.Read(bytes, 2, &count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(handler.Read(bytes, 2, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(handler.Read(bytes, 2, &count), S_FALSE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(handler.Read(bytes, 2, &count), S_FALSE);
    // Abort reports a failure as it is and anything else as E_ABORT.
    EXPECT_EQ(handler.Abort(S_OK, 0), S_OK);
    EXPECT_EQ(handler.Abort(INET_E_DOWNLOAD_FAILURE, 0), S_OK);
    EXPECT_EQ(sink->Results(),
              (std::vector<HRESULT>{S_FALSE, S_FALSE, E_ABORT, INET_E_DOWNLOAD_FAILURE}));
    handler.Terminate(0);

    CProtocolHandler idle(Settings());
    EXPECT_EQ(idle.Read(bytes, 2, &count), S_FALSE);
    EXPECT_EQ(idle.Start(nullptr, sink, std::make_shared<SimpleBindInfo>(), 0, 0), E_UNEXPECTED);
    EXPECT_EQ(idle.Start(u"x-mrs://ui/a.txt", nullptr, std::make_shared<SimpleBindInfo>(), 0, 0),
              E_UNEXPECTED);
    EXPECT_EQ(idle.Start(u"x-mrs://ui/a.txt", sink, nullptr, 0, 0), E_UNEXPECTED);
}

TEST_F(ServerTest, AnswersProtocolInfo) {
    CProtocolHandler handler(Settings());
    char16_t text[128];
    DWORD needed = 0;
    EXPECT_EQ(handler.ParseUrl(u"x-mrs:///apps/demo/!/ui/a.html", PARSE_SECURITY_URL, 0, text, 128,
                               &needed),
              S_OK);
    const std::u16string security = u"http://app.nimbra.localhost/apps/demo/index.html";
    EXPECT_EQ(std::u16string(text), security);
    EXPECT_EQ(needed, security.size() + 1);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs:///apps/demo/!/ui/a.html", PARSE_SECURITY_URL, 0, text, 5,
                               &needed),
              S_FALSE);
    EXPECT_EQ(needed, security.size() + 1);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://nope", PARSE_SECURITY_URL, 0, text, 128, &needed),
              INET_E_INVALID_URL);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.html", PARSE_SECURITY_DOMAIN, 0, text, 128, &needed),
              S_OK);
    EXPECT_EQ(std::u16string(text), kApplicationHost);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.html", PARSE_SECURITY_DOMAIN, 0, text, 3, &needed),
              S_FALSE);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.html", PARSE_DOMAIN, 0, text, 128, &needed),
              INET_E_INVALID_URL);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.html", 18, 0, text, 128, &needed),
              INET_E_INVALID_URL);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.html", 1, 0, text, 128, &needed),
              INET_E_DEFAULT_ACTION);
    EXPECT_EQ(handler.ParseUrl(u"x-mrs://ui/a.php", PARSE_PATH_FROM_URL, 0, text, 128, &needed),
              INET_E_DEFAULT_ACTION);
    EXPECT_EQ(
        handler.ParseUrl(u"x-mrs://ui/never.html", PARSE_PATH_FROM_URL, 0, text, 128, &needed),
        INET_E_DEFAULT_ACTION);

    struct Query {
        const char16_t* url;
        DWORD option;
        DWORD answer;
    };
    for (const Query& q : {Query{u"x-mrs://ui/a.html", QUERY_CAN_NAVIGATE, 1},
                           Query{u"x-mrs://ui/a.html", QUERY_USES_CACHE, 1},
                           Query{u"x-mrs://ui/a.php", QUERY_USES_CACHE, 0},
                           Query{u"x-mrs://bad", QUERY_USES_CACHE, 0},
                           Query{u"x-mrs://ui/a.html", QUERY_IS_CACHED, 0},
                           Query{u"x-mrs://ui/a.html", QUERY_IS_SECURE, 0},
                           Query{u"x-mrs://ui/a.html", QUERY_USES_NETWORK, 0}}) {
        DWORD answer = 99;
        EXPECT_EQ(handler.QueryInfo(q.url, q.option, 0, &answer, 4, &needed), S_OK);
        EXPECT_EQ(answer, q.answer) << q.option;
        EXPECT_EQ(needed, 4u);
    }
    DWORD answer = 0;
    EXPECT_EQ(handler.QueryInfo(u"x-mrs://ui/a.html", QUERY_CAN_NAVIGATE, 0, &answer, 3, &needed),
              S_FALSE);
    EXPECT_EQ(handler.QueryInfo(u"x-mrs://ui/a.html", 6, 0, &answer, 4, &needed),
              INET_E_DEFAULT_ACTION);
    EXPECT_EQ(handler.QueryInfo(u"x-mrs://ui/a.html", 15, 0, &answer, 4, &needed),
              INET_E_DEFAULT_ACTION);

    EXPECT_EQ(handler.CompareUrl(u"x-mrs://ui/a.html", u"x-mrs://ui/a.html", 0), S_OK);
    EXPECT_EQ(handler.CompareUrl(u"x-mrs://ui/a.html", u"x-mrs://ui/A.html", 0), S_FALSE);
    EXPECT_EQ(handler.CombineUrl(), INET_E_DEFAULT_ACTION);
    EXPECT_EQ(handler.Suspend(), E_NOTIMPL);
    EXPECT_EQ(handler.Seek(), E_NOTIMPL);
}

}  // namespace
}  // namespace nb::server::testing
