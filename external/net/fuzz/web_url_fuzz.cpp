// URLs as scripts give them. An upload target, once accepted, is a plain
// http URL that reads back to the same host, port and path.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "external/net/upload_target.h"
#include "external/net/web_url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const auto parsed = nb::external::net::ParseWebUrl(url);
    if (parsed && nb::external::net::IsWebScheme(parsed->scheme) && parsed->host.empty())
        std::abort();
    if (parsed && parsed->path_and_query.empty()) std::abort();
    const auto target = nb::external::net::UploadTargetOf(url);
    if (!target) return 0;
    if (!parsed || !target->starts_with("http://")) std::abort();
    const auto again = nb::external::net::ParseWebUrl(*target);
    if (!again || again->host != parsed->host || again->port != parsed->port ||
        again->path_and_query != parsed->path_and_query)
        std::abort();
    return 0;
}
