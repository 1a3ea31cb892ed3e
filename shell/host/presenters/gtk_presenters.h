// The GTK presenters of the platform's user-interface contracts. The
// platform layer's defaults need no display (tests record what they are
// asked); the shell installs these once GTK is up.
#pragma once

#include "platform/ui/message_box.h"

namespace nb::shell {

// Installs every presenter below.
void InstallGtkPresenters();

// A GTK message dialog (when there is a display) and a line on stderr.
int ShowGtkMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

}  // namespace nb::shell
