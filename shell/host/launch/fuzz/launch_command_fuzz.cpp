// Browser commands (registry values, desktop Exec lines) and dropped URI
// lists are outside input. The input is a command, a newline and a url; its
// lines are also taken as a dropped URI list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/code_pages.h"
#include "shell/host/drop/drop_rules.h"
#include "shell/host/launch/launch_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::u16string command = nb::ToUtf16(input.substr(0, newline));
    const std::u16string url =
        nb::ToUtf16(newline == std::string_view::npos ? "" : input.substr(newline + 1));
    for (const std::u16string& line : {command, nb::shell::CommandFromDesktopExec(command)}) {
        nb::shell::SplitLaunchCommand(line, url);
        // Whatever the command, the url reaches the program whole.
        if (const auto arguments = nb::shell::LaunchArguments(line, url)) {
            const std::string whole = nb::ToUtf8(nb::shell::UpToNul(url));
            bool found = false;
            for (const std::string& argument : *arguments)
                found = found || argument.find(whole) != std::string::npos;
            if (!found) __builtin_trap();
        }
    }
    std::vector<std::string> uris;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        uris.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    for (const std::u16string& path : nb::shell::DroppedPaths(uris))
        if (path.size() > nb::shell::kMaxDropPath) __builtin_trap();
    return 0;
}
