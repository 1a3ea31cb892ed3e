#include "external/files/user_dirs.h"

namespace nb::external {
namespace {

constexpr std::string_view kHomeVariable = "$HOME";

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The value after an opening quote, up to the closing one; nothing when the
// line ends first.
std::optional<std::string> ReadQuoted(std::string_view text) {
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') return value;
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        value += text[i];
    }
    return std::nullopt;
}

// A path cannot hold a zero byte, so such a value is no folder.
std::optional<std::string> Resolve(const std::string& value, std::string_view home) {
    if (value.find('\0') != std::string::npos) return std::nullopt;
    if (value.starts_with(kHomeVariable)) {
        const std::string rest = value.substr(kHomeVariable.size());
        if (!rest.empty() && rest.front() != '/') return std::nullopt;
        std::string joined = WithoutTrailingSlashes(std::string(home)) + rest;
        if (joined.starts_with("//")) joined.erase(0, 1);  // home is the root
        return joined.empty() ? "/" : WithoutTrailingSlashes(joined);
    }
    if (value.starts_with('/')) return WithoutTrailingSlashes(value);
    return std::nullopt;
}

std::optional<std::string> ParseLine(std::string_view line, std::string_view key,
                                     std::string_view home) {
    line = SkipBlanks(line);
    if (!line.starts_with(key)) return std::nullopt;
    line = SkipBlanks(line.substr(key.size()));
    if (!line.starts_with('=')) return std::nullopt;
    line = SkipBlanks(line.substr(1));
    if (!line.starts_with('"')) return std::nullopt;
    const std::optional<std::string> value = ReadQuoted(line.substr(1));
    if (!value) return std::nullopt;
    return Resolve(*value, home);
}

}  // namespace

std::optional<std::string> FindUserDir(std::string_view file_text, std::string_view key,
                                       std::string_view home) {
    std::optional<std::string> found;
    if (key.empty()) return found;
    while (!file_text.empty()) {
        const std::size_t end = file_text.find('\n');
        const std::string_view line = file_text.substr(0, end);
        if (auto path = ParseLine(line, key, home)) found = std::move(path);
        if (end == std::string_view::npos) break;
        file_text.remove_prefix(end + 1);
    }
    return found;
}

}  // namespace nb::external
