// The GTK presenters of the platform's user-interface contracts. The
// platform layer's defaults need no display (tests record what they are
// asked); the shell installs these once GTK is up.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/ui/file_dialog.h"
#include "platform/ui/key_state.h"
#include "platform/ui/message_box.h"
#include "platform/ui/tooltip.h"

namespace nb::shell {

// Installs every presenter below.
void InstallGtkPresenters();

// The GTK window a handle the extension library was given stands for: each
// shell window attaches its bridge's handle; the entry goes with the window.
void AttachOwnerWindow(HWND handle, GtkWindow* window);
// Null for a handle no live window was attached to.
GtkWindow* OwnerWindowOf(HWND handle);

// A GTK message dialog (when there is a display) and a line on stderr.
int ShowGtkMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// The toolkit's native file chooser (a desktop portal's where one serves).
std::vector<std::u16string> ShowGtkFileDialog(const NbFileDialogRequest& request);
// One tooltip window for the process, following its owner when it moves.
void ShowGtkTooltip(const NbTooltip& tooltip);
void HideGtkTooltip();
// The keyboard as the display server reports it now.
NbKeyState GtkKeyState(int virtual_key);

}  // namespace nb::shell
