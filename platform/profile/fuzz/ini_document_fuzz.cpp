// Parses the input as an INI file and applies edits taken from it. The input
// is split at zero bytes: the file text, then groups of an operation letter
// ("s" set, "k" delete key, "d" delete section), section, key and value.
// Checks: an unedited text serializes to its very bytes, and finding each of
// its values in the text gives the document's value; after each edit the
// edited key reads as set (or as missing), also after a serialize and parse
// round trip; and every other key keeps its value.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile/ini_document.h"
#include "platform/text/case_fold.h"
#include "platform/text/code_pages.h"

namespace {

constexpr std::size_t kMaxEdits = 8;

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string_view> Split(std::string_view input) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t zero = input.find('\0');
        parts.push_back(input.substr(0, zero));
        if (zero == std::string_view::npos) return parts;
        input.remove_prefix(zero + 1);
    }
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    auto blank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return nb::EqualIgnoringCase(TrimBlanks(a), TrimBlanks(b));
}

// Every readable (section, key) of the document with its value.
std::vector<std::pair<std::pair<std::u16string, std::u16string>, std::u16string>> Snapshot(
    const nb::IniDocument& document) {
    std::vector<std::pair<std::pair<std::u16string, std::u16string>, std::u16string>> values;
    for (const std::u16string& section : document.SectionNames())
        for (const std::u16string& key : document.KeyNames(section))
            if (std::optional<std::u16string> value = document.Get(section, key))
                values.push_back({{section, key}, *value});
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts = Split(input);
    nb::IniDocument document = nb::IniDocument::Parse(parts[0]);
    Check(document.Serialize() == parts[0]);
    // Finding a value in the text gives what the document holds.
    for (const auto& [where, value] : Snapshot(document))
        Check(nb::IniDocument::Find(parts[0], where.first, where.second) == value);

    for (std::size_t i = 1, edits = 0; i + 3 < parts.size() && edits < kMaxEdits; i += 4, ++edits) {
        char operation = parts[i].empty() ? 's' : parts[i][0];
        std::u16string section = nb::ToUtf16(parts[i + 1]);
        std::u16string key = nb::ToUtf16(parts[i + 2]);
        std::u16string value = nb::ToUtf16(parts[i + 3]);
        auto before = Snapshot(document);
        nb::IniDocument::EditResult result;
        if (operation == 'k')
            result = document.DeleteKey(section, key);
        else if (operation == 'd')
            result = document.DeleteSection(section);
        else
            result = document.Set(section, key, value);

        nb::IniDocument reread = nb::IniDocument::Parse(document.Serialize());
        Check(reread.Serialize() == document.Serialize());
        if (result == nb::IniDocument::EditResult::kRejected) continue;
        Check(nb::IniDocument::Find(document.Serialize(), section, key) ==
              reread.Get(section, key));
        for (const nb::IniDocument* view : {&document, &reread}) {
            std::optional<std::u16string> now = view->Get(section, key);
            if (operation == 'k' || operation == 'd')
                Check(!now.has_value());
            else
                Check(now == value);
        }
        // Keys of other sections, and other keys of the same section, keep
        // their values (a deleted section takes all of its keys).
        for (const auto& [where, old_value] : before) {
            bool same_section = SameName(where.first, section);
            if (same_section && (operation == 'd' || SameName(where.second, key))) continue;
            Check(reread.Get(where.first, where.second) == old_value);
        }
    }
    return 0;
}
