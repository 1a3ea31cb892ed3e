#include "shell/host/window/navigation.h"

#include "platform/text/ascii_case.h"

namespace nb::shell {

std::u16string MakeAbsoluteUrl(std::u16string_view url, std::u16string_view program_directory) {
    const bool is_mrs = StartsWithIgnoringAsciiCase(url, u"x-mrs:");
    if (!is_mrs && !StartsWithIgnoringAsciiCase(url, u"file:") &&
        !StartsWithIgnoringAsciiCase(url, u"res:"))
        return std::u16string(url);
    const std::size_t colon = url.find(u':');
    const std::u16string_view scheme = url.substr(0, colon);
    std::u16string_view rest = url.substr(colon + 1);
    // The drive form here is an absolute POSIX path after "//".
    if (rest.starts_with(u"///")) return std::u16string(url);
    if (rest.starts_with(u"//")) rest.remove_prefix(2);
    std::u16string absolute(scheme);
    absolute += u"://";
    absolute += program_directory;
    absolute += is_mrs ? u"/!/" : u"/";
    absolute += rest;
    return absolute;
}

}  // namespace nb::shell
