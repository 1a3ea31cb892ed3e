// CGI pages through the real interpreter: internals/nimbra running php-cgi.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/text/code_pages.h"
#include "shell/server/status_pages.h"
#include "shell/server/tests/server_fixture.h"

namespace nb::server::testing {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(ServerTest, CgiPageWithTypeLengthAndCookie) {
    WritePage("ui/hello.php",
              "<?php header('Content-Type: text/html; charset=UTF-8'); header('Content-Length: 5');"
              " setcookie('visit', 'yes', ['path' => '/', 'httponly' => true]); echo 'hello';");
    Response response = Fetch(Url("ui/hello.php?x=1"));
    EXPECT_EQ(response.fetch.start_result, S_OK);
    // The UTF-8 mark goes in front of the body.
    EXPECT_EQ(response.fetch.body, "\xEF\xBB\xBFhello");
    const RecordingSink& sink = *response.sink;
    EXPECT_EQ(sink.Status(), 200u);
    EXPECT_EQ(sink.Headers(),
              u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: close\r\n"
              u"Content-Type: text/html; charset=UTF-8\r\nContent-Length: 5\r\n\r\n");
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_MIMETYPEAVAILABLE), u"text/html; charset=UTF-8");
    EXPECT_EQ(sink.ProgressText(BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE), u"text/html");
    EXPECT_EQ(m_cookies.Get(CookieUrl()), u"visit=yes");
    std::vector<DataReport> data = sink.Data();
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.front().flags & BSCF_FIRSTDATANOTIFICATION, BSCF_FIRSTDATANOTIFICATION);
    EXPECT_EQ(data.back().flags, BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE);
    EXPECT_EQ(data.back().progress, 5u);
}

TEST_F(ServerTest, CgiSeesItsEnvironmentAndCookies) {
    WritePage("ui/env.php",
              "<?php foreach "
              "(['GATEWAY_INTERFACE','QUERY_STRING','SCRIPT_NAME','SERVER_NAME','SERVER_SOFTWARE',"
              "'REMOTE_ADDR','REQUEST_METHOD','HTTP_COOKIE','REQUEST_URI'] as $n) echo $n, '=', "
              "getenv($n), \"\\n\";"
              "");
    m_cookies.Set(CookieUrl(), u"a=1");
    const std::u16string url = Url("ui/env.php?q=%41b");
    Response response = Fetch(url);
    const std::string expected =
        "GATEWAY_INTERFACE=CGI/1.1\nQUERY_STRING=q=Ab\nSCRIPT_NAME=/ui/env.php\n"
        "SERVER_NAME=NimbraWS\nSERVER_SOFTWARE=Nimbra/3.5.0\nREMOTE_ADDR=127.0.0.1\n"
        "REQUEST_METHOD=GET\nHTTP_COOKIE=a=1\nREQUEST_URI=" +
        nb::ToUtf8(url) + "\n";
    // php-cgi declares charset=UTF-8 by default: the mark goes in front.
    EXPECT_EQ(response.fetch.body, "\xEF\xBB\xBF" + expected);
    // No Content-Length: streamed with the size unknown.
    EXPECT_EQ(response.sink->Data().front().flags & BSCF_AVAILABLEDATASIZEUNKNOWN,
              BSCF_AVAILABLEDATASIZEUNKNOWN);
}

