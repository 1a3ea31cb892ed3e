#include "shell/server/status_pages.h"

#include <array>

namespace nb::server {
namespace {

constexpr std::u16string_view kPageHead =
    u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
    u"<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" lang=\"en\" dir=\"ltr\">"
    u"<head><title>- Nimbra.Error -</title>"
    u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\" />"
    u"<meta http-equiv=\"Content-Script-Type\" content=\"text/javascript\" />"
    u"<meta http-equiv=\"Content-Language\" content=\"en-US\" />"
    u"<meta http-equiv=\"Cache-Control\" content=\"no-cache\" />"
    u"<meta http-equiv=\"Expires\" content=\"Tue, 20 Aug 1996 14:25:27 GMT\" />"
    u"<meta name=\"resource-type\" content=\"document\" />"
    u"<meta name=\"distribution\" content=\"global\" />"
    u"<meta name=\"generator\" content=\"Nimbra HAP Framework\" />"
    u"<meta name=\"author\" content=\"Nimbra HAP Framework\" />"
    u"<style type=\"text/css\">body{background-color:white;font-family:Verdana;font-size:12px} "
    u"a,a:visited,a:hover{color:blue;text-decoration:none} h1{font-size:16px}</style>"
    u"</head><body><h1>Nimbra.Error:</h1><div>";

constexpr std::u16string_view kPageTail =
    u"</div><p>&nbsp;</p><a href=\"javascript:history.back()\">&#xab; Back</a><hr />"
    u"<i><b>Nimbra HAP Framework</b></i></body></html>";

constexpr std::array<StatusMessage, 36> kStatusTable = {{
    {100, u"<b>Error 100: CONTINUE</b><br /> The request can be continued."},
    {101,
     u"<b>Error 101: SWITCH PROTOCOLS</b><br /> The server has switched protocols in an upgrade "
     u"header."},
    {201,
     u"<b>Error 201: CREATED</b><br /> The request has been fulfilled and resulted in the creation "
     u"of a "
     u"new_resource."},
    {202,
     u"<b>Error 202: ACCEPTED</b><br /> The request has been accepted for processing, but the "
     u"processing "
     u"has not been completed."},
    {203,
     u"<b>Error 203: PARTIAL</b><br /> The returned meta information in the entity-header is not "
     u"the "
     u"definitive set available from the origin server."},
    {204,
     u"<b>Error 204: NO_CONTENT</b><br /> The server has fulfilled the request, but there is no "
     u"new_information to send back."},
    {205,
     u"<b>Error 205: RESET CONTENT</b><br /> The request has been completed, and the client "
     u"program should "
     u"reset the document view that caused the request to be sent to allow the user to easily "
     u"initiate "
     u"another input action."},
    {206,
     u"<b>Error 206: PARTIAL CONTENT</b><br /> The server has fulfilled the partial GET request "
     u"for the "
     u"resource."},
    {300, u"<b>Error 300: AMBIGUOUS</b><br /> The server couldn't decide what to return."},
    {303,
     u"<b>Error 303: REDIRECT METHOD</b><br /> The response to the request can be found under a "
     u"different "
     u"URI (Uniform Resource Identifier) and should be retrieved using a GET HTTP verb on that "
     u"resource."},
    {304, u"<b>Error 304: NOT MODIFIED</b><br /> The requested resource has not been modified."},
    {305,
     u"<b>Error 305: USE PROXY</b><br /> The requested resource must be accessed through the proxy "
     u"given "
     u"by the location field."},
    {307,
     u"<b>Error 307: REDIRECT KEEP VERB</b><br /> The redirected request keeps the same HTTP verb. "
     u"HTTP/1.1 behavior."},
    {400,
     u"<b>Error 400: BAD REQUEST</b><br /> The request could not be processed by the server due to "
     u"invalid "
     u"syntax."},
    {401, u"<b>Error 401: DENIED</b><br /> The requested resource requires user authentication."},
    {402, u"<b>Error 402: PAYMENT REQ</b><br /> Not currently implemented in the HTTP protocol."},
    {403,
     u"<b>Error 403: FORBIDDEN</b><br /> The server understood the request, but is refusing to "
     u"fulfill it."},
    {404,
     u"<b>Error 404: NOT FOUND</b><br /> The server has not found anything matching the requested "
     u"URI."},
    {405, u"<b>Error 405: BAD METHOD</b><br /> The HTTP verb used is not allowed."},
    {406,
     u"<b>Error 406: NONE ACCEPTABLE</b><br /> No responses acceptable to the client were found."},
    {407, u"<b>Error 407: PROXY AUTH REQ</b><br /> Proxy authentication required."},
    {408, u"<b>Error 408: REQUEST TIMEOUT</b><br /> The server timed out waiting for the request."},
    {409,
     u"<b>Error 409: CONFLICT</b><br /> The request could not be completed due to a conflict with "
     u"the "
     u"current state of the resource. The user should resubmit with more information."},
    {410,
     u"<b>Error 410: GONE</b><br /> The requested resource is no longer available at the server, "
     u"and no "
     u"forwarding address is known."},
    {411,
     u"<b>Error 411: LENGTH REQUIRED</b><br /> The server refuses to accept the request without a "
     u"defined "
     u"content length."},
    {412,
     u"<b>Error 412: PRECOND FAILED</b><br /> The precondition given in one or more of the request "
     u"header "
     u"fields evaluated to false when it was tested on the server."},
    {413,
     u"<b>Error 413: REQUEST TOO LARGE</b><br /> The server is refusing to process a request "
     u"because the "
     u"request entity is larger than the server is willing or able to process."},
    {414,
     u"<b>Error 414: URI TOO LONG</b><br /> The server is refusing to service the request because "
     u"the "
     u"request URI (Uniform Resource Identifier) is longer than the server is willing to "
     u"interpret."},
    {415,
     u"<b>Error 415: UNSUPPORTED MEDIA</b><br /> The server is refusing to service the request "
     u"because the "
     u"entity of the request is in a format not supported by the requested resource for the "
     u"requested "
     u"method."},
    {449,
     u"<b>Error 449: RETRY WITH</b><br /> The request should be retried after doing the "
     u"appropriate "
     u"action."},
    {500,
     u"<b>Error 500: INTERNAL SERVER ERROR</b><br /> The server encountered an unexpected "
     u"condition that "
     u"prevented it from fulfilling the request."},
    {501,
     u"<b>Error 501: NOT SUPPORTED</b><br /> The server does not support the functionality "
     u"required to "
     u"fulfill the request."},
    {502,
     u"<b>Error 502: BAD GATEWAY</b><br /> The server, while acting as a gateway or proxy, "
     u"received an "
     u"invalid response from the upstream server it accessed in attempting to fulfill the "
     u"request."},
    {503, u"<b>Error 503: SERVICE UNAVAILABLE</b><br /> The service is temporarily overloaded."},
    {504,
     u"<b>Error 504: GATEWAY TIMEOUT</b><br /> The request was timed out waiting for a gateway."},
    {505,
     u"<b>Error 505: VERSION NOT SUPPORTED</b><br /> The server does not support, or refuses to "
     u"support, "
     u"the HTTP protocol version that was used in the request message."},
}};

constexpr StatusMessage kUnhandledStatus = {600,
                                            u"<b>Error XXX: UNHANDLED HTTP ERROR CODE</b><br /> "
                                            u"Nimbra doesnt know how to handle the CGI process "
                                            u"status header."};

}  // namespace

StatusMessage StatusMessageFor(long status) {
    for (const StatusMessage& row : kStatusTable) {
        if (static_cast<long>(row.status) == status) return row;
    }
    return kUnhandledStatus;
}

std::u16string StatusPageText(std::u16string_view message) {
    std::u16string page;
    page.reserve(kPageHead.size() + message.size() + kPageTail.size());
    page.append(kPageHead).append(message).append(kPageTail);
    return page;
}

std::u16string ResponseHeaderText(std::u16string_view content_type, std::uint32_t length) {
    std::u16string text =
        u"HTTP/1.1 200 OK\r\nServer: NimbraWebServer/1.0\r\nConnection: close\r\n";
    if (!content_type.empty()) text.append(u"Content-Type: ").append(content_type).append(u"\r\n");
    if (length != 0) {
        std::string digits = std::to_string(length);
        text.append(u"Content-Length: ")
            .append(std::u16string(digits.begin(), digits.end()))
            .append(u"\r\n");
    }
    text.append(u"\r\n");
    return text;
}

}  // namespace nb::server
