#include "shell/host/menus/menu_shortcut.h"

#include <algorithm>
#include <array>

#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

struct KeyName {
    std::u16string_view name;
    std::uint8_t key;
};

constexpr std::array<KeyName, 32> kKeyNames = {{
    {u"Tab", 0x09}, {u"Esc", 0x1B},   {u"Space", 0x20}, {u"BkSp", 0x08},  {u"Enter", 0x0D},
    {u"End", 0x23}, {u"Home", 0x24},  {u"PgUp", 0x21},  {u"PgDw", 0x22},  {u"Left", 0x25},
    {u"Up", 0x26},  {u"Right", 0x27}, {u"Down", 0x28},  {u"Print", 0x2A}, {u"Ins", 0x2D},
    {u"Del", 0x2E}, {u"F1", 0x70},    {u"F2", 0x71},    {u"F3", 0x72},    {u"F4", 0x73},
    {u"F5", 0x74},  {u"F6", 0x75},    {u"F7", 0x76},    {u"F8", 0x77},    {u"F9", 0x78},
    {u"F10", 0x79}, {u"F11", 0x7A},   {u"F12", 0x7B},   {u"F13", 0x7C},   {u"F14", 0x7D},
    {u"F15", 0x7E}, {u"F16", 0x7F},
}};

struct Modifier {
    std::u16string_view name;
    std::uint8_t flags;
    std::u16string_view display;
};

// Listed in display order.
constexpr std::array<Modifier, 3> kModifiers = {{
    {u"Ctrl", kAccelControl | kAccelVirtualKey, u"Ctrl+"},
    {u"Alt", kAccelAlt | kAccelVirtualKey, u"Alt+"},
    {u"Shift", kAccelShift | kAccelVirtualKey, u"Shift+"},
}};

// The US layout's punctuation keys, unshifted and shifted character.
struct PunctuationKey {
    char16_t plain;
    char16_t shifted;
    std::uint8_t key;
};
constexpr std::array<PunctuationKey, 11> kPunctuation = {{
    {u';', u':', 0xBA},
    {u'=', u'+', 0xBB},
    {u',', u'<', 0xBC},
    {u'-', u'_', 0xBD},
    {u'.', u'>', 0xBE},
    {u'/', u'?', 0xBF},
    {u'`', u'~', 0xC0},
    {u'[', u'{', 0xDB},
    {u'\\', u'|', 0xDC},
    {u']', u'}', 0xDD},
    {u'\'', u'"', 0xDE},
}};
constexpr std::u16string_view kShiftedDigits = u")!@#$%^&*(";

}  // namespace

std::optional<std::uint8_t> LayoutKeyFor(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<std::uint8_t>(c - u'a' + 'A');
    if (c >= u'A' && c <= u'Z') return static_cast<std::uint8_t>(c);
    if (c >= u'0' && c <= u'9') return static_cast<std::uint8_t>(c);
    if (const std::size_t digit = kShiftedDigits.find(c); digit != std::u16string_view::npos)
        return static_cast<std::uint8_t>('0' + digit);
    for (const PunctuationKey& key : kPunctuation)
        if (c == key.plain || c == key.shifted) return key.key;
    switch (c) {
        case u' ':
            return 0x20;
        case u'\t':
            return 0x09;
        case u'\b':
            return 0x08;
        case u'\r':
        case u'\n':
            return 0x0D;
        case u'\x1B':
            return 0x1B;
        default:
            return std::nullopt;
    }
}

Shortcut ParseShortcut(std::u16string_view text, std::uint16_t command) {
    Shortcut shortcut;
    std::uint8_t flags = 0;
    std::u16string display;
    for (const Modifier& modifier : kModifiers)
        if (text.find(modifier.name) != std::u16string_view::npos) {
            flags |= modifier.flags;
            display += modifier.display;
        }
    const std::size_t plus = text.rfind(u'+');
    const std::u16string_view name =
        plus == std::u16string_view::npos ? text : text.substr(plus + 1);
    std::uint8_t key = 0;
    if (!name.empty()) {
        const auto named = std::find_if(kKeyNames.begin(), kKeyNames.end(),
                                        [&](const KeyName& k) { return k.name == name; });
        if (named != kKeyNames.end()) {
            flags |= kAccelVirtualKey;
            key = named->key;
            display += name;
        } else if (flags) {
            // A character no key of the layout types gives no shortcut.
            if (const std::optional<std::uint8_t> typed = LayoutKeyFor(name.front())) {
                key = *typed;
                display += name.front();
            }
        }
    }
    if (!key) return shortcut;
    shortcut.record = {flags, key, command};
    shortcut.display = std::move(display);
    return shortcut;
}

