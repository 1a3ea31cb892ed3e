#include "shell/server/cgi_headers.h"

#include "platform/text/code_pages.h"
#include "platform/text/decimal_prefix.h"
#include "shell/server/url_parser.h"

namespace nb::server {

long ParseHeaderNumber(std::string_view text) {
    return ClampedDecimal<long>(FindDecimalPrefix(text, Blanks::kSpaceTabLineEnds));
}

std::u16string RedirectUrl(std::u16string_view target, std::u16string_view base_directory,
                           std::u16string_view library_name) {
    for (std::u16string_view scheme : {u"x-mrs", u"http://", u"file://", u"ftp://"}) {
        if (StartsWithNoCase(target, scheme)) return std::u16string(target);
    }
    std::u16string url = u"x-mrs://" + std::u16string(base_directory) + u"/!/";
    if (!target.empty() && target[0] == u'/') return url.append(target.substr(1));
    return url.append(library_name).append(u"/").append(target);
}

std::u16string_view StripHttpOnly(std::u16string_view cookie) {
    constexpr std::u16string_view kHttpOnly = u"HttpOnly";
    if (cookie.size() < kHttpOnly.size() ||
        !StartsWithNoCase(cookie.substr(cookie.size() - kHttpOnly.size()), kHttpOnly)) {
        return cookie;
    }
    cookie.remove_suffix(kHttpOnly.size());
    while (!cookie.empty() && (cookie.back() == u' ' || cookie.back() == u';'))
        cookie.remove_suffix(1);
    return cookie;
}

HeaderLine ParseHeaderLine(std::string_view line, std::u16string_view base_directory,
                           std::u16string_view library_name) {
    HeaderLine result;
    auto value_after = [&](std::string_view prefix) { return line.substr(prefix.size()); };

    if (StartsWithNoCase(line, "Content-Type: ")) {
        result.kind = HeaderLineKind::ContentType;
        std::string_view value = value_after("Content-Type: ");
        result.value = nb::ToUtf16(value);
        result.plain_type = nb::ToUtf16(value.substr(0, value.find(';')));
    } else if (StartsWithNoCase(line, "Content-Length: ")) {
        result.kind = HeaderLineKind::ContentLength;
        long length = ParseHeaderNumber(value_after("Content-Length: "));
        // A length no response can have means "unknown", as if none was sent.
        result.number = (length < 0 || length > static_cast<long>(UINT32_MAX)) ? 0 : length;
    } else if (StartsWithNoCase(line, "Set-Cookie: ")) {
        result.kind = HeaderLineKind::SetCookie;
        result.value = StripHttpOnly(nb::ToUtf16(value_after("Set-Cookie: ")));
    } else if (StartsWithNoCase(line, "Status: ")) {
        result.number = ParseHeaderNumber(value_after("Status: "));
        bool passes = result.number == 200 || result.number == 301 || result.number == 302;
        result.kind = passes ? HeaderLineKind::Status : HeaderLineKind::StatusPage;
    } else if (StartsWithNoCase(line, "Location: ")) {
        result.kind = HeaderLineKind::Redirect;
        result.value =
            RedirectUrl(nb::ToUtf16(value_after("Location: ")), base_directory, library_name);
    }
    return result;
}

HRESULT ReadHeaderLine(Buffer& buffer, std::string& line) {
    line.resize(line.capacity());
    for (;;) {
        std::uint32_t length = 0;
        HRESULT hr =
            buffer.ReadLineA(line.data(), static_cast<std::uint32_t>(line.size()), &length);
        if (hr == E_OUTOFMEMORY) {
            line.resize(static_cast<std::size_t>(length) + 1);
            continue;
        }
        line.resize(SUCCEEDED(hr) ? length : 0);
        return hr;
    }
}

}  // namespace nb::server
