// URLs as libcurl's parser reads them, checked before a transfer starts so
// that a URL that cannot be read is told apart from one that fails later.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nb::external::net {

struct WebUrl {
    std::string scheme;          // lower case, as the parser gives it
    std::string host;            // an IPv6 address keeps its brackets; empty only outside the web
    std::string port;            // the URL's port, or the scheme's default
    std::string path_and_query;  // "/" at least; the fragment is dropped
};

// Nothing when the text is no absolute URL (any scheme), or an http or https
// URL without a host.
std::optional<WebUrl> ParseWebUrl(std::string_view url);

// The scheme as the text spells it: everything before the first ":".
std::string_view SchemeAsWritten(std::string_view url);

bool IsWebScheme(std::string_view lower_case_scheme);

}  // namespace nb::external::net
