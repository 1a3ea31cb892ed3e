#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "platform/text/code_pages.h"
#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {

// Message boxes of the shell and of the extension library.
int ShowGtkMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::string body = ToUtf8(text ? text : u"");
    const std::string title = ToUtf8(caption ? caption : u"");
    std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
    if (!gdk_display_get_default()) return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
    const UINT buttons = type & 0xF;
    GtkWidget* box =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL,
                               (type & 0xF0) == MB_ICONERROR      ? GTK_MESSAGE_ERROR
                               : (type & 0xF0) == MB_ICONQUESTION ? GTK_MESSAGE_QUESTION
                               : (type & 0xF0) == MB_ICONWARNING  ? GTK_MESSAGE_WARNING
                                                                  : GTK_MESSAGE_INFO,
                               buttons == MB_YESNO      ? GTK_BUTTONS_YES_NO
                               : buttons == MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL
                                                        : GTK_BUTTONS_OK,
                               "%s", body.c_str());
    gtk_window_set_title(GTK_WINDOW(box), title.c_str());
    const gint answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    switch (answer) {
        case GTK_RESPONSE_YES:
            return IDYES;
        case GTK_RESPONSE_NO:
            return IDNO;
        case GTK_RESPONSE_CANCEL:
        case GTK_RESPONSE_DELETE_EVENT:
            return buttons == MB_YESNO ? IDNO : IDCANCEL;
        default:
            return IDOK;
    }
}

}  // namespace nb::shell
