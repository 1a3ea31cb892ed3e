#include "external/system/environment.h"

#include <cstdlib>

#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

bool IsNameStart(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}
bool IsNamePart(char16_t c) { return IsNameStart(c) || (c >= u'0' && c <= u'9'); }

// One reference found at the start of the text: how many units it spans and
// the variable it names.
struct Reference {
    std::size_t length = 0;
    std::u16string_view name;
};

// "%NAME%", or nothing when no second "%" follows.
std::optional<Reference> PercentReference(std::u16string_view text) {
    const std::size_t close = text.find(u'%', 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    return Reference{close + 1, text.substr(1, close - 1)};
}

// "$NAME" or "${NAME}", or nothing when the "$" starts neither.
std::optional<Reference> DollarReference(std::u16string_view text) {
    if (text.size() > 1 && text[1] == u'{') {
        const std::size_t close = text.find(u'}', 2);
        if (close == std::u16string_view::npos) return std::nullopt;
        const std::u16string_view name = text.substr(2, close - 2);
        if (name.empty() || !IsNameStart(name.front())) return std::nullopt;
        for (char16_t c : name)
            if (!IsNamePart(c)) return std::nullopt;
        return Reference{close + 1, name};
    }
    if (text.size() < 2 || !IsNameStart(text[1])) return std::nullopt;
    std::size_t end = 2;
    while (end < text.size() && IsNamePart(text[end])) ++end;
    return Reference{end, text.substr(1, end - 1)};
}

std::optional<Reference> ReferenceAt(std::u16string_view text) {
    if (text.front() == u'%') return PercentReference(text);
    if (text.front() == u'$') return DollarReference(text);
    return std::nullopt;
}

std::optional<std::u16string> ProcessVariable(std::u16string_view name) {
    if (name.empty() || name.find_first_of(std::u16string_view(u"=\0", 2)) != name.npos)
        return std::nullopt;
    const char* value = std::getenv(ToUtf8(name).c_str());
    if (!value) return std::nullopt;
    return ToUtf16(value);
}

}  // namespace

std::optional<std::u16string> ExpandEnvironment(std::u16string_view text,
                                                const EnvironmentLookup& lookup) {
    std::u16string expanded;
    while (!text.empty()) {
        const std::size_t next = text.find_first_of(u"%$");
        expanded.append(text.substr(0, next));
        if (next == std::u16string_view::npos) break;
        text.remove_prefix(next);
        const std::optional<Reference> reference = ReferenceAt(text);
        const std::size_t span = reference ? reference->length : 1;
        std::optional<std::u16string> value;
        if (reference) value = lookup(reference->name);
        if (value)
            expanded.append(*value);
        else
            expanded.append(text.substr(0, span));
        text.remove_prefix(span);
        if (expanded.size() > kMaxExpandedLength) return std::nullopt;
    }
    if (expanded.size() > kMaxExpandedLength) return std::nullopt;
    return expanded;
}

std::optional<std::u16string> ExpandEnvironment(std::u16string_view text) {
    return ExpandEnvironment(text, &ProcessVariable);
}

}  // namespace nb::external
