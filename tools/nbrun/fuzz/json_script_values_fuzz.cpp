// Any JSON text nbrun accepts becomes script values (real NbUtils arrays)
// and comes back as the same JSON, except that integers outside 32 bits come
// back as the nearest double. Objects and too deep nesting are refused.
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/automation/automation.h"
#include "tools/nbrun/script_json.h"

namespace {

using nlohmann::json;

// What the round trip gives for json_value, or nothing when it must be refused.
std::optional<json> Expected(const json& json_value, int depth) {
    if (json_value.is_object()) return std::nullopt;
    if (json_value.is_array()) {
        if (depth >= nb::nbrun::kMaxArrayNesting) return std::nullopt;
        json elements = json::array();
        for (const json& element : json_value) {
            std::optional<json> expected = Expected(element, depth + 1);
            if (!expected) return std::nullopt;
            elements.push_back(std::move(*expected));
        }
        return elements;
    }
    if (json_value.is_number_unsigned() &&
        json_value.get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max())
        return json(static_cast<double>(json_value.get<std::uint64_t>()));
    if (json_value.is_number_integer()) {
        const std::int64_t number = json_value.get<std::int64_t>();
        if (number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max())
            return json(static_cast<double>(number));
    }
    return json_value;
}

// Texts nested far beyond what is converted are left out before the
// recursive comparisons below can exhaust the stack. Brackets inside strings
// count too; the check only needs to be generous.
bool NestedTooDeeply(const std::uint8_t* data, std::size_t size) {
    int depth = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '[' || data[i] == '{') ++depth;
        if (data[i] == ']' || data[i] == '}') --depth;
        if (depth > 4 * nb::nbrun::kMaxArrayNesting) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool directory_set = NbSetApplicationDirectory(NB_FUZZ_APP_DIR);
    (void)directory_set;
    if (NestedTooDeeply(data, size)) return 0;
    const json parsed = json::parse(data, data + size, nullptr, false);
    if (parsed.is_discarded()) return 0;

    nb::Variant value;
    const HRESULT converted = nb::nbrun::JsonToScriptValue(parsed, &value);
    const std::optional<json> expected = Expected(parsed, 0);
    if (!expected) {
        if (converted != E_INVALIDARG || value.vt != VT_EMPTY) std::abort();
        return 0;
    }
    if (FAILED(converted)) std::abort();
    if (nb::nbrun::ScriptValueToJson(value) != *expected) std::abort();
    return 0;
}
