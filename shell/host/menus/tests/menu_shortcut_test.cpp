#include "shell/host/menus/menu_shortcut.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include "shell/host/menus/menu_keys.h"

namespace nb::shell {
namespace {

TEST(MenuShortcut, ParsesByTheKeyNameTable) {
    const struct {
        const char16_t* text;
        std::uint8_t flags;
        std::uint16_t key;
        const char16_t* display;
    } cases[] = {
        {u"Ctrl+S", 0x09, 'S', u"Ctrl+S"},
        {u"F5", 0x01, 0x74, u"F5"},
        {u"Q", 0, 0, u""},
        {u"Shift+Ctrl+Del", 0x0D, 0x2E, u"Ctrl+Shift+Del"},
        {u"shift+ctrl+del", 0, 0, u""},
        {u"Alt+Shift+Ctrl+F12", 0x1D, 0x7B, u"Ctrl+Alt+Shift+F12"},
        {u"F16", 0x01, 0x7F, u"F16"},
        {u"PgDw", 0x01, 0x22, u"PgDw"},
        {u"Ctrl+Space", 0x09, 0x20, u"Ctrl+Space"},
        // Outside the table: the layout's key for the first character.
        {u"Alt+x", 0x11, 'X', u"Alt+x"},
        {u"Ctrl+1", 0x09, '1', u"Ctrl+1"},
        {u"Ctrl+/", 0x09, 0xBF, u"Ctrl+/"},
        {u"Ctrl+;", 0x09, 0xBA, u"Ctrl+;"},
        {u"Ctrl+Delete", 0x09, 'D', u"Ctrl+D"},
        {u"Ctrl+f5", 0x09, 'F', u"Ctrl+f"},
        // No key, or one no key types: no shortcut at all.
        {u"Ctrl+", 0, 0, u""},
        {u"Ctrl+\u00E9", 0, 0, u""},
        {u"", 0, 0, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        const Shortcut shortcut = ParseShortcut(c.text, 3005);
        EXPECT_EQ(shortcut.record.flags, c.flags);
        EXPECT_EQ(shortcut.record.key, c.key);
        EXPECT_EQ(shortcut.record.command, c.key ? 3005 : 0);
        EXPECT_EQ(shortcut.display, c.display);
    }
}

TEST(MenuShortcut, CommandsItemTextAndMnemonics) {
    EXPECT_EQ(MenuCommand(3000, 5), 3005);
    EXPECT_EQ(MenuCommand(1000, 1005), 1005);
    EXPECT_EQ(MenuCommand(2000, 1000), 2000);  // the base itself: routes nowhere
    EXPECT_EQ(MenuCommand(3000, -7), 3007);
    EXPECT_EQ(MenuCommand(1000, 0), 0);
    EXPECT_EQ(MenuCommand(1000, 2147483647), 1647);

    EXPECT_EQ(MenuItemText(u"Save", ParseShortcut(u"Ctrl+S", 3005)), u"Save\tCtrl+S");
    EXPECT_EQ(MenuItemText(u"Quit", ParseShortcut(u"Q", 3006)), u"Quit");
    const ItemTextParts parts = SplitItemText(u"Save\tCtrl+S");
    EXPECT_EQ(parts.label, u"Save");
    EXPECT_EQ(parts.shortcut, u"Ctrl+S");

    EXPECT_EQ(MnemonicMarkup(u"E&xit", Weight::kNormal), "E_xit");
    EXPECT_EQ(MnemonicMarkup(u"E&xit", Weight::kBold), "<b>E_xit</b>");
    EXPECT_EQ(MnemonicMarkup(u"Salt && Pepper", Weight::kNormal), "Salt &amp; Pepper");
    EXPECT_EQ(MnemonicMarkup(u"snake_case <i>&", Weight::kNormal), "snake__case &lt;i&gt;");
}

TEST(MenuShortcut, TableTakesContextThenTrayThenCustom) {
    const std::vector<AcceleratorRecord> context = {{0x09, 'A', 1001}, {0, 0, 1002}};
    const std::vector<AcceleratorRecord> tray = {{0x01, 0x74, 2001}, {0, 0, 1}};
    const std::vector<AcceleratorRecord> custom = {{0, 0, 3001}, {0x0D, 0x2E, 3002}};
    const std::vector<AcceleratorRecord> expected = {
        {0x09, 'A', 1001}, {0x01, 0x74, 2001}, {0x0D, 0x2E, 3002}};
    EXPECT_EQ(CollectAccelerators(context, tray, custom), expected);
    EXPECT_TRUE(CollectAccelerators({}, {}, {}).empty());
}

TEST(MenuIcons, PathRule) {
    const struct {
        const char16_t* path;
        const char* expected;
    } cases[] = {
        {u"/usr/share/icons/open.png", "/usr/share/icons/open.png"},
        {u"C:/icons/open.png", "C:/icons/open.png"},
        {u"C:\\icons\\open.png", "C:\\icons\\open.png"},
        {u"icons/open.png", "/opt/app/!/icons/open.png"},
        {u"icons\\open.png", "/opt/app/!/icons\\open.png"},
        {u"C:/", "/opt/app/!/C:/"},
        {u"C:x.png", "/opt/app/!/C:x.png"},
    };
    for (const auto& c : cases) EXPECT_EQ(IconFilePath(c.path, "/opt/app"), c.expected);
}

TEST(MenuIcons, GreyAndHighlightFormulas) {
    const struct {
        std::uint8_t r, g, b, grey;
    } greys[] = {
        {0, 0, 0, 20},         // 64 + (-64 * 7) / 10
        {10, 20, 30, 32},      // gray 18: -32.2 truncates toward zero
        {100, 150, 200, 140},  // between 64 and 192: unchanged
        {200, 200, 250, 201},  // gray 205
        {255, 255, 255, 236},
    };
    for (const auto& c : greys) EXPECT_EQ(GreyLevel(c.r, c.g, c.b), c.grey) << int(c.r);
    EXPECT_EQ(Highlight(0), 0);
    EXPECT_EQ(Highlight(100), 110);
    EXPECT_EQ(Highlight(231), 254);
    EXPECT_EQ(Highlight(233), 255);
    EXPECT_EQ(Highlight(250), 255);

    // Greyed and selected: grey first, then the highlight; transparent
    // pixels and every alpha value stay.
    std::uint8_t pixels[] = {0, 0, 0, 255, 100, 150, 200, 128, 9, 9, 9, 0};
    RecolourIcon(pixels, 3, 1, 12, IconLook::kGreyedSelected);
    const std::uint8_t expected[] = {22, 22, 22, 255, 154, 154, 154, 128, 9, 9, 9, 0};
    EXPECT_TRUE(std::equal(std::begin(pixels), std::end(pixels), std::begin(expected)));
    std::uint8_t plain[] = {40, 50, 60, 255};
    RecolourIcon(plain, 1, 1, 4, IconLook::kNormal);
    EXPECT_EQ(plain[0], 40);
}

TEST(MenuKeys, KeyvalsMapToTheRecordsKeys) {
    const struct {
        unsigned keyval;
        std::uint16_t key;
    } cases[] = {
        {GDK_KEY_s, 'S'},          {GDK_KEY_S, 'S'},
        {GDK_KEY_5, '5'},          {GDK_KEY_F5, 0x74},
        {GDK_KEY_F16, 0x7F},       {GDK_KEY_Delete, 0x2E},
        {GDK_KEY_Page_Down, 0x22}, {GDK_KEY_ISO_Left_Tab, 0x09},
        {GDK_KEY_slash, 0xBF},     {GDK_KEY_space, 0x20},
        {GDK_KEY_Return, 0x0D},    {GDK_KEY_eacute, 0},
        {GDK_KEY_Shift_L, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(VirtualKeyFromKeyval(c.keyval), c.key) << c.keyval;
    EXPECT_EQ(ModifierFlags(GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD2_MASK),
              kAccelControl | kAccelShift);
    EXPECT_EQ(ModifierFlags(GDK_MOD1_MASK), kAccelAlt);
}

}  // namespace
}  // namespace nb::shell
