#include "shell/host/presenters/gtk_presenters.h"

#include <unordered_map>

namespace nb::shell {
namespace {

// Touched on the UI thread only, like the windows themselves.
std::unordered_map<HWND, GtkWindow*>& OwnerWindows() {
    static std::unordered_map<HWND, GtkWindow*> windows;
    return windows;
}

void ForgetWindow(GtkWidget* window, gpointer) {
    std::erase_if(OwnerWindows(),
                  [window](const auto& entry) { return GTK_WIDGET(entry.second) == window; });
}

}  // namespace

void InstallGtkPresenters() {
    NbSetMessageBoxPresenter(ShowGtkMessageBox);
    NbSetFileDialogPresenter(ShowGtkFileDialog);
    NbSetTooltipPresenter({ShowGtkTooltip, HideGtkTooltip});
    NbSetKeyStatePresenter(GtkKeyState);
}

void AttachOwnerWindow(HWND handle, GtkWindow* window) {
    if (!handle || !window) return;
    OwnerWindows()[handle] = window;
    g_signal_connect(window, "destroy", G_CALLBACK(ForgetWindow), nullptr);
}

GtkWindow* OwnerWindowOf(HWND handle) {
    const auto found = OwnerWindows().find(handle);
    return found == OwnerWindows().end() ? nullptr : found->second;
}

}  // namespace nb::shell
