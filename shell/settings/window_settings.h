// The settings record of a shell window: what the settings file holds, the
// win_* properties show, and apply-settings pushes onto the window. Plain
// data and the rules on it; the window and the file are elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/variant.h"

namespace nb::shell {

enum class WindowType : std::int32_t {
    kMain = 0,
    kNewWindow = 1,
    kModalDialog = 2,
    kModelessDialog = 3
};

enum class WindowState : std::int32_t {
    kNormal = 1,
    kMinimized = 2,
    kMaximized = 3,
    kFullscreen = 4,
    kHidden = 5,
};

inline constexpr char16_t kSettingsSection[] = u"NimbraHAPF";

struct WindowSettings {
    std::u16string settings_file;
    std::u16string application_name = u"Untitled Application";
    std::u16string startup_url = u"about:blank";
    std::u16string user_agent = u"Nimbra/3.5.0";
    std::u16string language = u"en-us";
    std::uint32_t width = 800;
    std::uint32_t height = 600;
    std::uint32_t top = 0;
    std::uint32_t left = 0;
    std::uint32_t minimum_width = 200;
    std::uint32_t minimum_height = 100;
    std::uint32_t maximum_width = 1024;
    std::uint32_t maximum_height = 769;
    std::uint32_t minimize_button = 1;
    std::uint32_t maximize_button = 1;
    std::uint32_t close_button = 1;
    std::uint32_t title_bar = 1;
    std::uint32_t top_most = 0;
    WindowState state = WindowState::kNormal;
    std::uint32_t resizable = 1;
    std::uint32_t scroll_bars = 1;
    std::uint32_t text_selection = 0;
    std::uint32_t alpha = 0;
    std::uint32_t transparency = 0;
    std::u16string color_key = u"000000";
    std::uint32_t minimize_to_systray = 0;
    std::uint32_t close_to_systray = 0;
    std::uint32_t silent = 0;
    std::uint32_t dpi_aware = 0;
};

// The non-client sizes apply-settings derives from the frame switches.
struct WindowMetrics {
    std::int32_t frame_width = 0;
    std::int32_t frame_height = 0;
    std::int32_t left_inset = 0;
    std::int32_t top_inset = 0;
};

struct ScreenSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Where the settings live: one section of an INI file.
class SettingsStore {
   public:
    virtual std::u16string ReadText(std::u16string_view key, std::u16string_view fallback) = 0;
    // GetPrivateProfileInt semantics: fallback when missing, 0 when unreadable.
    virtual std::uint32_t ReadNumber(std::u16string_view key, std::uint32_t fallback) = 0;
    virtual bool WriteText(std::u16string_view key, std::u16string_view value) = 0;
    virtual ~SettingsStore() = default;
};

// Text values read from the file are cut here.
inline constexpr std::size_t kMaxSettingText = 1023;

// Reads every key over the defaults, then applies the window-type overrides
// (the dialog URL and features are the dialog code's).
WindowSettings LoadSettings(SettingsStore& store, WindowType type, ScreenSize screen);
// Writes the keys in the file's order; false when a checked write failed.
bool SaveSettings(const WindowSettings& settings, SettingsStore& store);

// "normal", "minimized", "maximized", "fullscreen", "hidden", any letter case.
std::optional<WindowState> StateFromName(std::u16string_view name);
std::u16string_view StateName(WindowState state);
// The property's reading: hidden reads as "normal".
std::u16string_view StateReading(WindowState state);

// Property arguments. Numbers take VT_I4, VT_INT and VT_UINT as they are and
// decimal text; switches VT_BOOL, "true"/"1" text and the integer 1.
std::uint32_t NumberArgument(const VARIANT& value);
bool SwitchArgument(const VARIANT& value);
// Leading blanks, an optional sign, digits up to the first non-digit.
std::uint32_t NumberFromText(std::u16string_view text);

// RRGGBB text (one leading '#' allowed) as 0x00BBGGRR; black when shorter
// than six characters; non-hex characters count as 0.
std::uint32_t ColorKeyToColor(std::u16string_view text);
// The layered-window alpha byte for win_Alpha percent (already clamped).
std::uint8_t AlphaByte(std::uint32_t alpha_percent);

// A top (or left) of 0 becomes centred, rounding toward minus infinity, and
// a window reaching past the work area is pulled back into it.
std::int64_t CenteredPosition(std::int64_t position, std::int64_t work_size,
                              std::int64_t frame_size, std::int64_t client_size);

// Pixels of a record position and size at a scale. A position is a signed
// coordinate stored unsigned (a settings file may hold -5); X11 coordinates
// and sizes are 16-bit, so both are kept in that range.
int ScreenPosition(std::uint32_t value, float scale);
int ScreenExtent(std::uint32_t value, float scale);

// Clamps a width or height put by script into [minimum, maximum].
std::uint32_t ClampSize(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum);

}  // namespace nb::shell
