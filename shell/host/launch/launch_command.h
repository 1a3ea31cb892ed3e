// The text rules of LaunchBrowser: how a browser command line and a url make
// a program and its parameters, and how a desktop entry's Exec line becomes
// such a command line. Pure; commands come from the registry and from
// desktop files, so everything here takes any text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nb::shell {

// Command lines and arguments are C strings: a text ends at its first NUL.
std::u16string_view UpToNul(std::u16string_view text);

struct LaunchCommand {
    std::u16string program;
    std::u16string parameters;
};

// The url goes in place of the first "%1"; without one it is appended as a
// quoted argument, the command quoted first unless it starts with a quote.
// The result is split: a quoted program ends at the next quote, otherwise at
// the first space; the parameters follow, leading spaces skipped.
LaunchCommand SplitLaunchCommand(std::u16string_view command, std::u16string_view url);

// The argument vector (UTF-8) that starts the command for url: the program
// as found, then the parameters split as a POSIX shell splits words (quotes
// and backslashes, no expansion). The url is placed after the split, so it
// is always part of one argument, whatever quotes or spaces it holds.
// Nothing when the parameters do not split (an unbalanced quote), the url
// does not survive the split (a shell comment) or the program is empty.
std::optional<std::vector<std::string>> LaunchArguments(std::u16string_view command,
                                                        std::u16string_view url);

// A desktop entry's Exec line as a command: the first of the file and url
// field codes (%f %F %u %U) becomes %1, later ones are dropped, "%%" is a
// percent sign and every other field code (%i %c %k and the deprecated ones)
// is dropped.
std::u16string CommandFromDesktopExec(std::u16string_view exec);

}  // namespace nb::shell
