#include <gtk/gtk.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/code_pages.h"
#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {
namespace {

struct Button {
    const char* label;
    int answer;
};

// The button sets of the type's low four bits, in their order on screen.
std::vector<Button> ButtonsOf(UINT type) {
    switch (type & 0xF) {
        case MB_OKCANCEL:
            return {{"_OK", IDOK}, {"_Cancel", IDCANCEL}};
        case MB_ABORTRETRYIGNORE:
            return {{"_Abort", IDABORT}, {"_Retry", IDRETRY}, {"_Ignore", IDIGNORE}};
        case MB_YESNOCANCEL:
            return {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}};
        case MB_YESNO:
            return {{"_Yes", IDYES}, {"_No", IDNO}};
        case MB_RETRYCANCEL:
            return {{"_Retry", IDRETRY}, {"_Cancel", IDCANCEL}};
        case MB_CANCELTRYCONTINUE:
            return {{"_Cancel", IDCANCEL}, {"_Try Again", IDTRYAGAIN}, {"_Continue", IDCONTINUE}};
        default:
            return {{"_OK", IDOK}};
    }
}

struct Icon {
    GtkMessageType kind;
    const char* name;  // of the themed icon shown beside the text
};

Icon IconOf(UINT type) {
    switch (type & 0xF0) {
        case MB_ICONERROR:
            return {GTK_MESSAGE_ERROR, "dialog-error"};
        case MB_ICONQUESTION:
            return {GTK_MESSAGE_QUESTION, "dialog-question"};
        case MB_ICONWARNING:
            return {GTK_MESSAGE_WARNING, "dialog-warning"};
        case MB_ICONINFORMATION:
            return {GTK_MESSAGE_INFO, "dialog-information"};
        default:
            return {GTK_MESSAGE_OTHER, nullptr};
    }
}

// Message dialogs of this toolkit version show no icon of their own; the
// box shows the one its type asks for before the text, as the system's does.
void ShowIcon(GtkWidget* box, const char* name) {
    if (!name) return;
    GtkWidget* text = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box));
    GtkWidget* row = gtk_widget_get_parent(text);
    if (!GTK_IS_BOX(row)) return;
    GtkWidget* image = gtk_image_new_from_icon_name(name, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), image, 0);
    gtk_widget_show(image);
}

// What closing the box (Escape, the title bar) answers: Cancel where there
// is one, OK when it is the only button; otherwise the box cannot be closed
// without a choice.
std::optional<int> CloseAnswerOf(const std::vector<Button>& buttons) {
    for (const Button& button : buttons)
        if (button.answer == IDCANCEL) return IDCANCEL;
    if (buttons.size() == 1) return buttons.front().answer;
    return std::nullopt;
}

}  // namespace

// Message boxes of the shell and of the extension library.
int ShowGtkMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::string body = ToUtf8(text ? text : u"");
    // A box without a caption is titled as the system titles it.
    const std::string title = ToUtf8(caption ? caption : u"Error");
    std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
    const std::vector<Button> buttons = ButtonsOf(type);
    if (!gdk_display_get_default()) return buttons.front().answer;
    const Icon icon = IconOf(type);
    GtkWidget* box = gtk_message_dialog_new(OwnerWindowOf(owner), GTK_DIALOG_MODAL, icon.kind,
                                            GTK_BUTTONS_NONE, "%s", body.c_str());
    ShowIcon(box, icon.name);
    gtk_window_set_title(GTK_WINDOW(box), title.c_str());
    for (const Button& button : buttons)
        gtk_dialog_add_button(GTK_DIALOG(box), button.label, button.answer);
    const std::size_t default_index = (type >> 8) & 0x3;
    gtk_dialog_set_default_response(
        GTK_DIALOG(box), buttons[default_index < buttons.size() ? default_index : 0].answer);
    const std::optional<int> close_answer = CloseAnswerOf(buttons);
    gtk_window_set_deletable(GTK_WINDOW(box), close_answer.has_value());
    // Cleared should the box be destroyed under us (its owner going away).
    g_object_add_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));
    gint answer = GTK_RESPONSE_NONE;
    while (box) {
        answer = gtk_dialog_run(GTK_DIALOG(box));
        if (answer > 0) break;
        if (close_answer || !box) {
            answer = close_answer.value_or(buttons.front().answer);
            break;
        }
    }
    if (box) {
        g_object_remove_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));
        gtk_widget_destroy(box);
    }
    return answer;
}

}  // namespace nb::shell
