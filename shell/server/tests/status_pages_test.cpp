#include "shell/server/status_pages.h"

#include <gtest/gtest.h>

namespace nb::server {
namespace {

TEST(StatusPages, PageTextIsExact) {
    // Written out independently of the implementation's pieces.
    const std::u16string expected =
        u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        u"\"http://www.w3.org/TR/xhtml1/DTD/"
        u"xhtml1-transitional.dtd\"><html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" "
        u"lang=\"en\" "
        u"dir=\"ltr\"><head><title>- Nimbra.Error -</title><meta http-equiv=\"Content-Type\" "
        u"content=\"text/html; "
        u"charset=ISO-8859-1\" /><meta http-equiv=\"Content-Script-Type\" "
        u"content=\"text/javascript\" /><meta "
        u"http-equiv=\"Content-Language\" content=\"en-US\" /><meta http-equiv=\"Cache-Control\" "
        u"content=\"no-cache\" /><meta http-equiv=\"Expires\" content=\"Tue, 20 Aug 1996 14:25:27 "
        u"GMT\" /><meta "
        u"name=\"resource-type\" content=\"document\" /><meta name=\"distribution\" "
        u"content=\"global\" /><meta "
        u"name=\"generator\" content=\"Nimbra HAP Framework\" /><meta name=\"author\" "
        u"content=\"Nimbra HAP "
        u"Framework\" /><style "
        u"type=\"text/css\">body{background-color:white;font-family:Verdana;font-size:12px} "
        u"a,a:visited,a:hover{color:blue;text-decoration:none} "
        u"h1{font-size:16px}</style></head><body><h1>"
        u"Nimbra.Error:</h1><div>MSG</div><p>&nbsp;</p><a "
        u"href=\"javascript:history.back()\">&#xab; Back</a><hr />"
        u"<i><b>Nimbra HAP Framework</b></i></body></html>";
    EXPECT_EQ(StatusPageText(u"MSG"), expected);
}

TEST(StatusPages, TableLooksUpCgiStatuses) {
    struct Case {
        long status;
        DWORD sent;
        std::u16string_view starts;
    };
    for (const Case& c :
         {Case{404, 404, u"<b>Error 404: NOT FOUND</b><br /> The server has not found"},
          Case{100, 100, u"<b>Error 100: CONTINUE</b>"},
          Case{449, 449, u"<b>Error 449: RETRY WITH</b>"},
          Case{505, 505, u"<b>Error 505: VERSION NOT SUPPORTED</b>"},
          Case{418, 600, u"<b>Error XXX: UNHANDLED HTTP ERROR CODE</b><br /> Nimbra doesnt know"},
          Case{200, 600, u"<b>Error XXX"}, Case{-1, 600, u"<b>Error XXX"}}) {
        StatusMessage row = StatusMessageFor(c.status);
        EXPECT_EQ(row.status, c.sent) << c.status;
        EXPECT_EQ(row.message.substr(0, c.starts.size()), c.starts) << c.status;
    }
}

TEST(StatusPages, HeaderTextLeavesOutEmptyFields) {
    EXPECT_EQ(ResponseHeaderText(u"text/html", 0),
              u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: "
              u"close\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_EQ(ResponseHeaderText(u"", 1234),
              u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: "
              u"close\r\nContent-Length: 1234\r\n\r\n");
    EXPECT_EQ(ResponseHeaderText(u"image/png", 7),
              u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: "
              u"close\r\nContent-Type: image/png\r\n"
              u"Content-Length: 7\r\n\r\n");
}

}  // namespace
}  // namespace nb::server
