#include "external/ui/file_filters.h"

#include <optional>

#include "common/script_array.h"
#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"

namespace nb::external {
namespace {

// Element index of entry as a text; nothing when it is missing or no string
// (a number or an object must not be read as one).
std::optional<std::u16string> TextElement(const VARIANT& entry, LONG index) {
    Variant element;
    if (FAILED(NB_ARRAY_GETELEMENT(&entry, index, &element)) || element.vt != VT_BSTR)
        return std::nullopt;
    return std::u16string(NbBstrView(element.bstrVal));
}

}  // namespace

Expected<std::vector<NbFileFilter>, int> ReadFileFilters(const VARIANT& list) {
    LONG count = 0;
    if (FAILED(NB_ARRAY_GETLENGTH(&list, &count)) || count < 0) return Unexpected(1);
    if (count == 0) return std::vector<NbFileFilter>{{u"All Files", u"*"}};
    std::vector<NbFileFilter> filters;
    filters.reserve(static_cast<std::size_t>(count));
    for (LONG index = 0; index < count; ++index) {
        Variant entry;
        if (FAILED(NB_ARRAY_GETELEMENT(&list, index, &entry)) || entry.vt != VT_DISPATCH)
            return Unexpected(2);
        LONG length = 0;
        if (FAILED(NB_ARRAY_GETLENGTH(&entry, &length))) return Unexpected(3);
        std::optional<std::u16string> description = TextElement(entry, 0);
        if (!description) return Unexpected(4);
        std::optional<std::u16string> pattern = TextElement(entry, 1);
        if (!pattern) return Unexpected(5);
        filters.push_back({std::move(*description), std::move(*pattern)});
    }
    return filters;
}

std::u16string BadFilterMessage(int rule) {
    return u"Catastrophic: Bad filter definition (" + std::u16string(1, u'0' + rule) + u")";
}

}  // namespace nb::external
