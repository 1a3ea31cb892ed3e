// The pure rules of script menus: shortcut text to accelerator record and
// display text, command numbers, item text, mnemonics, the accelerator
// table's order, icon paths and the recolouring of greyed and selected
// icons. No GTK here, so the rules are tested and fuzzed on their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nb::shell {

// Accelerator record flags (the platform's ACCEL flags).
constexpr std::uint8_t kAccelVirtualKey = 0x01;
constexpr std::uint8_t kAccelShift = 0x04;
constexpr std::uint8_t kAccelControl = 0x08;
constexpr std::uint8_t kAccelAlt = 0x10;

// One accelerator entry; key 0 means the item has no shortcut.
struct AcceleratorRecord {
    std::uint8_t flags = 0;
    std::uint16_t key = 0;
    std::uint16_t command = 0;
    friend bool operator==(const AcceleratorRecord&, const AcceleratorRecord&) = default;
};

struct Shortcut {
    AcceleratorRecord record;
    std::u16string display;  // "Ctrl+Alt+Shift+Key"; empty without a shortcut
};

// Parses shortcut text such as "Ctrl+Shift+S" or "F5". Modifier and key
// names match with their exact capitals; a name outside the key-name table
// counts only when a modifier was found, as the layout's key for its first
// character. No shortcut: record key 0, empty display.
Shortcut ParseShortcut(std::u16string_view text, std::uint16_t command);

// The US layout's virtual key for a character (letters upper-cased, digits,
// space, punctuation keys), or nothing for a character no key types.
std::optional<std::uint8_t> LayoutKeyFor(char16_t character);

// 0 for number 0 (a separator), else base + |number| mod 1000.
int MenuCommand(int base, std::int64_t number);

// The item's text: the label, and a tab and the display text when the
// shortcut has a key.
std::u16string MenuItemText(std::u16string_view label, const Shortcut& shortcut);

// Splits item text at its first tab into the label and the shortcut shown
// beside it.
struct ItemTextParts {
    std::u16string_view label;
    std::u16string_view shortcut;
};
ItemTextParts SplitItemText(std::u16string_view text);

// Pango markup with a GTK mnemonic for a label: "&x" marks x, "&&" is a
// literal "&", "_" stays literal; markup characters are escaped. Bold for
// the default item.
enum class Weight { kNormal, kBold };
std::string MnemonicMarkup(std::u16string_view label, Weight weight);

// The accelerator table: every record with a key, context menu first, then
// the notification-area menu, then the custom menu.
std::vector<AcceleratorRecord> CollectAccelerators(const std::vector<AcceleratorRecord>& context,
                                                   const std::vector<AcceleratorRecord>& systray,
                                                   const std::vector<AcceleratorRecord>& custom);

// The file an item icon is loaded from: an absolute path ("/...") or one in
// drive form ("C:/...", "C:\...") as it is, anything else below
// <program_directory>/!/. Separators are left as written.
std::string IconFilePath(std::u16string_view path, std::string_view program_directory);

// Recolours the opaque (non-zero alpha) pixels of an RGBA image in place:
// greyed first, then the selection highlight, as an owner-drawn item shows
// its icon. Alpha is kept.
enum class IconLook : unsigned { kNormal = 0, kGreyed = 1, kSelected = 2, kGreyedSelected = 3 };
void RecolourIcon(std::uint8_t* rgba, int width, int height, int stride, IconLook look);
// The two steps on one channel value set.
std::uint8_t GreyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
std::uint8_t Highlight(std::uint8_t channel);

}  // namespace nb::shell
