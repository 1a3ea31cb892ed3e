// Any bytes as the start of a CGI answer: the header block is taken line by
// line from the response buffer and every line is interpreted.
#include <cstdint>
#include <cstdlib>

#include "common/buffer.h"
#include "shell/server/cgi_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<nb::Buffer> buffer = nb::Buffer::Create(0);
    if (!buffer) return 0;
    buffer->Write(data, size);
    buffer->MarkComplete();
    std::string line;
    while (nb::server::ReadHeaderLine(*buffer, line) == S_OK && !line.empty()) {
        nb::server::HeaderLine header = nb::server::ParseHeaderLine(line, u"/opt/app", u"ui");
        if (header.kind == nb::server::HeaderLineKind::Redirect && header.value.empty())
            std::abort();
        if (header.kind == nb::server::HeaderLineKind::ContentLength && header.number < 0)
            std::abort();
        if (header.kind == nb::server::HeaderLineKind::StatusPage &&
            (header.number == 200 || header.number == 301 || header.number == 302)) {
            std::abort();
        }
    }
    return 0;
}
