#include "shell/host/menus/menu_keys.h"

#include <gdk/gdk.h>

#include "shell/host/menus/menu_shortcut.h"

namespace nb::shell {

std::uint16_t VirtualKeyFromKeyval(unsigned keyval) {
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F16)
        return static_cast<std::uint16_t>(0x70 + keyval - GDK_KEY_F1);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return static_cast<std::uint16_t>(0x60 + keyval - GDK_KEY_KP_0);
    switch (keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return 0x09;
        case GDK_KEY_Escape:
            return 0x1B;
        case GDK_KEY_BackSpace:
            return 0x08;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return 0x0D;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return 0x23;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return 0x24;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return 0x21;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return 0x22;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return 0x25;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return 0x26;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return 0x27;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return 0x28;
        case GDK_KEY_Print:
            return 0x2A;
        case GDK_KEY_Insert:
        case GDK_KEY_KP_Insert:
            return 0x2D;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return 0x2E;
        case GDK_KEY_KP_Multiply:
            return 0x6A;
        case GDK_KEY_KP_Add:
            return 0x6B;
        case GDK_KEY_KP_Subtract:
            return 0x6D;
        case GDK_KEY_KP_Decimal:
            return 0x6E;
        case GDK_KEY_KP_Divide:
            return 0x6F;
        default:
            break;
    }
    // Printable keys: letters, digits, space and punctuation name their key
    // by the character they type.
    const gunichar character = gdk_keyval_to_unicode(keyval);
    if (character == 0 || character > 0x7E) return 0;
    const std::optional<std::uint8_t> key = LayoutKeyFor(static_cast<char16_t>(character));
    return key ? *key : 0;
}

std::uint8_t ModifierFlags(unsigned state) {
    std::uint8_t flags = 0;
    if (state & GDK_CONTROL_MASK) flags |= kAccelControl;
    if (state & GDK_MOD1_MASK) flags |= kAccelAlt;
    if (state & GDK_SHIFT_MASK) flags |= kAccelShift;
    return flags;
}

}  // namespace nb::shell
