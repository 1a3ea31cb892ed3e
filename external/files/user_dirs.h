// The user's well-known folders as xdg-user-dirs records them: lines such as
//     XDG_DESKTOP_DIR="$HOME/Desktop"
// in user-dirs.dirs of the user's configuration directory. The file is
// written by other programs (and by hand), so anything in it may be malformed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nb::external {

// The folder recorded for key (such as "XDG_MUSIC_DIR") in the text of a
// user-dirs.dirs file. A valid line is the key, "=", and a double-quoted
// value (blanks allowed around the "="; a backslash takes the next character
// literally) that starts with "$HOME" followed by "/" or its end (replaced by
// home), or with "/". Other lines, and anything after the closing quote, are
// ignored; the last valid line for the key wins, as when the shell reads the
// file. The path has no trailing slash unless it is the root. Nothing when
// the key has no valid line.
std::optional<std::string> FindUserDir(std::string_view file_text, std::string_view key,
                                       std::string_view home);

}  // namespace nb::external
