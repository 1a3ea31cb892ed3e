// Reads the input as UTF-16 text, as a page hands over an item's label,
// shortcut and icon path, and runs every menu text rule on it. Checks: a
// shortcut has a key exactly when it has display text, its flags carry the
// virtual-key bit and the command given; the item text splits back into its
// label and display; the markup is valid UTF-8 without raw "<"; the icon
// rules keep transparent pixels untouched.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/host/menus/menu_shortcut.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    using namespace nb::shell;

    const Shortcut shortcut = ParseShortcut(text, 3005);
    Check((shortcut.record.key != 0) == !shortcut.display.empty());
    if (shortcut.record.key) {
        Check(shortcut.record.flags & kAccelVirtualKey);
        Check(shortcut.record.command == 3005);
    }
    const std::u16string label = text.substr(0, text.find(u'\t'));
    const std::u16string item = MenuItemText(label, shortcut);
    const ItemTextParts parts = SplitItemText(item);
    Check(parts.label == label);
    if (shortcut.record.key) Check(parts.shortcut == shortcut.display);

    const std::string markup = MnemonicMarkup(text, Weight::kNormal);
    Check(markup.find('<') == std::string::npos);

    const std::string path = IconFilePath(text, "/opt/app");
    if (!text.empty() && text[0] != u'/' && !(text.size() >= 4 && text[1] == u':'))
        Check(path.rfind("/opt/app/!/", 0) == 0);

    // The bytes as a one-row RGBA image.
    const int width = static_cast<int>(size / 4);
    std::vector<std::uint8_t> pixels(data, data + static_cast<std::size_t>(width) * 4);
    const std::vector<std::uint8_t> before = pixels;
    RecolourIcon(pixels.data(), width, 1, width * 4, static_cast<IconLook>(size % 4));
    for (int x = 0; x < width; ++x) {
        Check(pixels[4 * x + 3] == before[4 * x + 3]);
        if (before[4 * x + 3] == 0)
            for (int c = 0; c < 3; ++c) Check(pixels[4 * x + c] == before[4 * x + c]);
    }
    return 0;
}
