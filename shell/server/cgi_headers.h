// The header lines of a CGI answer: what each line asks the server to do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/buffer.h"

namespace nb::server {

// A decimal integer as header values hold it: leading spaces, tabs, CR and
// LF skipped, one sign, digits up to the first other character ("404 Not
// Found" is 404). No digits give 0; values beyond the range of long saturate.
long ParseHeaderNumber(std::string_view text);

// The URL a "Location:" target leads to: URLs with a scheme unchanged, a
// target starting with "/" inside the "!" tree, anything else beside the
// current page's library directory.
std::u16string RedirectUrl(std::u16string_view target, std::u16string_view base_directory,
                           std::u16string_view library_name);

// A "Set-Cookie:" value without a trailing "HttpOnly" and the spaces and
// semicolons before it.
std::u16string_view StripHttpOnly(std::u16string_view cookie);

enum class HeaderLineKind {
    Other,          // ignored
    ContentType,    // value: the full type; plain_type: the part before ";"
    ContentLength,  // number: the length (0 for a negative one)
    SetCookie,      // value: the cookie to store
    Status,         // number: 200, 301 or 302; go on
    StatusPage,     // number: any other status; answer with its status page
    Redirect,       // value: the new URL
};

struct HeaderLine {
    HeaderLineKind kind = HeaderLineKind::Other;
    std::u16string value;
    std::u16string plain_type;
    long number = 0;
};

// Prefixes are compared without regard to case, the space after the colon
// included. Values are UTF-8.
HeaderLine ParseHeaderLine(std::string_view line, std::u16string_view base_directory,
                           std::u16string_view library_name);

// Takes the next CR LF line of the header block into line (reallocating as
// the buffer asks). S_OK with the line, or the buffer's failure: E_FAIL when
// no complete line is left, E_PENDING when nothing is left at all.
HRESULT ReadHeaderLine(Buffer& buffer, std::string& line);

}  // namespace nb::server
