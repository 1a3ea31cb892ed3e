// The text rules of modal and modeless dialogs: where a dialog's URL points
// and what its features string does to the dialog's settings. Both texts
// come from pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shell/settings/window_settings.h"

namespace nb::shell {

// The URL a dialog opened with url loads, seen from the opener's location
// (its last completed navigation):
// - a url with "//" right after its first ':' is kept;
// - otherwise nothing when location has no ':';
// - "/path" becomes the location's scheme, ":/" and the path: for "x-mrs"
//   the short form, relative to the application; other schemes with a host
//   keep the location's "scheme://host" before the path;
// - anything else is relative to the location made absolute by the
//   navigation rule (program_directory), its query and fragment dropped:
//   the base is cut after its last '/', and each leading "../" with at least
//   three characters after it climbs one folder (never above "scheme://").
// Nothing as well when that location has no path to be relative to.
std::optional<std::u16string> ResolveDialogUrl(std::u16string_view url,
                                               std::u16string_view location,
                                               std::u16string_view program_directory);

// Load-settings for a dialog with a dialog URL: the URL becomes the start
// page, top and left 0 (centred), fixed size, scroll bars and title bar on,
// then the features (when given) apply.
void ApplyDialogSettings(std::u16string_view url, const std::u16string_view* features,
                         WindowSettings& settings);

// The features string, lower-cased, as "name:value" pairs separated by ';'.
// Blanks and ';' before a name are skipped; values are compared exactly.
// "resizable" yes/on/1, "scroll" no/off/0, "unadorned" yes/on/1,
// "dialogwidth" (at least 250), "dialogheight" (at least 100), "dialogtop",
// "dialogleft" (leading decimal numbers; a unit suffix is ignored) and
// "dialogstate" minimized/maximized/fullscreen/hidden. Sizes and positions
// are held to the record's maximum size (the screen, for dialogs). Unknown
// names and names without a value are ignored.
void ApplyDialogFeatures(std::u16string_view features, WindowSettings& settings);

}  // namespace nb::shell
