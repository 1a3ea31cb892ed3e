// A dialog's features text and URL are outside input: they come from the
// opener's page. The input is a features text, a newline, a url, a newline
// and the opener's location.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/code_pages.h"
#include "shell/host/dialogs/dialog_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\n');
    const std::size_t second =
        first == std::string_view::npos ? first : input.find('\n', first + 1);
    const std::u16string features = nb::ToUtf16(input.substr(0, first));
    const std::u16string url = first == std::string_view::npos
                                   ? std::u16string()
                                   : nb::ToUtf16(input.substr(first + 1, second - first - 1));
    const std::u16string location =
        second == std::string_view::npos ? std::u16string() : nb::ToUtf16(input.substr(second + 1));

    nb::shell::WindowSettings settings;
    settings.maximum_width = 1280;
    settings.maximum_height = 1024;
    const std::u16string_view view(features);
    nb::shell::ApplyDialogSettings(url, &view, settings);
    // Whatever the text, the dialog fits the screen and keeps its minimum.
    if (settings.width < 250 || settings.width > 1280 || settings.height < 100 ||
        settings.height > 1024 || settings.top > 1024 || settings.left > 1280)
        __builtin_trap();

    if (const auto resolved = nb::shell::ResolveDialogUrl(url, location, u"/opt/app")) {
        // A relative url always ends the result.
        if (!url.empty() && url.find(u':') == std::u16string::npos && !url.starts_with(u"../") &&
            !resolved->ends_with(url))
            __builtin_trap();
    }
    return 0;
}
