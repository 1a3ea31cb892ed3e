// Environment references in any text. The expansion is checked against the
// text itself: with no variable set, nothing changes; with every lookup
// answering an empty value, no reference can add text.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "external/system/environment.h"

namespace {

std::optional<std::u16string> Unset(std::u16string_view) { return std::nullopt; }
std::optional<std::u16string> Empty(std::u16string_view) { return std::u16string(); }
std::optional<std::u16string> Named(std::u16string_view name) {
    return std::u16string(u"<") + std::u16string(name) + u">";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    using nb::external::ExpandEnvironment;
    const auto unchanged = ExpandEnvironment(text, &Unset);
    if (text.size() <= nb::external::kMaxExpandedLength && unchanged != text) std::abort();
    const auto emptied = ExpandEnvironment(text, &Empty);
    if (emptied && emptied->size() > text.size()) std::abort();
    const auto named = ExpandEnvironment(text, &Named);
    if (named && named->size() > nb::external::kMaxExpandedLength) std::abort();
    return 0;
}
