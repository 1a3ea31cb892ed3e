// The HTML pages that answer failed requests, the status table of CGI
// "Status:" lines and the response header text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"

namespace nb::server {

struct StatusMessage {
    DWORD status;  // 600 for a value the table does not know
    std::u16string_view message;
};

// The row for a CGI status value; values outside the table give status 600
// and the "UNHANDLED HTTP ERROR CODE" message.
StatusMessage StatusMessageFor(long status);

// Head + message + tail: one line of XHTML.
std::u16string StatusPageText(std::u16string_view message);

// The header text for the negotiator: the fixed "200 OK" status line and
// server lines, then Content-Type when one is given and Content-Length when
// the length is not 0, then the blank line.
std::u16string ResponseHeaderText(std::u16string_view content_type, std::uint32_t length);

// The content type sent with status pages. The page is UTF-16LE without a
// byte order mark, so the header names that character set (the page's own
// meta line is overridden by it).
inline constexpr std::u16string_view kStatusPageContentType = u"text/html; charset=UTF-16LE";

// Messages of the pages the server raises itself.
namespace messages {
inline constexpr std::u16string_view kBindInfoFailed =
    u"<b>Bad request</b><br />GetBindInfo() failed. Something is fishy!";
inline constexpr std::u16string_view kBadUrl =
    u"<b>Bad formatted URL Address</b><br />_DoParseUrl() failed: Expected URL format:<ul>"
    u"<li>x-mrs://C:/path/to/appdir/!/dllname/resource.ext[?qstring]</li>"
    u"<li>x-mrs://resource.ext[?qstring]</li></ul>";
inline constexpr std::u16string_view kOutsideBase =
    u"<b>Invalid URL Address</b><br /> The requested path leads outside the application directory.";
inline constexpr std::u16string_view kLoadLibraryFailed =
    u"<b>Invalid URL Address</b><br /> LoadLibrary() failed: Specified file could not be found or "
    u"is not a "
    u"resource library.";
inline constexpr std::u16string_view kFindResourceFailed =
    u"<b>Invalid URL Address</b><br /> FindResource() failed: Specified resource could not be "
    u"found in the "
    u"resource library.";
inline constexpr std::u16string_view kLoadResourceFailed =
    u"<b>Invalid URL Address</b><br /> LoadResource() failed: Specified resource could not be "
    u"loaded from the "
    u"resource library.";
inline constexpr std::u16string_view kWriteFromFileFailed =
    u"<b>Internal Server Error</b><br /> Buffer.WriteFromFile() failed";
inline constexpr std::u16string_view kWriteFailed =
    u"<b>Internal Server Error</b><br /> Buffer.Write() failed";
inline constexpr std::u16string_view kCachingFailedNeedFile =
    u"<b>Internal Server Error</b><br /> Caching mechanism failed when NEEDFILE.";
inline constexpr std::u16string_view kCgiCachingFailedNeedFile =
    u"<b>Internal Server Error</b><br /> Caching mechanism failed: Caching failure when NEEDFILE.";
inline constexpr std::u16string_view kUnknownPostMedium =
    u"<b>Internal Server Error</b><br /> Don't know how to handle stgmedData.tymed (not HGLOBAL "
    u"nor ISTREAM)";
inline constexpr std::u16string_view kStdinPipe =
    u"<b>Internal Server Error</b><br /> Cannot create CGI process STDIN pipe; CreatePipe() failed";
inline constexpr std::u16string_view kStdoutPipe =
    u"<b>Internal Server Error</b><br /> Cannot create CGI process STDOUT pipe; CreatePipe() "
    u"failed";
inline constexpr std::u16string_view kEnvString =
    u"<b>Internal Server Error</b><br /> Cannot get CGI Env String; GetEnvString() failed";
inline constexpr std::u16string_view kCreateProcess =
    u"<b>Internal Server Error</b><br /> Cannot create CGI process; CreateProcess() failed";
inline constexpr std::u16string_view kNoResponse =
    u"<b>Internal Server Error</b><br /> No response back from the CGI process.";
inline constexpr std::u16string_view kMalformedHeaders =
    u"<b>Internal Server Error</b><br /> Malformed HTTP headers detected. ReadLineA() failed.";
inline constexpr std::u16string_view kDiedWhileUploading =
    u"<b>Internal Server Error</b><br /> The CGI process died while uploading post data.";
inline constexpr std::u16string_view kDiedBeforeHeaders =
    u"<b>Internal Server Error</b><br /> The CGI process died before sending any HTTP headers.";
}  // namespace messages

}  // namespace nb::server
