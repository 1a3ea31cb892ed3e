// Any text as an x-mrs URL: parsing never fails other than by saying so, and
// what it returns is consistent with the URL's own parts.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/text/code_pages.h"
#include "shell/server/url_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string url = nb::ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    std::optional<nb::server::ParsedUrl> parts = nb::server::ParseUrl(url, u"/opt/shell");
    if (!parts) return 0;
    // The derived strings are built from the parts, never the other way round.
    if (parts->file_path !=
        parts->base_directory + u"/!/" + parts->library_name + u"/" + parts->resource_name) {
        std::abort();
    }
    if (parts->library_name.find(u'/') != std::u16string::npos) std::abort();
    if (parts->resource_name.find(u'?') != std::u16string::npos) std::abort();
    if (parts->query_string && parts->query_string->empty()) std::abort();
    if (parts->extension.empty()) std::abort();
    if (nb::server::IsCgiExtension(parts->extension) != !parts->script_name.empty()) std::abort();
    return 0;
}
