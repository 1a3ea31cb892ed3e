#include "external/net/web_url.h"

#include <curl/curl.h>

#include <memory>

namespace nb::external::net {
namespace {

struct CurlUrlCleanup {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlTextFree {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> Part(CURLU* url, CURLUPart part, unsigned int flags) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK || !raw) return std::nullopt;
    const std::unique_ptr<char, CurlTextFree> owned(raw);
    return std::string(raw);
}

}  // namespace

std::optional<WebUrl> ParseWebUrl(std::string_view url) {
    // The parser reads zero-terminated text: an embedded zero would cut it.
    if (url.find('\0') != std::string_view::npos) return std::nullopt;
    const std::unique_ptr<CURLU, CurlUrlCleanup> handle(curl_url());
    const std::string text(url);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(),
                                CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    std::optional<std::string> scheme = Part(handle.get(), CURLUPART_SCHEME, 0);
    std::optional<std::string> host = Part(handle.get(), CURLUPART_HOST, 0);
    std::optional<std::string> port = Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    std::optional<std::string> path = Part(handle.get(), CURLUPART_PATH, 0);
    // Only web URLs need a host ("file:///etc/hosts" has none).
    if (!scheme || !path || (IsWebScheme(*scheme) && (!host || host->empty()))) return std::nullopt;
    WebUrl parsed{*scheme, host.value_or(""), port.value_or(""), *path};
    if (std::optional<std::string> query = Part(handle.get(), CURLUPART_QUERY, 0))
        parsed.path_and_query += "?" + *query;
    return parsed;
}

std::string_view SchemeAsWritten(std::string_view url) { return url.substr(0, url.find(':')); }

bool IsWebScheme(std::string_view lower_case_scheme) {
    return lower_case_scheme == "http" || lower_case_scheme == "https";
}

}  // namespace nb::external::net
