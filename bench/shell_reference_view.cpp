// The reference of shell_bench: the smallest WebKitGTK program that shows a
// page from a file, in a GTK window like the shell's, and says when the
// page's load event has run (the page sets its title then).
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) return 2;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, nullptr));
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(view, "notify::title",
                     G_CALLBACK(+[](WebKitWebView* web_view, GParamSpec*, gpointer) {
                         const gchar* title = webkit_web_view_get_title(web_view);
                         if (title && std::strcmp(title, "loaded") == 0) {
                             std::printf("loaded\n");
                             std::fflush(stdout);
                         }
                     }),
                     nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
