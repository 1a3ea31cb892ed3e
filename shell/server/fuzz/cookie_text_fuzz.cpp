// Any bytes as the saved cookie text read back from the registry: damaged
// lines are skipped, and what is read saves and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/server/cookie_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::vector<nb::server::SavedCookie> cookies = nb::server::ReadCookieText(text);
    const std::vector<nb::server::SavedCookie> again =
        nb::server::ReadCookieText(nb::server::SaveCookieText(cookies));
    if (again.size() != cookies.size()) std::abort();
    for (std::size_t i = 0; i < cookies.size(); ++i)
        if (again[i].expires != cookies[i].expires || again[i].url != cookies[i].url ||
            again[i].name != cookies[i].name || again[i].value != cookies[i].value)
            std::abort();
    return 0;
}
