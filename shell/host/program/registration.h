// "RegServer" and "UnregServer": the class registration of the shell's
// script object in the registry layer, and the program's desktop entry.
#pragma once

#include <string>

#include "shell/host/program/command_line.h"

namespace nb::shell {

// Runs the switch and answers the process exit code: 0, or 102 to 105 after
// showing the failing step's message.
int RunRegistration(Registration what, const std::string& program_path);

// Where the desktop entry goes: $XDG_DATA_HOME/applications.
std::string DesktopEntryPath();

}  // namespace nb::shell
