#include "shell/server/url_parser.h"

#include <cstdint>

#include "platform/text/ascii_case.h"
#include "platform/text/code_pages.h"

namespace nb::server {
namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<std::uint8_t>(bytes[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<std::uint8_t>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

}  // namespace

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return StartsWithIgnoringAsciiCase(text, prefix);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return StartsWithIgnoringAsciiCase(text, prefix);
}

bool IsCgiExtension(std::u16string_view extension) { return StartsWithNoCase(extension, u"php"); }

std::optional<std::u16string> PercentDecode(std::u16string_view url) {
    // Escapes are decoded into bytes that must join the text as UTF-8; the
    // rest of the URL is already UTF-16 and is kept as it is.
    std::u16string decoded;
    decoded.reserve(url.size());
    std::string bytes;
    std::size_t i = 0;
    while (i < url.size()) {
        bytes.clear();
        while (i + 2 < url.size() && url[i] == u'%' && HexValue(url[i + 1]) >= 0 &&
               HexValue(url[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2])));
            i += 3;
        }
        if (!bytes.empty()) {
            if (!IsUtf8(bytes) || bytes.find('\0') != std::string::npos) return std::nullopt;
            decoded += nb::ToUtf16(bytes);
            continue;
        }
        if (url[i] == u'\0') return std::nullopt;
        decoded.push_back(url[i]);
        ++i;
    }
    return decoded;
}

std::optional<ParsedUrl> ParseUrl(std::u16string_view url, std::u16string_view shell_directory) {
    std::optional<std::u16string> canonical = PercentDecode(url);
    if (!canonical) return std::nullopt;
    std::u16string_view text = *canonical;

    std::size_t colon = text.find(u':');
    if (colon == std::u16string_view::npos || text.substr(colon + 1, 2) != u"//")
        return std::nullopt;
    std::u16string_view authority = text.substr(colon + 3);

    ParsedUrl parts;
    std::u16string_view rest;
    if (!authority.empty() && authority[0] == u'/') {
        // Absolute form: the base directory runs up to the "!" tree.
        std::size_t tree = authority.find(u"/!/");
        if (tree == std::u16string_view::npos) return std::nullopt;
        parts.base_directory = authority.substr(0, tree);
        rest = authority.substr(tree + 3);
    } else {
        parts.base_directory = shell_directory;
        rest = authority;
    }

    std::size_t slash = rest.find(u'/');
    if (slash == std::u16string_view::npos) return std::nullopt;
    parts.library_name = rest.substr(0, slash);
    std::u16string_view path = rest.substr(slash + 1);

    std::size_t question = path.find(u'?');
    std::u16string_view resource = path.substr(0, question);
    if (question != std::u16string_view::npos && question + 1 < path.size()) {
        parts.query_string = std::u16string(path.substr(question + 1));
    }
    parts.resource_name = resource;

    // The last "." before the final character, if it is not the first one.
    parts.extension = u"nbx";
    if (resource.size() >= 2) {
        for (std::size_t k = resource.size() - 1; k-- > 1;) {
            if (resource[k] == u'.') {
                parts.extension = resource.substr(k + 1);
                break;
            }
        }
    }

    const std::u16string& base = parts.base_directory;
    parts.library_path = base + u"/" + parts.library_name + u".dll";
    parts.file_path = base + u"/!/" + parts.library_name + u"/" + parts.resource_name;
    if (IsCgiExtension(parts.extension)) {
        parts.script_name = u"/" + parts.library_name + u"/" + parts.resource_name;
        parts.script_path = parts.file_path;
        parts.redirect_root = u"x-mrs://" + base + u"/!/";
        parts.redirect_directory = parts.redirect_root + parts.library_name + u"/";
    }
    return parts;
}

}  // namespace nb::server
