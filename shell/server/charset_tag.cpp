#include "shell/server/charset_tag.h"

#include <array>

#include "shell/server/url_parser.h"

namespace nb::server {
namespace {

struct ByteOrderMark {
    std::string_view bytes;  // its length is the minimum data length
    std::u16string_view charset;
};

// Later rows override earlier ones.
constexpr std::array<ByteOrderMark, 9> kMarks = {{
    {"\xEF\xBB\xBF", u"UTF-8"},
    {"\xFF\xFE", u"UTF-16LE"},
    {"\xFE\xFF", u"UTF-16BE"},
    {std::string_view("\xFF\xFE\x00\x00", 4), u"UTF-32LE"},
    {std::string_view("\x00\x00\xFE\xFF", 4), u"UTF-32BE"},
    {"\x0E\xFE\xFF", u"SCSU"},
    {"\xFB\xEE\x28", u"BOCU-1"},
    {"\x2B\x2F\x76", u"UTF-7"},
    {"\xDD\x73\x66\x73", u"UTF-EBCDIC"},
}};

}  // namespace

std::u16string_view CharsetForData(std::string_view data) {
    std::u16string_view found;
    for (const ByteOrderMark& mark : kMarks) {
        if (data.substr(0, mark.bytes.size()) == mark.bytes) found = mark.charset;
    }
    return found;
}

std::u16string TypedContentType(std::u16string_view content_type, std::string_view data) {
    std::u16string typed(content_type);
    if (!StartsWithNoCase(content_type, u"text/")) return typed;
    std::u16string_view charset = CharsetForData(data);
    if (!charset.empty()) typed.append(u"; charset=").append(charset);
    return typed;
}

}  // namespace nb::server
