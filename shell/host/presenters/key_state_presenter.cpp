// The keyboard's state as the display server has it at the moment of the
// call, not as the last key event told: a key held since before the window
// had the focus counts too.
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {
namespace {

// The key symbols that stand for a key code: either side for the generic
// codes; AltGr is the right Alt. Unused places hold NoSymbol.
struct KeySymbols {
    int virtual_key;
    KeySym symbols[3];
};
constexpr KeySymbols kKeySymbols[] = {
    {VK_SHIFT, {XK_Shift_L, XK_Shift_R, NoSymbol}},
    {VK_LSHIFT, {XK_Shift_L, NoSymbol, NoSymbol}},
    {VK_RSHIFT, {XK_Shift_R, NoSymbol, NoSymbol}},
    {VK_CONTROL, {XK_Control_L, XK_Control_R, NoSymbol}},
    {VK_LCONTROL, {XK_Control_L, NoSymbol, NoSymbol}},
    {VK_RCONTROL, {XK_Control_R, NoSymbol, NoSymbol}},
    {VK_MENU, {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift}},
    {VK_LMENU, {XK_Alt_L, NoSymbol, NoSymbol}},
    {VK_RMENU, {XK_Alt_R, XK_ISO_Level3_Shift, NoSymbol}},
    {VK_CAPITAL, {XK_Caps_Lock, NoSymbol, NoSymbol}},
};

bool IsDown(Display* display, const char (&keys)[32], KeySym symbol) {
    if (symbol == NoSymbol) return false;
    const KeyCode code = XKeysymToKeycode(display, symbol);
    return code && (keys[code / 8] & (1 << (code % 8)));
}

NbKeyState X11KeyState(Display* display, int virtual_key) {
    NbKeyState state;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (const KeySymbols& entry : kKeySymbols) {
        if (entry.virtual_key != virtual_key) continue;
        for (const KeySym symbol : entry.symbols)
            state.down = state.down || IsDown(display, keys, symbol);
    }
    if (virtual_key == VK_CAPITAL) {
        XkbStateRec xkb{};
        state.toggled =
            XkbGetState(display, XkbUseCoreKbd, &xkb) == Success && (xkb.locked_mods & LockMask);
    }
    return state;
}

// Elsewhere the toolkit knows the modifiers but not their sides.
NbKeyState ModifierKeyState(GdkDisplay* display, int virtual_key) {
    GdkKeymap* keymap = gdk_keymap_get_for_display(display);
    const guint modifiers = gdk_keymap_get_modifier_state(keymap);
    NbKeyState state;
    switch (virtual_key) {
        case VK_SHIFT:
        case VK_LSHIFT:
        case VK_RSHIFT:
            state.down = modifiers & GDK_SHIFT_MASK;
            break;
        case VK_CONTROL:
        case VK_LCONTROL:
        case VK_RCONTROL:
            state.down = modifiers & GDK_CONTROL_MASK;
            break;
        case VK_MENU:
        case VK_LMENU:
        case VK_RMENU:
            state.down = modifiers & GDK_MOD1_MASK;
            break;
        case VK_CAPITAL:
            state.toggled = gdk_keymap_get_caps_lock_state(keymap);
            break;
        default:
            break;
    }
    return state;
}

}  // namespace

NbKeyState GtkKeyState(int virtual_key) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return {};
    if (GDK_IS_X11_DISPLAY(display)) return X11KeyState(GDK_DISPLAY_XDISPLAY(display), virtual_key);
    return ModifierKeyState(display, virtual_key);
}

}  // namespace nb::shell
