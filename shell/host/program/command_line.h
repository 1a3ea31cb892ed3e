// The shell's command line: the registration switches, and the option that
// sends page console messages to standard output.
#pragma once

#include <string_view>
#include <vector>

namespace nb::shell {

enum class Registration { kNone, kRegister, kUnregister };

struct ShellOptions {
    Registration registration = Registration::kNone;
    bool console_to_stdout = false;
};

// Switches start with '-' or '/'; "UnregServer" and "RegServer" match by
// their first 11 and 9 characters in any letter case, and the first that
// matches ends the scan. "--console" (or NIMBRA_CONSOLE=1 in the
// environment, read by the caller) turns on console output.
ShellOptions ParseShellCommandLine(const std::vector<std::string_view>& arguments);

}  // namespace nb::shell