TEST_F(ServerTest, CgiPostFormFromMemoryAndStream) {
    WritePage("ui/form.php",
              "<?php echo $_SERVER['REQUEST_METHOD'], ' ', $_SERVER['CONTENT_TYPE'], ' ', "
              "$_POST['name'], ' ',"
              " $_POST['n'];");
    Response memory = Fetch(Url("ui/form.php"), SimpleBindInfo::Post("name=Ann+Lee&n=42"));
    EXPECT_EQ(memory.fetch.body, "\xEF\xBB\xBFPOST application/x-www-form-urlencoded Ann Lee 42");

    // A body bigger than a pipe holds, from a stream.
    class StringStream : public PostStream {
       public:
        explicit StringStream(std::string text) : m_text(std::move(text)) {}
        bool Stat(std::uint64_t* size) override {
            *size = m_text.size();
            return true;
        }
        bool SeekToStart() override {
            m_at = 0;
            return true;
        }
        long Read(void* destination, ULONG size) override {
            std::size_t n = std::min<std::size_t>(size, m_text.size() - m_at);
            std::memcpy(destination, m_text.data() + m_at, n);
            m_at += n;
            return static_cast<long>(n);
        }

       private:
        std::string m_text;
        std::size_t m_at = 0;
    };
    std::string body = "name=" + std::string(200000, 'z') + "&n=7";
    BindInfo info;
    info.verb = BindVerb::Post;
    info.medium = PostMedium::Stream;
    info.post_stream = std::make_shared<StringStream>(body);
    info.post_data_size = static_cast<DWORD>(body.size());
    Response stream = Fetch(Url("ui/form.php"), std::make_shared<SimpleBindInfo>(info));
    EXPECT_EQ(stream.fetch.body, "\xEF\xBB\xBFPOST application/x-www-form-urlencoded " +
                                     std::string(200000, 'z') + " 7");
    std::size_t uploads = 0;
    for (const ProgressReport& report : stream.sink->Progress())
        uploads += report.code == BINDSTATUS_UPLOADINGDATA;
    EXPECT_EQ(uploads, (body.size() + 8191) / 8192);
    EXPECT_EQ(stream.sink->ProgressText(BINDSTATUS_BEGINUPLOADDATA), u"");

    BindInfo other;
    other.verb = BindVerb::Post;
    other.medium = PostMedium::Other;
    EXPECT_EQ(Fetch(Url("ui/form.php"), std::make_shared<SimpleBindInfo>(other)).fetch.body,
              StatusPageBytes(messages::kUnknownPostMedium));
}

TEST_F(ServerTest, CgiStatusLinesGiveStatusPages) {
    WritePage("ui/missing.php", "<?php header('Status: 404 Not Found'); echo 'never shown';");
    Response missing = Fetch(Url("ui/missing.php"));
    EXPECT_EQ(missing.fetch.body, StatusPageBytes(StatusMessageFor(404).message));
    EXPECT_EQ(missing.sink->Status(), 404u);
    EXPECT_EQ(missing.sink->Headers().substr(0, 17), u"HTTP/1.1 200 OK\r\n");

    WritePage("ui/teapot.php", "<?php header('Status: 418'); echo 'x';");
    Response teapot = Fetch(Url("ui/teapot.php"));
    EXPECT_EQ(teapot.fetch.body, StatusPageBytes(StatusMessageFor(600).message));
    EXPECT_EQ(teapot.sink->Status(), 600u);

    // A script php-cgi cannot find answers 404 itself.
    BuildLibrary("lib", {{"only.php", "<?php echo 1;"}});
    EXPECT_EQ(Fetch(Url("lib/only.php")).sink->Status(), 404u);
}

TEST_F(ServerTest, CgiRedirectsHaveThreeTargetForms) {
    struct Case {
        std::string target;
        std::u16string url;
    };
    for (const Case& c :
         {Case{"/ui/next.php", Url("ui/next.php")}, Case{"next.php", Url("lib/next.php")},
          Case{"http://example.org/x", u"http://example.org/x"}}) {
        WritePage("lib/go.php", "<?php header('Location: " + c.target + "'); echo 'moved';");
        Response response = Fetch(Url("lib/go.php"));
        EXPECT_EQ(response.fetch.start_result, INET_E_REDIRECTING) << c.target;
        EXPECT_EQ(response.sink->ProgressText(BINDSTATUS_REDIRECTING), c.url) << c.target;
    }
}

TEST_F(ServerTest, CgiBodyIsStreamedWhileTheScriptRuns) {
    WritePage("ui/slow.php",
              "<?php while (ob_get_level()) ob_end_flush(); header('Content-Type: text/plain'); "
              "for ($i = 0; $i < 4; $i++) { echo \"part $i\\n\"; flush();"
              " usleep(300000); }");
    auto sink = std::make_shared<RecordingSink>();
    CProtocolHandler handler(Settings());
    Clock::time_point started = Clock::now();
    ASSERT_EQ(
        handler.Start(Url("ui/slow.php").c_str(), sink, std::make_shared<SimpleBindInfo>(), 0, 0),
        S_OK);
    std::string body;
    char chunk[256];
    Clock::time_point first_part{};
    for (;;) {
        std::size_t seen = sink->DataCount();
        ULONG count = 0;
        HRESULT hr = handler.Read(chunk, sizeof chunk, &count);
        if (count > 0 && body.empty()) first_part = Clock::now();
        body.append(chunk, count);
        if (hr == S_OK) continue;
        if (hr != E_PENDING) break;
        ASSERT_TRUE(sink->WaitForData(seen, 10000));
    }
    Clock::time_point ended = Clock::now();
    handler.Terminate(0);
    EXPECT_EQ(body, "\xEF\xBB\xBFpart 0\npart 1\npart 2\npart 3\n");
    // The first part arrived long before the script finished.
    EXPECT_GE(ended - first_part, std::chrono::milliseconds(700));
    EXPECT_GE(sink->DataCount(), 3u);
    EXPECT_GE(ended - started, std::chrono::milliseconds(1000));
}

