// Whether a key is held down and whether a lock key is toggled on, for the
// keys scripts may ask about. The default presenter answers "not pressed,
// not toggled" for every key; the shell installs one that asks the display,
// and tests install one that answers what they set.
#pragma once

#include "platform/automation/wintypes.h"

// Virtual-key codes of the keys asked about.
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;     // Alt
constexpr int VK_CAPITAL = 0x14;  // Caps Lock
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

struct NbKeyState {
    bool down = false;     // held now (either side, for VK_SHIFT, VK_CONTROL, VK_MENU)
    bool toggled = false;  // a lock key switched on
};

using KeyStatePresenter = NbKeyState (*)(int virtual_key);

NB_EXPORT NbKeyState NbGetKeyState(int virtual_key);
// Installs a presenter (null restores the default) and returns the previous one.
NB_EXPORT KeyStatePresenter NbSetKeyStatePresenter(KeyStatePresenter presenter);
