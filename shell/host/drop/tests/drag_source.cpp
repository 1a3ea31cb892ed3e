// A drag source for the shell's drop tests: a window at a given screen
// position whose whole area drags the given files as a text/uri-list (file
// names become file:// URIs, anything with "://" is offered as it is).
// Prints what the drop target did with each drag:
//   drag_source X Y FILE...
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_uris;

void OnDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
    std::vector<gchar*> list;
    for (std::string& uri : g_uris) list.push_back(uri.data());
    list.push_back(nullptr);
    gtk_selection_data_set_uris(data, list.data());
    std::printf("DATA-SENT\n");
    std::fflush(stdout);
}

void OnDataDelete(GtkWidget*, GdkDragContext*, gpointer) {
    std::printf("DELETE-REQUESTED\n");
    std::fflush(stdout);
}

void OnDragEnd(GtkWidget*, GdkDragContext* context, gpointer) {
    std::printf("DRAG-END action=%d\n",
                static_cast<int>(gdk_drag_context_get_selected_action(context)));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: drag_source X Y FILE...\n");
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        if (std::strstr(argv[i], "://")) {
            g_uris.emplace_back(argv[i]);
            continue;
        }
        gchar* uri = g_filename_to_uri(argv[i], nullptr, nullptr);
        if (!uri) return 2;
        g_uris.emplace_back(uri);
        g_free(uri);
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "DragSource");
    gtk_window_set_default_size(GTK_WINDOW(window), 160, 120);
    gtk_window_move(GTK_WINDOW(window), std::atoi(argv[1]), std::atoi(argv[2]));
    GtkWidget* area = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(area), gtk_label_new("files"));
    gtk_container_add(GTK_CONTAINER(window), area);
    const GtkTargetEntry targets[] = {{const_cast<gchar*>("text/uri-list"), 0, 0}};
    gtk_drag_source_set(
        area, GDK_BUTTON1_MASK, targets, 1,
        static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
    g_signal_connect(area, "drag-data-get", G_CALLBACK(OnDataGet), nullptr);
    g_signal_connect(area, "drag-data-delete", G_CALLBACK(OnDataDelete), nullptr);
    g_signal_connect(area, "drag-end", G_CALLBACK(OnDragEnd), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