int MenuCommand(int base, std::int64_t number) {
    if (number == 0) return 0;
    const std::int64_t magnitude = number < 0 ? -number : number;
    return base + static_cast<int>(magnitude % 1000);
}

std::u16string MenuItemText(std::u16string_view label, const Shortcut& shortcut) {
    std::u16string text(label);
    if (shortcut.record.key) {
        text += u'\t';
        text += shortcut.display;
    }
    return text;
}

ItemTextParts SplitItemText(std::u16string_view text) {
    const std::size_t tab = text.find(u'\t');
    if (tab == std::u16string_view::npos) return {text, {}};
    return {text.substr(0, tab), text.substr(tab + 1)};
}

std::string MnemonicMarkup(std::u16string_view label, Weight weight) {
    std::u16string markup;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const char16_t c = label[i];
        switch (c) {
            case u'&':
                if (i + 1 < label.size() && label[i + 1] == u'&') {
                    markup += u"&amp;";
                    ++i;
                } else if (i + 1 < label.size()) {
                    markup += u'_';
                }
                break;
            case u'_':
                markup += u"__";
                break;
            case u'<':
                markup += u"&lt;";
                break;
            case u'>':
                markup += u"&gt;";
                break;
            case u'"':
                markup += u"&quot;";
                break;
            case u'\'':
                markup += u"&apos;";
                break;
            default:
                // Control characters are not valid in markup.
                if (c >= 0x20 || c == u'\t' || c == u'\n') markup += c;
                break;
        }
    }
    std::string out = ToUtf8(markup);
    if (weight == Weight::kBold) out = "<b>" + out + "</b>";
    return out;
}

std::vector<AcceleratorRecord> CollectAccelerators(const std::vector<AcceleratorRecord>& context,
                                                   const std::vector<AcceleratorRecord>& systray,
                                                   const std::vector<AcceleratorRecord>& custom) {
    std::vector<AcceleratorRecord> table;
    for (const auto* records : {&context, &systray, &custom})
        for (const AcceleratorRecord& record : *records)
            if (record.key) table.push_back(record);
    return table;
}

std::string IconFilePath(std::u16string_view path, std::string_view program_directory) {
    const bool drive_form =
        path.size() >= 4 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
    const bool absolute = !path.empty() && path[0] == u'/';
    if (drive_form || absolute) return ToUtf8(path);
    std::string full(program_directory);
    if (full.empty() || full.back() != '/') full += '/';
    return full + "!/" + ToUtf8(path);
}

std::uint8_t GreyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const int gray = (3 * red + 6 * green + blue) / 10;
    // Integer division truncates toward zero, as the formula asks for
    // below 64, where the difference is negative.
    if (gray < 64) return static_cast<std::uint8_t>(64 + ((gray - 64) * 7) / 10);
    if (gray > 192) return static_cast<std::uint8_t>(192 + ((gray - 192) * 7) / 10);
    return static_cast<std::uint8_t>(gray);
}

std::uint8_t Highlight(std::uint8_t channel) {
    return static_cast<std::uint8_t>(std::min(255, channel * 11 / 10));
}

void RecolourIcon(std::uint8_t* rgba, int width, int height, int stride, IconLook look) {
    const bool greyed =
        (static_cast<unsigned>(look) & static_cast<unsigned>(IconLook::kGreyed)) != 0;
    const bool selected =
        (static_cast<unsigned>(look) & static_cast<unsigned>(IconLook::kSelected)) != 0;
    if (!rgba || (!greyed && !selected)) return;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = rgba + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x, pixel += 4) {
            if (pixel[3] == 0) continue;
            if (greyed) pixel[0] = pixel[1] = pixel[2] = GreyLevel(pixel[0], pixel[1], pixel[2]);
            if (selected)
                for (int c = 0; c < 3; ++c) pixel[c] = Highlight(pixel[c]);
        }
    }
}

}  // namespace nb::shell
