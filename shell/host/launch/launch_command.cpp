#include "shell/host/launch/launch_command.h"

#include <glib.h>

#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

// Stands for the url while the command is split: private-use characters no
// shell treats specially, so the url itself is never split or unquoted.
constexpr std::u16string_view kUrlMarker = u"\uE000\uE001";

std::string WithUrl(std::string text, std::string_view marker, std::string_view url) {
    for (std::size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + url.size()))
        text.replace(at, marker.size(), url);
    return text;
}

bool IsFileOrUrlCode(char16_t code) {
    return code == u'f' || code == u'F' || code == u'u' || code == u'U';
}

}  // namespace

std::u16string_view UpToNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

LaunchCommand SplitLaunchCommand(std::u16string_view command, std::u16string_view url) {
    url = UpToNul(url);
    std::u16string text(UpToNul(command));
    if (const std::size_t at = text.find(u"%1"); at != std::u16string::npos) {
        text.replace(at, 2, url);
    } else {
        if (text.empty() || text.front() != u'"') text = u"\"" + text + u"\"";
        text.append(u" \"").append(url).append(u"\"");
    }
    LaunchCommand split;
    std::size_t rest = 0;
    if (!text.empty() && text.front() == u'"') {
        const std::size_t end = text.find(u'"', 1);
        split.program =
            text.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
        rest = end == std::u16string::npos ? text.size() : end + 1;
    } else {
        const std::size_t end = text.find(u' ');
        split.program = text.substr(0, end);
        rest = end == std::u16string::npos ? text.size() : end;
    }
    while (rest < text.size() && text[rest] == u' ') ++rest;
    split.parameters = text.substr(rest);
    return split;
}

std::optional<std::vector<std::string>> LaunchArguments(std::u16string_view command,
                                                        std::u16string_view url) {
    const LaunchCommand split = SplitLaunchCommand(command, kUrlMarker);
    const std::string marker = ToUtf8(kUrlMarker);
    const std::string url_text = ToUtf8(UpToNul(url));
    std::vector<std::string> arguments{WithUrl(ToUtf8(split.program), marker, url_text)};
    if (arguments.front().empty()) return std::nullopt;
    const std::string parameters = ToUtf8(split.parameters);
    glib::Strv words;
    glib::Error error;
    if (!g_shell_parse_argv(parameters.c_str(), nullptr, glib::Out(words), glib::Out(error))) {
        // Parameters of nothing but blanks are no parameters.
        const bool empty = g_error_matches(error.get(), G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING);
        if (!empty || split.program.find(kUrlMarker) == std::u16string::npos) return std::nullopt;
        return arguments;
    }
    bool has_url = split.program.find(kUrlMarker) != std::u16string::npos;
    for (gchar** word = words.get(); *word; ++word) {
        has_url = has_url || std::string_view(*word).find(marker) != std::string_view::npos;
        arguments.push_back(WithUrl(*word, marker, url_text));
    }
    // A url the split lost (in a shell comment) would start the browser
    // without it.
    if (!has_url) return std::nullopt;
    return arguments;
}

std::u16string CommandFromDesktopExec(std::u16string_view exec) {
    std::u16string command;
    bool placed = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != u'%') {
            command.push_back(exec[i]);
            continue;
        }
        if (i + 1 == exec.size()) break;  // a lone percent sign at the end is no field code
        const char16_t code = exec[++i];
        if (code == u'%') {
            command.push_back(u'%');
        } else if (IsFileOrUrlCode(code) && !placed) {
            command.append(u"%1");
            placed = true;
        }
    }
    return command;
}

}  // namespace nb::shell
