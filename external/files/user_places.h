// Where the user's own files live, by the XDG base-directory and user-dirs
// conventions. Paths are narrow text (UTF-8) without a trailing slash.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nb::external {

// $HOME when it holds an absolute path, else the user's entry in the
// password database; nothing when neither is known.
std::optional<std::string> HomeDirectory();

// $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_CACHE_HOME when they hold an
// absolute path (the convention ignores relative ones), else ~/.config,
// ~/.local/share and ~/.cache.
std::optional<std::string> ConfigHome();
std::optional<std::string> DataHome();
std::optional<std::string> CacheHome();

// The folder user-dirs.dirs in the configuration directory records for key,
// else home + "/" + default_name.
std::optional<std::string> UserDirectory(std::string_view key, std::string_view default_name);

}  // namespace nb::external
