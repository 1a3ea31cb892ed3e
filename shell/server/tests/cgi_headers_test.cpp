#include "shell/server/cgi_headers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/registry/registry.h"
#include "shell/server/cgi_environment.h"
#include "shell/server/charset_tag.h"
#include "shell/server/cookie_store.h"

namespace nb::server {
namespace {

TEST(CgiHeaders, ReadsNumbersAsDecimal) {
    struct Case {
        std::string_view text;
        long value;
    };
    for (const Case& c :
         {Case{"404 Not Found", 404}, Case{" \t\r\n302", 302}, Case{"+12x", 12}, Case{"-7", -7},
          Case{"", 0}, Case{"abc", 0}, Case{"99999999999999999999999", LONG_MAX},
          Case{"-99999999999999999999999", LONG_MIN}}) {
        EXPECT_EQ(ParseHeaderNumber(c.text), c.value) << c.text;
    }
}

TEST(CgiHeaders, LocationTargetsHaveThreeForms) {
    EXPECT_EQ(RedirectUrl(u"/ui/next.php", u"/opt/app", u"lib"), u"x-mrs:///opt/app/!/ui/next.php");
    EXPECT_EQ(RedirectUrl(u"next.php", u"/opt/app", u"lib"), u"x-mrs:///opt/app/!/lib/next.php");
    EXPECT_EQ(RedirectUrl(u"http://example.org/a", u"/opt/app", u"lib"), u"http://example.org/a");
    EXPECT_EQ(RedirectUrl(u"X-MRS://ui/a.html", u"/opt/app", u"lib"), u"X-MRS://ui/a.html");
    EXPECT_EQ(RedirectUrl(u"FTP://host/f", u"/opt/app", u"lib"), u"FTP://host/f");
}

TEST(CgiHeaders, InterpretsEachLine) {
    HeaderLine type = ParseHeaderLine("content-type: text/html; charset=UTF-8", u"/b", u"ui");
    EXPECT_EQ(type.kind, HeaderLineKind::ContentType);
    EXPECT_EQ(type.value, u"text/html; charset=UTF-8");
    EXPECT_EQ(type.plain_type, u"text/html");

    HeaderLine length = ParseHeaderLine("Content-Length: 1234", u"/b", u"ui");
    EXPECT_EQ(length.kind, HeaderLineKind::ContentLength);
    EXPECT_EQ(length.number, 1234);
    EXPECT_EQ(ParseHeaderLine("Content-Length: -5", u"/b", u"ui").number, 0);

    HeaderLine cookie = ParseHeaderLine("Set-Cookie: a=1; path=/; HttpOnly", u"/b", u"ui");
    EXPECT_EQ(cookie.kind, HeaderLineKind::SetCookie);
    EXPECT_EQ(cookie.value, u"a=1; path=/");

    EXPECT_EQ(ParseHeaderLine("Status: 302 Found", u"/b", u"ui").kind, HeaderLineKind::Status);
    HeaderLine missing = ParseHeaderLine("Status: 404 Not Found", u"/b", u"ui");
    EXPECT_EQ(missing.kind, HeaderLineKind::StatusPage);
    EXPECT_EQ(missing.number, 404);

    HeaderLine redirect = ParseHeaderLine("LOCATION: next.php", u"/b", u"ui");
    EXPECT_EQ(redirect.kind, HeaderLineKind::Redirect);
    EXPECT_EQ(redirect.value, u"x-mrs:///b/!/ui/next.php");

    // The space after the colon is part of the prefix.
    EXPECT_EQ(ParseHeaderLine("Status:404", u"/b", u"ui").kind, HeaderLineKind::Other);
    EXPECT_EQ(ParseHeaderLine("X-Powered-By: PHP", u"/b", u"ui").kind, HeaderLineKind::Other);
}

TEST(CgiHeaders, ReadsLinesOfAnyLengthFromTheBuffer) {
    std::optional<Buffer> buffer = Buffer::Create(0);
    ASSERT_TRUE(buffer);
    std::string long_value(5000, 'v');
    std::string block = "A: 1\r\nB: " + long_value + "\r\n\r\nbody";
    buffer->Write(block.data(), block.size());
    std::string line;
    ASSERT_EQ(ReadHeaderLine(*buffer, line), S_OK);
    EXPECT_EQ(line, "A: 1");
    ASSERT_EQ(ReadHeaderLine(*buffer, line), S_OK);
    EXPECT_EQ(line, "B: " + long_value);
    ASSERT_EQ(ReadHeaderLine(*buffer, line), S_OK);
    EXPECT_EQ(line, "");
    EXPECT_EQ(ReadHeaderLine(*buffer, line), E_FAIL);  // "body" has no line end
}

TEST(CharsetTag, LaterMarksOverrideEarlierOnes) {
    struct Case {
        std::string_view data;
        std::u16string_view type;
        std::u16string_view typed;
    };
    using namespace std::string_view_literals;
    for (const Case& c : {Case{"\xEF\xBB\xBFhi"sv, u"text/html", u"text/html; charset=UTF-8"},
                          Case{"\xFF\xFE\x00\x00"sv, u"text/html", u"text/html; charset=UTF-32LE"},
                          Case{"\xFF\xFE\x41\x00"sv, u"text/html", u"text/html; charset=UTF-16LE"},
                          Case{"\xFF\xFE"sv, u"text/plain", u"text/plain; charset=UTF-16LE"},
                          Case{"\x00\x00\xFE\xFF"sv, u"TEXT/xml", u"TEXT/xml; charset=UTF-32BE"},
                          Case{"\xDD\x73\x66\x73"sv, u"text/css", u"text/css; charset=UTF-EBCDIC"},
                          Case{"\xFF"sv, u"text/html", u"text/html"},
                          Case{"\xFF\xFE"sv, u"image/png", u"image/png"},
                          Case{"plain"sv, u"text/html", u"text/html"}}) {
        EXPECT_EQ(TypedContentType(c.type, c.data), c.typed);
    }
}

TEST(CookieStore, KeepsReplacesAndExpiresCookies) {
    CookieStore store;
    const std::u16string url = CookieUrl();
    EXPECT_FALSE(store.Get(url));
    EXPECT_TRUE(store.Set(url, u"a=1; path=/"));
    EXPECT_TRUE(store.Set(url, u"b=two words"));
    EXPECT_TRUE(store.Set(url, u"a=3"));
    EXPECT_EQ(store.Get(url), u"a=3; b=two words");
    EXPECT_TRUE(store.Set(url, u"a=; expires=Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_TRUE(store.Set(url, u"c=1; Max-Age=3600"));
    EXPECT_EQ(store.Get(url), u"b=two words; c=1");
    EXPECT_FALSE(store.Set(url, u"=nameless"));
    EXPECT_FALSE(store.Get(u"http://other/"));
}

// Persistent cookies outlive their store; session and removed ones do not.
TEST(CookieStore, KeepsPersistentCookiesInTheRegistry) {
    const std::filesystem::path data =
        std::filesystem::temp_directory_path() / ("nb_cookie_registry_" + std::to_string(getpid()));
    std::filesystem::remove_all(data);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::u16string key = u"Software\\NimbraTest\\Cookies";
    const std::u16string url = CookieUrl();
    {
        CookieStore first(key);
        EXPECT_TRUE(first.Set(url, u"p=1; Max-Age=3600"));
        EXPECT_TRUE(first.Set(url, u"s=2"));
        EXPECT_TRUE(first.Set(url, u"e=3; expires=Fri, 01 Jan 2100 00:00:00 GMT"));
        EXPECT_TRUE(first.Set(url, u"gone=4; Max-Age=3600"));
        EXPECT_TRUE(first.Set(url, u"gone=; Max-Age=0"));
        EXPECT_TRUE(first.Set(url, u"now_session=5; Max-Age=3600"));
        EXPECT_TRUE(first.Set(url, u"now_session=6"));
        // Max-Age wins over an Expires date in the past.
        EXPECT_TRUE(first.Set(url, u"m=7; expires=Thu, 01 Jan 1970 00:00:00 GMT; max-age=60"));
        EXPECT_FALSE(first.Set(url, u"t=a\tb"));
        EXPECT_EQ(first.Get(url), u"p=1; s=2; e=3; now_session=6; m=7");
    }
    CookieStore second(key);
    EXPECT_EQ(second.Get(url), u"p=1; e=3; m=7");

    // Cookies that expired while the program was not running are not read back.
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    const std::u16string saved =
        SaveCookieText({{1, url, u"old", u"x"}, {4102444800, url, u"new", u"y"}});
    ASSERT_EQ(RegSetValueExW(handle, u"Persistent", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(saved.c_str()),
                             static_cast<DWORD>((saved.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(handle);
    EXPECT_EQ(CookieStore(key).Get(url), u"new=y");
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(data);
}

TEST(CookieStore, SavedTextSkipsDamagedLines) {
    const std::vector<SavedCookie> cookies = ReadCookieText(
        u"12\thttp://h/\ta\t1\n"
        u"x\thttp://h/\tb\t2\n"            // not a number
        u"12\thttp://h/\t\t3\n"            // no name
        u"12\thttp://h/\tc\n"              // no value field
        u"1234567890123456789\tu\td\t4\n"  // too long to be a time
        u"13\thttp://h/\te\tv\twith tab");
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_EQ(cookies[0].expires, 12);
    EXPECT_EQ(cookies[0].name, u"a");
    EXPECT_EQ(cookies[1].value, u"v\twith tab");
    const std::vector<SavedCookie> again = ReadCookieText(SaveCookieText(cookies));
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].value, cookies[1].value);
}

TEST(CgiEnvironment, IsCompleteSortedAndUpperCase) {
    ParsedUrl parts = *ParseUrl(u"x-mrs:///opt/app/!/ui/form.php?x=1", u"/shell");
    CgiRequestInfo request;
    request.parts = &parts;
    request.request_url = u"x-mrs:///opt/app/!/ui/form.php?x=1";
    request.verb = BindVerb::Post;
    request.post_data_size = 11;
    request.post_mime_result = E_FAIL;
    request.cookies = u"a=1";
    auto lookup = [](const char* name) -> const char* {
        std::string_view n = name;
        if (n == "HOME") return "/home/u";
        if (n == "TMPDIR") return "";
        if (n == "NIMBRA_LANGUAGE") return "en";
        return nullptr;
    };
    std::vector<std::string> sorted = SortedEnvironment(BuildCgiEnvironment(request, lookup));
    const std::vector<std::string> expected = {
        "CONTENT_LENGTH=11",
        "CONTENT_TYPE=application/x-www-form-urlencoded",
        "GATEWAY_INTERFACE=CGI/1.1",
        "HOME=/home/u",
        "HTTP_COOKIE=a=1",
        "NIMBRA_LANGUAGE=en",
        "PATH_TRANSLATED=/opt/app/!/ui/form.php",
        "QUERY_STRING=x=1",
        "REMOTE_ADDR=127.0.0.1",
        "REMOTE_HOST=localhost",
        "REQUEST_METHOD=POST",
        "REQUEST_URI=x-mrs:///opt/app/!/ui/form.php?x=1",
        "SCRIPT_FILENAME=/opt/app/!/ui/form.php",
        "SCRIPT_NAME=/ui/form.php",
        "SERVER_NAME=NimbraWS",
        "SERVER_SOFTWARE=Nimbra/3.5.0",
        "TMPDIR=",
    };
    EXPECT_EQ(sorted, expected);

    // Sorting ignores case over the whole text.
    EXPECT_EQ(SortedEnvironment({"b=1", "A=2", "a_b=3", "C=4"}),
              (std::vector<std::string>{"A=2", "a_b=3", "b=1", "C=4"}));

    // A declared type is passed; a fetch that succeeds with none leaves it out.
    request.post_mime_result = S_OK;
    request.post_mime = u"text/plain";
    auto with_type = BuildCgiEnvironment(request, lookup);
    EXPECT_NE(std::find(with_type.begin(), with_type.end(), "CONTENT_TYPE=text/plain"),
              with_type.end());
    request.post_mime.reset();
    for (const std::string& entry : BuildCgiEnvironment(request, lookup))
        EXPECT_NE(entry.rfind("CONTENT_TYPE=", 0), 0u);
}

}  // namespace
}  // namespace nb::server
