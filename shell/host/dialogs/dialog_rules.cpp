#include "shell/host/dialogs/dialog_rules.h"

#include <algorithm>
#include <initializer_list>

#include "shell/host/window/navigation.h"

namespace nb::shell {
namespace {

constexpr std::size_t kParentStep = 3;  // "../"
constexpr std::uint32_t kMinimumDialogWidth = 250;
constexpr std::uint32_t kMinimumDialogHeight = 100;

bool IsApplicationScheme(std::u16string_view scheme) {
    constexpr std::u16string_view kScheme = u"x-mrs";
    if (scheme.size() != kScheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char16_t c = scheme[i] >= u'A' && scheme[i] <= u'Z'
                               ? static_cast<char16_t>(scheme[i] + 32)
                               : scheme[i];
        if (c != kScheme[i]) return false;
    }
    return true;
}

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// The drive form "scheme://C:/..." of the other platform is already rooted;
// the navigation rule here only knows the POSIX form "scheme:///...".
bool HasDriveRoot(std::u16string_view url) {
    const std::size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos) return false;
    const std::u16string_view rest = url.substr(colon + 1);
    return rest.size() >= 4 && rest.starts_with(u"//") && IsLetter(rest[2]) && rest[3] == u':';
}

std::u16string AbsoluteLocation(std::u16string_view location,
                                std::u16string_view program_directory) {
    std::u16string base = HasDriveRoot(location) ? std::u16string(location)
                                                 : MakeAbsoluteUrl(location, program_directory);
    std::replace(base.begin(), base.end(), u'\\', u'/');
    // A '/' in the query or fragment is no folder of the page.
    const std::size_t colon = base.find(u':');
    const std::size_t tail = base.find_first_of(u"?#", colon == std::u16string::npos ? 0 : colon);
    if (tail != std::u16string::npos) base.resize(tail);
    return base;
}

// "scheme:/" + url, which for the application's scheme is the short form,
// relative to the application. For other schemes that would make the url's
// first folder a host; there the location's own host is kept.
std::u16string RootedUrl(std::u16string_view url, std::u16string_view location, std::size_t colon) {
    const std::u16string_view scheme = location.substr(0, colon);
    const std::u16string_view rest = location.substr(colon + 1);
    std::u16string absolute(scheme);
    if (!IsApplicationScheme(scheme) && rest.starts_with(u"//")) {
        const std::size_t path = rest.find(u'/', 2);
        absolute += u':';
        absolute += rest.substr(0, path);
    } else {
        absolute += u":/";
    }
    absolute += url;
    return absolute;
}

std::uint32_t Bounded(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum) {
    value = std::max(value, minimum);
    // Negative numbers read as huge unsigned ones; no window is that large.
    if (maximum >= minimum) value = std::min(value, maximum);
    return value;
}

bool OneOf(std::u16string_view value, std::initializer_list<std::u16string_view> choices) {
    return std::find(choices.begin(), choices.end(), value) != choices.end();
}

void ApplyFeature(std::u16string_view name, std::u16string_view value, WindowSettings& s) {
    if (name == u"resizable") {
        if (OneOf(value, {u"yes", u"on", u"1"})) s.resizable = 1;
    } else if (name == u"scroll") {
        if (OneOf(value, {u"no", u"off", u"0"})) s.scroll_bars = 0;
    } else if (name == u"unadorned") {
        if (OneOf(value, {u"yes", u"on", u"1"})) s.title_bar = 0;
    } else if (name == u"dialogwidth") {
        s.width = Bounded(NumberFromText(value), kMinimumDialogWidth, s.maximum_width);
    } else if (name == u"dialogheight") {
        s.height = Bounded(NumberFromText(value), kMinimumDialogHeight, s.maximum_height);
    } else if (name == u"dialogtop") {
        s.top = Bounded(NumberFromText(value), 0, s.maximum_height);
    } else if (name == u"dialogleft") {
        s.left = Bounded(NumberFromText(value), 0, s.maximum_width);
    } else if (name == u"dialogstate") {
        // "normal" is no dialog state: the dialog opens normal anyway.
        const std::optional<WindowState> state = StateFromName(value);
        if (state && *state != WindowState::kNormal) s.state = *state;
    }
    // "center" and unknown names change nothing.
}

}  // namespace

std::optional<std::u16string> ResolveDialogUrl(std::u16string_view url,
                                               std::u16string_view location,
                                               std::u16string_view program_directory) {
    const std::size_t url_colon = url.find(u':');
    if (url_colon != std::u16string_view::npos && url.substr(url_colon + 1).starts_with(u"//"))
        return std::u16string(url);
    const std::size_t location_colon = location.find(u':');
    if (location_colon == std::u16string_view::npos) return std::nullopt;
    if (url.starts_with(u'/')) return RootedUrl(url, location, location_colon);

    std::u16string base = AbsoluteLocation(location, program_directory);
    const std::size_t colon = base.find(u':');
    // The base never loses "scheme://".
    const std::size_t floor = colon + 3;
    const std::size_t slash = base.rfind(u'/');
    if (slash == std::u16string::npos || slash < colon) return std::nullopt;  // "about:blank"
    if (slash < floor) {
        base += u'/';  // "http://host": the root of the host
    } else {
        base.resize(slash + 1);
    }

    std::size_t at = 0;
    while (url.size() - at >= 2 * kParentStep && url.substr(at, kParentStep) == u"../") {
        at += kParentStep;
        if (base.size() <= floor) continue;
        const std::size_t previous = base.rfind(u'/', base.size() - 2);
        base.resize(previous == std::u16string::npos ? floor : std::max(previous + 1, floor));
    }
    base += url.substr(at);
    return base;
}

void ApplyDialogSettings(std::u16string_view url, const std::u16string_view* features,
                         WindowSettings& settings) {
    settings.startup_url = std::u16string(url);
    settings.top = 0;
    settings.left = 0;
    settings.resizable = 0;
    settings.scroll_bars = 1;
    settings.title_bar = 1;
    if (features) ApplyDialogFeatures(*features, settings);
}

void ApplyDialogFeatures(std::u16string_view features, WindowSettings& settings) {
    std::u16string text(features);
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    const std::u16string_view rest(text);
    std::size_t at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && (rest[at] == u' ' || rest[at] == u';')) ++at;
        if (at == rest.size()) break;
        const std::size_t name_end = rest.find_first_of(u":;", at);
        if (name_end == std::u16string_view::npos) break;  // a last name without a value
        if (rest[name_end] == u';') {
            at = name_end + 1;  // a name without a value
            continue;
        }
        std::size_t value_end = rest.find(u';', name_end + 1);
        if (value_end == std::u16string_view::npos) value_end = rest.size();
        ApplyFeature(rest.substr(at, name_end - at),
                     rest.substr(name_end + 1, value_end - name_end - 1), settings);
        at = value_end;
    }
}

}  // namespace nb::shell
