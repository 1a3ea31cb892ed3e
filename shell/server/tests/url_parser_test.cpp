#include "shell/server/url_parser.h"

#include <gtest/gtest.h>

namespace nb::server {
namespace {

struct UrlCase {
    const char16_t* url;
    const char16_t* base;
    const char16_t* library;
    const char16_t* resource;
    const char16_t* extension;
    const char16_t* query;  // null: none
};

class ParseUrlCases : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ParseUrlCases, SplitsIntoParts) {
    const UrlCase& c = GetParam();
    std::optional<ParsedUrl> parts = ParseUrl(c.url, u"/opt/shell");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->base_directory, c.base);
    EXPECT_EQ(parts->library_name, c.library);
    EXPECT_EQ(parts->resource_name, c.resource);
    EXPECT_EQ(parts->extension, c.extension);
    if (c.query) {
        EXPECT_EQ(parts->query_string, std::u16string(c.query));
    } else {
        EXPECT_FALSE(parts->query_string);
    }
    EXPECT_EQ(parts->library_path, std::u16string(c.base) + u"/" + c.library + u".dll");
    EXPECT_EQ(parts->file_path, std::u16string(c.base) + u"/!/" + c.library + u"/" + c.resource);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseUrlCases,
    ::testing::Values(
        UrlCase{u"x-mrs:///apps/demo/!/ui/pages/main.html?x=1", u"/apps/demo", u"ui",
                u"pages/main.html", u"html", u"x=1"},
        UrlCase{u"x-mrs://ui/start.html", u"/opt/shell", u"ui", u"start.html", u"html", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/readme", u"/a", u"ui", u"readme", u"nbx", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/index.php5", u"/a", u"ui", u"index.php5", u"php5", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/page.html?", u"/a", u"ui", u"page.html", u"html", nullptr},
        // A dot as the first or the last character does not start an extension.
        UrlCase{u"x-mrs:///a/!/ui/.htaccess", u"/a", u"ui", u".htaccess", u"nbx", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/file.", u"/a", u"ui", u"file.", u"nbx", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/a.b.css", u"/a", u"ui", u"a.b.css", u"css", nullptr},
        // Escapes are decoded before the URL is split, as UTF-8.
        UrlCase{u"x-mrs:///my%20apps/!/ui/caf%C3%A9.html?q=%41", u"/my apps", u"ui",
                u"caf\u00e9.html", u"html", u"q=A"},
        UrlCase{u"x-mrs:///a/!/ui/100%25.txt", u"/a", u"ui", u"100%.txt", u"txt", nullptr},
        UrlCase{u"x-mrs:///a/!/ui/%zz.txt", u"/a", u"ui", u"%zz.txt", u"txt", nullptr}));

TEST(ParseUrl, RejectsMalformedUrls) {
    for (const char16_t* url :
         {u"x-mrs:///apps/demo/ui/main.html",  // absolute form without the "!" tree
          u"x-mrs://start.html",               // no "/" after the library
          u"x-mrs:ui/start.html",              // no "//"
          u"no colon at all",
          u"x-mrs:///a/!/ui/bad%FF.html",     // escape that is not UTF-8
          u"x-mrs:///a/!/ui/nul%00.html"}) {  // escape of a zero
        EXPECT_FALSE(ParseUrl(url, u"/opt/shell")) << std::u16string_view(url).size();
    }
}

TEST(ParseUrl, DerivesCgiStringsForPhpPagesOnly) {
    std::optional<ParsedUrl> cgi = ParseUrl(u"x-mrs:///apps/demo/!/ui/forms/post.PHP?a=1", u"/x");
    ASSERT_TRUE(cgi);
    EXPECT_EQ(cgi->script_name, u"/ui/forms/post.PHP");
    EXPECT_EQ(cgi->script_path, u"/apps/demo/!/ui/forms/post.PHP");
    EXPECT_EQ(cgi->redirect_root, u"x-mrs:///apps/demo/!/");
    EXPECT_EQ(cgi->redirect_directory, u"x-mrs:///apps/demo/!/ui/");

    std::optional<ParsedUrl> page = ParseUrl(u"x-mrs:///apps/demo/!/ui/page.html", u"/x");
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->script_name.empty());
    EXPECT_TRUE(page->redirect_root.empty());
}

TEST(IsCgiExtension, ComparesThreeCharacters) {
    EXPECT_TRUE(IsCgiExtension(u"php"));
    EXPECT_TRUE(IsCgiExtension(u"PHP"));
    EXPECT_TRUE(IsCgiExtension(u"php5"));
    EXPECT_FALSE(IsCgiExtension(u"ph"));
    EXPECT_FALSE(IsCgiExtension(u"phtml"));
}

}  // namespace
}  // namespace nb::server
