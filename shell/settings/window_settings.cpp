#include "shell/settings/window_settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "common/variant_text.h"
#include "platform/text/ascii_case.h"
#include "platform/text/decimal_prefix.h"

namespace nb::shell {
namespace {

struct StateEntry {
    WindowState state;
    std::u16string_view name;
};

constexpr std::array<StateEntry, 5> kStateNames = {{
    {WindowState::kNormal, u"normal"},
    {WindowState::kMinimized, u"minimized"},
    {WindowState::kMaximized, u"maximized"},
    {WindowState::kFullscreen, u"fullscreen"},
    {WindowState::kHidden, u"hidden"},
}};

std::u16string Cut(std::u16string text) {
    if (text.size() > kMaxSettingText) text.resize(kMaxSettingText);
    return text;
}

std::u16string Decimal(std::uint32_t value) {
    // Written as signed decimal, as the file has always held them.
    const std::string text = std::to_string(static_cast<std::int32_t>(value));
    return {text.begin(), text.end()};
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return 0;
}

}  // namespace

WindowSettings LoadSettings(SettingsStore& store, WindowType type, ScreenSize screen) {
    WindowSettings s;
    s.application_name = Cut(store.ReadText(u"win_ApplicationName", s.application_name));
    s.startup_url = Cut(store.ReadText(u"win_StartupURL", s.startup_url));
    s.user_agent = Cut(store.ReadText(u"web_UserAgent", s.user_agent));
    s.language = Cut(store.ReadText(u"win_Language", s.language));
    s.color_key = Cut(store.ReadText(u"win_ColorKey", s.color_key));
    s.width = store.ReadNumber(u"win_Width", s.width);
    s.height = store.ReadNumber(u"win_Height", s.height);
    s.top = store.ReadNumber(u"win_Top", s.top);
    s.left = store.ReadNumber(u"win_Left", s.left);
    s.minimum_width = store.ReadNumber(u"win_MinimumWidth", s.minimum_width);
    s.minimum_height = store.ReadNumber(u"win_MinimumHeight", s.minimum_height);
    s.maximum_width = store.ReadNumber(u"win_MaximumWidth", s.maximum_width);
    s.maximum_height = store.ReadNumber(u"win_MaximumHeight", s.maximum_height);
    s.minimize_button = store.ReadNumber(u"win_MinimizeButton", s.minimize_button);
    s.maximize_button = store.ReadNumber(u"win_MaximizeButton", s.maximize_button);
    s.close_button = store.ReadNumber(u"win_CloseButton", s.close_button);
    s.title_bar = store.ReadNumber(u"win_TitleBar", s.title_bar);
    s.top_most = store.ReadNumber(u"win_TopMost", s.top_most);
    s.resizable = store.ReadNumber(u"win_Resizable", s.resizable);
    s.scroll_bars = store.ReadNumber(u"win_ScrollBars", s.scroll_bars);
    s.text_selection = store.ReadNumber(u"win_TextSelection", s.text_selection);
    s.alpha = store.ReadNumber(u"win_Alpha", s.alpha);
    s.transparency = store.ReadNumber(u"win_Transparency", s.transparency);
    s.minimize_to_systray = store.ReadNumber(u"win_MinimizeToSystray", s.minimize_to_systray);
    s.close_to_systray = store.ReadNumber(u"win_CloseToSystray", s.close_to_systray);
    s.silent = store.ReadNumber(u"win_Silent", s.silent);
    s.dpi_aware = store.ReadNumber(u"win_DpiAware", s.dpi_aware);
    s.state = StateFromName(store.ReadText(u"win_State", u"normal")).value_or(WindowState::kNormal);
    if (type != WindowType::kMain) {
        s.maximum_width = static_cast<std::uint32_t>(screen.width);
        s.maximum_height = static_cast<std::uint32_t>(screen.height);
        s.minimize_button = s.maximize_button = s.close_button = 1;
        s.state = WindowState::kNormal;
        s.minimize_to_systray = s.close_to_systray = 0;
        s.alpha = s.transparency = 0;
        s.minimum_width = 200;
        s.minimum_height = 100;
        if (type == WindowType::kNewWindow) {
            s.width = static_cast<std::uint32_t>(screen.width - 150);
            s.height = static_cast<std::uint32_t>(screen.height - 150);
            s.title_bar = s.resizable = s.scroll_bars = 1;
        } else {
            s.minimize_button = s.maximize_button = 0;
            s.close_button = 1;
        }
    }
    return s;
}

bool SaveSettings(const WindowSettings& s, SettingsStore& store) {
    if (!store.WriteText(u"win_ApplicationName", s.application_name) ||
        !store.WriteText(u"win_StartupURL", s.startup_url) ||
        !store.WriteText(u"win_Language", s.language))
        return false;
    // A failed write of the middle keys shows in the checked ones that follow:
    // they go to the same file.
    store.WriteText(u"win_Width", Decimal(s.width));
    store.WriteText(u"win_Height", Decimal(s.height));
    store.WriteText(u"win_Top", Decimal(s.top));
    store.WriteText(u"win_Left", Decimal(s.left));
    store.WriteText(u"win_MinimumWidth", Decimal(s.minimum_width));
    store.WriteText(u"win_MinimumHeight", Decimal(s.minimum_height));
    store.WriteText(u"win_MaximumWidth", Decimal(s.maximum_width));
    if (!store.WriteText(u"win_MaximumHeight", Decimal(s.maximum_height))) return false;
    store.WriteText(u"win_MinimizeButton", Decimal(s.minimize_button));
    store.WriteText(u"win_MaximizeButton", Decimal(s.maximize_button));
    store.WriteText(u"win_CloseButton", Decimal(s.close_button));
    store.WriteText(u"win_TitleBar", Decimal(s.title_bar));
    store.WriteText(u"win_TopMost", Decimal(s.top_most));
    if (!store.WriteText(u"win_State", StateName(s.state))) return false;
    store.WriteText(u"win_Resizable", Decimal(s.resizable));
    store.WriteText(u"win_ScrollBars", Decimal(s.scroll_bars));
    store.WriteText(u"win_TextSelection", Decimal(s.text_selection));
    store.WriteText(u"win_MinimizeToSystray", Decimal(s.minimize_to_systray));
    store.WriteText(u"win_CloseToSystray", Decimal(s.close_to_systray));
    store.WriteText(u"win_Silent", Decimal(s.silent));
    store.WriteText(u"win_DpiAware", Decimal(s.dpi_aware));
    store.WriteText(u"win_Alpha", Decimal(s.alpha));
    return store.WriteText(u"win_Transparency", Decimal(s.transparency)) &&
           store.WriteText(u"win_ColorKey", s.color_key);
}

std::optional<WindowState> StateFromName(std::u16string_view name) {
    for (const StateEntry& entry : kStateNames)
        if (EqualsIgnoringAsciiCase(name, entry.name)) return entry.state;
    return std::nullopt;
}

std::u16string_view StateName(WindowState state) {
    for (const StateEntry& entry : kStateNames)
        if (entry.state == state) return entry.name;
    return u"normal";
}

std::u16string_view StateReading(WindowState state) {
    return state == WindowState::kHidden ? std::u16string_view(u"normal") : StateName(state);
}

std::uint32_t NumberFromText(std::u16string_view text) {
    return WrappedDecimal<std::uint32_t>(FindDecimalPrefix(text, Blanks::kSpaceTabLineEnds));
}

std::uint32_t NumberArgument(const VARIANT& value) {
    switch (value.vt) {
        case VT_I4:
            return static_cast<std::uint32_t>(value.lVal);
        case VT_INT:
            return static_cast<std::uint32_t>(value.intVal);
        case VT_UINT:
            return value.uintVal;
        case VT_BSTR:
            return NumberFromText(NbBstrView(value.bstrVal));
        default:
            return 0;
    }
}

bool SwitchArgument(const VARIANT& value) {
    switch (value.vt) {
        case VT_BOOL:
            return value.boolVal == VARIANT_TRUE;
        case VT_I4:
            return value.lVal == 1;
        case VT_INT:
            return value.intVal == 1;
        case VT_UINT:
            return value.uintVal == 1;
        case VT_BSTR: {
            const std::u16string_view text = NbBstrView(value.bstrVal);
            return text == u"true" || text == u"1";
        }
        default:
            return false;
    }
}

std::uint32_t ColorKeyToColor(std::u16string_view text) {
    if (!text.empty() && text.front() == u'#') text.remove_prefix(1);
    if (text.size() < 6 || text.substr(0, 6) == u"000000") return 0;
    const auto pair = [&](std::size_t at) {
        return static_cast<std::uint32_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
    };
    return pair(0) | pair(2) << 8 | pair(4) << 16;
}

std::uint8_t AlphaByte(std::uint32_t alpha_percent) {
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(255.0 - alpha_percent * 2.55) &
                                     0xFF);
}

std::int64_t CenteredPosition(std::int64_t position, std::int64_t work_size,
                              std::int64_t frame_size, std::int64_t client_size) {
    if (position == 0) {
        const std::int64_t room = work_size - frame_size - client_size;
        position = room >= 0 ? room / 2 : -((-room + 1) / 2);
    }
    if (work_size < frame_size + client_size + position)
        position = work_size - frame_size - client_size;
    return position;
}

std::uint32_t ClampSize(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum) {
    if (value < minimum) value = minimum;
    if (value > maximum) value = maximum;
    return value;
}

int ScreenPosition(std::uint32_t value, float scale) {
    const double pixels = static_cast<std::int32_t>(value) / static_cast<double>(scale);
    return static_cast<int>(std::clamp(pixels, -32768.0, 32767.0));
}

int ScreenExtent(std::uint32_t value, float scale) {
    return static_cast<int>(std::min(static_cast<double>(scale) * value, 32767.0));
}

}  // namespace nb::shell