TEST_F(ServerTest, AbortStopsARunningScript) {
    WritePage("ui/forever.php",
              "<?php while (ob_get_level()) ob_end_flush(); header('Content-Type: text/plain'); "
              "while (true) { echo 'x'; flush(); usleep(20000); }");
    auto sink = std::make_shared<RecordingSink>();
    CProtocolHandler handler(Settings());
    ASSERT_EQ(handler.Start(Url("ui/forever.php").c_str(), sink, std::make_shared<SimpleBindInfo>(),
                            0, 0),
              S_OK);
    ASSERT_TRUE(sink->WaitForData(0, 10000));
    Clock::time_point asked = Clock::now();
    EXPECT_EQ(handler.Abort(E_ABORT, 0), S_OK);
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(2000));
    EXPECT_EQ(sink->Results(), std::vector<HRESULT>{E_ABORT});
    std::size_t reports = sink->DataCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sink->DataCount(), reports);  // nothing after the result
    handler.Terminate(0);
}

TEST_F(ServerTest, InterpretersThatGiveNoHeaders) {
    // Real interpreters in place of nimbra: shell scripts with each fault.
    struct Case {
        std::string script;
        std::u16string_view message;
    };
    for (const Case& c :
         {Case{"#!/bin/sh\nprintf 'abc'\n", messages::kNoResponse},
          Case{"#!/bin/sh\nexec >&- 2>&-\nkill -9 $$\n", messages::kDiedBeforeHeaders},
          Case{"#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\nno blank line'\n",
               messages::kMalformedHeaders}}) {
        std::string interpreter = m_scratch + "/fake_interpreter";
        std::remove(interpreter.c_str());
        WritePage("../../fake_interpreter", c.script);
        ASSERT_EQ(::chmod(interpreter.c_str(), 0755), 0);
        WritePage("ui/page.php", "");
        ServerSettings settings = Settings();
        settings.interpreter = interpreter;
        auto sink = std::make_shared<RecordingSink>();
        CProtocolHandler handler(settings);
        FetchResult result =
            FetchAll(handler, Url("ui/page.php"), sink, std::make_shared<SimpleBindInfo>());
        handler.Terminate(0);
        EXPECT_EQ(result.body, StatusPageBytes(c.message)) << c.script;
        EXPECT_EQ(sink->Status(), 500u);
    }
}

TEST_F(ServerTest, InterpreterThatDiesDuringTheUpload) {
    std::string interpreter = m_scratch + "/fake_interpreter";
    WritePage("../../fake_interpreter", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(interpreter.c_str(), 0755), 0);
    WritePage("ui/page.php", "");
    ServerSettings settings = Settings();
    settings.interpreter = interpreter;
    auto sink = std::make_shared<RecordingSink>();
    CProtocolHandler handler(settings);
    FetchResult result = FetchAll(handler, Url("ui/page.php"), sink,
                                  SimpleBindInfo::Post(std::string(4 << 20, 'p')));
    handler.Terminate(0);
    EXPECT_EQ(result.body, StatusPageBytes(messages::kDiedWhileUploading));
}

TEST_F(ServerTest, NbfetchPrintsTheWholeExchange) {
    WritePage("ui/hi.php",
              "<?php header('Content-Type: text/plain'); echo 'posted=', $_POST['v'];");
    std::string command = "XDG_CACHE_HOME='" + m_scratch + "/xdg' " + std::string(NB_NBFETCH) +
                          " --post v=9 '" + nb::ToUtf8(Url("ui/hi.php")) + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << output;
    for (const char* expected :
         {"progress 1 FINDINGRESOURCE", "progress 11 SENDINGREQUEST hi.php",
          "status 200\nHTTP/1.1 200 OK\r\n", "Content-Type: text/plain;charset=UTF-8\r\n",
          "data flags=12", "result 0x00000001", "body 11 bytes\n\n\xEF\xBB\xBFposted=9"}) {
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
    }
}

}  // namespace
}  // namespace nb::server::testing
