#include <gtk/gtk.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"
#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {
namespace {

// Patterns match names whatever their case, as the system dialogs do:
// "*.mp3" becomes "*.[mM][pP]3", which the chooser and the portals both read.
std::string CaseBlindPattern(std::string_view pattern) {
    std::string blind;
    for (const char c : pattern) {
        const char lower = g_ascii_tolower(c);
        const char upper = g_ascii_toupper(c);
        if (lower == upper) {
            blind += c;
        } else {
            blind += '[';
            blind += lower;
            blind += upper;
            blind += ']';
        }
    }
    return blind;
}

std::vector<std::string> PatternsOf(const std::u16string& list) {
    std::vector<std::string> patterns;
    glib::Strv parts(g_strsplit(ToUtf8(list).c_str(), ";", -1));
    for (char** part = parts.get(); part && *part; ++part) {
        g_strstrip(*part);
        if (**part) patterns.emplace_back(*part);
    }
    return patterns;
}

void AddFilters(GtkFileChooser* chooser, const std::vector<NbFileFilter>& filters) {
    for (const NbFileFilter& filter : filters) {
        GtkFileFilter* added = gtk_file_filter_new();
        gtk_file_filter_set_name(added, ToUtf8(filter.description).c_str());
        for (const std::string& pattern : PatternsOf(filter.pattern))
            gtk_file_filter_add_pattern(added, CaseBlindPattern(pattern).c_str());
        gtk_file_chooser_add_filter(chooser, added);  // the first added is the one selected
    }
}

// The extension a save dialog adds to a name typed without one: that of the
// selected filter's first pattern when it is a plain "*.ext".
std::string DefaultExtension(GtkFileChooser* chooser, const std::vector<NbFileFilter>& filters) {
    GtkFileFilter* selected = gtk_file_chooser_get_filter(chooser);
    glib::SList all(gtk_file_chooser_list_filters(chooser));
    std::size_t index = 0;
    for (GSList* item = all.get(); item && item->data != selected; item = item->next) ++index;
    if (!selected || index >= filters.size()) return {};
    const std::vector<std::string> patterns = PatternsOf(filters[index].pattern);
    if (patterns.empty()) return {};
    const std::string& first = patterns.front();
    if (first.size() < 3 || first.compare(0, 2, "*.") != 0 ||
        first.find_first_of("*?[", 2) != std::string::npos)
        return {};
    return first.substr(1);
}

void ProposeFile(GtkFileChooser* chooser, const std::u16string& file) {
    if (file.empty()) return;
    const std::string path = ToUtf8(file);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        gtk_file_chooser_set_current_folder(chooser, path.substr(0, slash + 1).c_str());
    gtk_file_chooser_set_current_name(chooser, path.substr(slash + 1).c_str());
}

std::vector<std::string> ChosenFiles(GtkFileChooser* chooser) {
    std::vector<std::string> chosen;
    glib::SList names(gtk_file_chooser_get_filenames(chooser));
    for (GSList* item = names.get(); item; item = item->next) {
        chosen.emplace_back(static_cast<const char*>(item->data));
        g_free(item->data);
    }
    return chosen;
}

// A name the chooser did not confirm (the extension was added after it
// answered) is confirmed here before it replaces a file.
bool MayReplace(GtkWindow* owner, const std::string& path) {
    if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return true;
    glib::Text name(g_path_get_basename(path.c_str()));
    const std::string question =
        std::string(name.get()) + " already exists.\nDo you want to replace it?";
    GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                            GTK_BUTTONS_YES_NO, "%s", question.c_str());
    gtk_window_set_title(GTK_WINDOW(box), "Confirm Save As");
    const bool yes = gtk_dialog_run(GTK_DIALOG(box)) == GTK_RESPONSE_YES;
    gtk_widget_destroy(box);
    return yes;
}

}  // namespace

std::vector<std::u16string> ShowGtkFileDialog(const NbFileDialogRequest& request) {
    if (!gdk_display_get_default()) return {};
    const bool save = request.kind == NbFileDialogKind::kSave;
    const std::string title =
        request.title.empty() ? (save ? "Save As" : "Open") : ToUtf8(request.title);
    GtkWindow* owner = OwnerWindowOf(request.owner);
    glib::Object<GtkFileChooserNative> dialog(gtk_file_chooser_native_new(
        title.c_str(), owner, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
        save ? "_Save" : "_Open", "_Cancel"));
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog.get()), TRUE);
    AddFilters(chooser, request.filters);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    if (save) {
        gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
        ProposeFile(chooser, request.initial_file);
    } else {
        gtk_file_chooser_set_select_multiple(chooser, request.selection == NbFileSelection::kMany);
        if (!request.initial_folder.empty())
            gtk_file_chooser_set_current_folder(chooser, ToUtf8(request.initial_folder).c_str());
    }
    for (;;) {
        const int response = gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog.get()));
        std::vector<std::string> chosen =
            response == GTK_RESPONSE_ACCEPT ? ChosenFiles(chooser) : std::vector<std::string>{};
        // Shown with G_MESSAGES_DEBUG=nimbra: how a dialog ended, for a
        // person who wonders why nothing was chosen.
        g_log("nimbra", G_LOG_LEVEL_DEBUG, "file dialog \"%s\" ended: response %d, %zu chosen",
              title.c_str(), response, chosen.size());
        if (chosen.empty()) return {};
        if (save) {
            std::string& path = chosen.front();
            glib::Text name(g_path_get_basename(path.c_str()));
            if (!std::strchr(name.get(), '.')) {
                path += DefaultExtension(chooser, request.filters);
                if (!MayReplace(owner, path)) continue;
            }
        }
        std::vector<std::u16string> answer;
        for (const std::string& path : chosen) answer.push_back(ToUtf16(path));
        return answer;
    }
}

}  // namespace nb::shell
