#include "shell/host/program/command_line.h"

#include "platform/text/ascii_case.h"

namespace nb::shell {
namespace {

// Switches count when they start with the word's first length letters, as
// "/RegS" does for "RegServer".
bool PrefixIgnoringCase(std::string_view text, std::string_view word, std::size_t length) {
    return StartsWithIgnoringAsciiCase(text, word.substr(0, length));
}

}  // namespace

ShellOptions ParseShellCommandLine(const std::vector<std::string_view>& arguments) {
    ShellOptions options;
    for (std::string_view argument : arguments) {
        if (argument == "--console") {
            options.console_to_stdout = true;
            continue;
        }
        if (argument.empty() || (argument[0] != '-' && argument[0] != '/')) continue;
        if (options.registration != Registration::kNone) continue;
        const std::string_view name = argument.substr(1);
        if (PrefixIgnoringCase(name, "UnregServer", 11))
            options.registration = Registration::kUnregister;
        else if (PrefixIgnoringCase(name, "RegServer", 9))
            options.registration = Registration::kRegister;
    }
    return options;
}

}  // namespace nb::shell
