// The settings file of a window, as a SettingsStore over the profile layer.
#pragma once

#include <memory>
#include <string>

#include "shell/settings/window_settings.h"

namespace nb::shell {

// The store of section "NimbraHAPF" in the INI file at path.
std::unique_ptr<SettingsStore> OpenSettingsFile(const std::u16string& path);

// The program's own path with its extension replaced by "ini" (added when
// it has none): "NbBrowser" gives "NbBrowser.ini".
std::u16string DefaultSettingsFile(const std::u16string& program_path);

}  // namespace nb::shell
