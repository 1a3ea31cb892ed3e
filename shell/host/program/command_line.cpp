#include "shell/host/program/command_line.h"

namespace nb::shell {
namespace {

bool PrefixIgnoringCase(std::string_view text, std::string_view word, std::size_t length) {
    if (text.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        char c = text[i];
        char w = word[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (w >= 'A' && w <= 'Z') w = static_cast<char>(w + 32);
        if (c != w) return false;
    }
    return true;
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
