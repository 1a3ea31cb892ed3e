// A server's answer as it arrives: the header block line by line (split
// after every LF, as libcurl hands lines over) and the body as text. The
// block kept is the last one begun, and the text has one unit per two bytes
// of a UTF-16 body.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "external/net/answer_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.find("\r\n\r\n");
    const std::string_view head = bytes.substr(0, split == std::string_view::npos ? 0 : split + 4);
    const std::string_view body = bytes.substr(head.size());

    nb::external::net::AnswerHeaders headers;
    std::string_view rest = head;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line =
            rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
        headers.AddLine(line);
        rest.remove_prefix(line.size());
    }
    if (headers.Text().size() > head.size()) std::abort();
    if (!head.ends_with(headers.Text())) std::abort();
    if (headers.Complete() && (headers.Status() < 200 || !headers.Text().ends_with("\n")))
        std::abort();

    const std::u16string text = nb::external::net::DecodeAnswerText(body);
    if (body.starts_with("\xFF\xFE")) {
        if (text.size() != (body.size() + 1) / 2 || text[0] != 0xFEFF) std::abort();
    } else if (text.size() > body.size()) {
        std::abort();
    }
    return 0;
}
