#include "shell/host/window/host_window.h"

#include <gdk/gdkkeysyms.h>

#include <cmath>
#include <cstring>

#include "platform/text/code_pages.h"
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/window/web_engine.h"

namespace nb::shell {
namespace {

// Pages that may not select text or scroll get these style sheets; edit
// fields stay selectable, as they are in a dialog.
constexpr char kNoSelection[] =
    "*{-webkit-user-select:none;user-select:none}"
    "input,textarea,[contenteditable]{-webkit-user-select:text;user-select:text}";
constexpr char kNoScrollBars[] = "html,body{overflow:hidden !important}";

GdkRectangle MonitorArea(bool work_area) {
    GdkRectangle area{0, 0, 1024, 768};
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return area;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return area;
    if (work_area)
        gdk_monitor_get_workarea(monitor, &area);
    else
        gdk_monitor_get_geometry(monitor, &area);
    return area;
}

}  // namespace

ScreenSize HostWindow::Screen() {
    const GdkRectangle area = MonitorArea(false);
    return {area.width, area.height};
}

ScreenSize HostWindow::WorkArea() {
    const GdkRectangle area = MonitorArea(true);
    return {area.width, area.height};
}

std::uint32_t HostWindow::ScreenDpi() {
    GdkScreen* screen = gdk_screen_get_default();
    const double dpi = screen ? gdk_screen_get_resolution(screen) : -1.0;
    return dpi > 0 ? static_cast<std::uint32_t>(std::lround(dpi)) : 96;
}

std::unique_ptr<HostWindow> HostWindow::Create(CBrowserCustomizer& owner, WebEngine& engine,
                                               WebKitWebView* related) {
    std::unique_ptr<HostWindow> host(new HostWindow(owner, engine));
    host->m_content = glib::Take(webkit_user_content_manager_new());
    // Held past the window's destruction, which destroys its child.
    host->m_view = glib::Take(WEBKIT_WEB_VIEW(
        related ? g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                               "user-content-manager", host->m_content.get(), nullptr)
                : g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", engine.Context(),
                               "user-content-manager", host->m_content.get(), nullptr)));
    if (!host->m_view) return nullptr;
    WebKitSettings* settings = webkit_web_view_get_settings(host->m_view.get());
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, TRUE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
    const std::string product = ToUtf8(owner.Settings().user_agent);
    const std::string agent = std::string(webkit_settings_get_user_agent(settings)) + " " + product;
    webkit_settings_set_user_agent(settings, agent.c_str());

    // GTK keeps the reference a new toplevel comes with until it is destroyed;
    // this one is ours, held past the destruction.
    host->m_window = glib::Ref(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(GTK_WINDOW(host->m_window.get()),
                         ToUtf8(owner.Settings().application_name).c_str());
    gtk_container_add(GTK_CONTAINER(host->m_window.get()), GTK_WIDGET(host->m_view.get()));
    gtk_widget_show(GTK_WIDGET(host->m_view.get()));
    HostWindow* self = host.get();
    g_signal_connect(host->m_window.get(), "delete-event", G_CALLBACK(OnDelete), self);
    g_signal_connect(host->m_window.get(), "destroy", G_CALLBACK(OnDestroy), self);
    g_signal_connect(host->m_window.get(), "key-press-event", G_CALLBACK(OnKeyPress), self);
    g_signal_connect(host->m_window.get(), "configure-event", G_CALLBACK(OnConfigure), self);
    g_signal_connect(host->m_window.get(), "window-state-event", G_CALLBACK(OnWindowState), self);
    g_signal_connect(host->m_view.get(), "notify::title", G_CALLBACK(OnTitle), self);
    g_signal_connect(host->m_view.get(), "load-changed", G_CALLBACK(OnLoadChanged), self);
    g_signal_connect(host->m_view.get(), "close", G_CALLBACK(OnViewClose), self);
    g_signal_connect(host->m_view.get(), "create", G_CALLBACK(OnCreate), self);
    g_signal_connect(host->m_view.get(), "script-dialog", G_CALLBACK(OnScriptDialog), self);
    g_signal_connect(host->m_view.get(), "context-menu", G_CALLBACK(OnContextMenu), self);
    g_signal_connect(webkit_web_view_get_window_properties(host->m_view.get()), "notify::geometry",
                     G_CALLBACK(OnGeometryRequest), self);
    host->ApplyPageStyle();
    return host;
}

HostWindow::~HostWindow() {
    if (!m_window) return;
    g_signal_handlers_disconnect_by_data(m_window.get(), this);
    if (m_view) {
        g_signal_handlers_disconnect_by_data(m_view.get(), this);
        g_signal_handlers_disconnect_by_data(webkit_web_view_get_window_properties(m_view.get()),
                                             this);
    }
    if (!m_destroyed) gtk_widget_destroy(m_window.get());
}

std::uint64_t HostWindow::PageId() const { return webkit_web_view_get_page_id(m_view.get()); }

void HostWindow::ComputeMetrics() {
    // The window manager owns the frame on X11, and GTK sizes and places the
    // client area itself, so no frame is added to the record's sizes.
    m_owner.Metrics() = WindowMetrics{};
}

void HostWindow::ApplySettings(Placing placing) {
    const WindowSettings& s = m_owner.Settings();
    GtkWindow* window = GTK_WINDOW(m_window.get());
    const bool fullscreen = s.state == WindowState::kFullscreen;
    gtk_window_set_decorated(window, s.title_bar && !fullscreen);
    gtk_window_set_deletable(window, s.close_button != 0);
    gtk_window_set_resizable(window, s.resizable != 0);
    if (s.resizable) {
        GdkGeometry limits{};
        limits.min_width = static_cast<gint>(s.minimum_width * m_owner.ScaleX());
        limits.min_height = static_cast<gint>(s.minimum_height * m_owner.ScaleY());
        limits.max_width =
            s.maximum_width ? static_cast<gint>(s.maximum_width * m_owner.ScaleX()) : G_MAXSHORT;
        limits.max_height =
            s.maximum_height ? static_cast<gint>(s.maximum_height * m_owner.ScaleY()) : G_MAXSHORT;
        gtk_window_set_geometry_hints(
            window, nullptr, &limits,
            static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    }
    // Minimize and maximize boxes are window-manager functions on X11; window
    // managers that read the Motif hints honour them.
    if (GdkWindow* gdk_window = gtk_widget_get_window(m_window.get())) {
        int functions = GDK_FUNC_MOVE | GDK_FUNC_RESIZE;
        if (s.minimize_button) functions |= GDK_FUNC_MINIMIZE;
        if (s.maximize_button) functions |= GDK_FUNC_MAXIMIZE;
        if (s.close_button) functions |= GDK_FUNC_CLOSE;
        if (!s.resizable) functions &= ~GDK_FUNC_RESIZE;
        gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));
    }
    ComputeMetrics();
    if (placing == Placing::kPlace) PlaceWindow();
    // Whole-window alpha needs a compositing manager; X11 has no colour key,
    // so win_Transparency alone changes nothing visible.
    const double opacity = s.alpha ? AlphaByte(s.alpha) / 255.0 : 1.0;
    gtk_widget_set_opacity(m_window.get(), opacity);
}

void HostWindow::PlaceWindow() {
    const WindowSettings& s = m_owner.Settings();
    GtkWindow* window = GTK_WINDOW(m_window.get());
    m_placing = true;
    if (s.state == WindowState::kFullscreen) {
        gtk_window_set_keep_above(window, TRUE);
        gtk_window_set_decorated(window, FALSE);
        m_owner.Metrics() = WindowMetrics{};
        gtk_window_fullscreen(window);
    } else {
        gtk_window_unfullscreen(window);
        gtk_window_set_keep_above(window, s.top_most != 0);
        const int x = ScreenPosition(s.left, m_owner.ScaleX());
        const int y = ScreenPosition(s.top, m_owner.ScaleY());
        const int width = ScreenExtent(s.width, m_owner.ScaleX()) + m_owner.Metrics().frame_width;
        const int height =
            ScreenExtent(s.height, m_owner.ScaleY()) + m_owner.Metrics().frame_height;
        gtk_window_move(window, x, y);
        m_requested_width = width;
        m_requested_height = height;
        m_requested_at_us = g_get_monotonic_time();
        if (s.resizable) {
            gtk_widget_set_size_request(GTK_WIDGET(m_view.get()), -1, -1);
            gtk_window_resize(window, width, height);
        } else {
            // A fixed window takes the size its content asks for.
            gtk_widget_set_size_request(GTK_WIDGET(m_view.get()), width, height);
            gtk_window_resize(window, width, height);
        }
    }
    m_placing = false;
}

void HostWindow::ApplyPageStyle() {
    const WindowSettings& s = m_owner.Settings();
    webkit_user_content_manager_remove_all_style_sheets(m_content.get());
    const auto add = [&](const char* css) {
        WebKitUserStyleSheet* sheet =
            webkit_user_style_sheet_new(css, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(m_content.get(), sheet);
        webkit_user_style_sheet_unref(sheet);
    };
    const bool dialog =
        m_owner.Type() == WindowType::kModalDialog || m_owner.Type() == WindowType::kModelessDialog;
    if (dialog || !s.text_selection) add(kNoSelection);
    if (!s.scroll_bars) add(kNoScrollBars);
}

void HostWindow::ShowByState() {
    GtkWindow* window = GTK_WINDOW(m_window.get());
    switch (m_owner.Settings().state) {
        case WindowState::kMinimized:
            gtk_widget_show(m_window.get());
            gtk_window_iconify(window);
            break;
        case WindowState::kMaximized:
            gtk_widget_show(m_window.get());
            gtk_window_deiconify(window);
            gtk_window_maximize(window);
            break;
        case WindowState::kHidden:
            gtk_widget_hide(m_window.get());
            break;
        case WindowState::kFullscreen:
            gtk_widget_show(m_window.get());
            PlaceWindow();
            break;
        case WindowState::kNormal:
            gtk_widget_show(m_window.get());
            gtk_window_deiconify(window);
            gtk_window_unmaximize(window);
            break;
    }
    if (m_owner.Settings().state != WindowState::kHidden) gtk_window_present(window);
}

void HostWindow::Hide() { gtk_widget_hide(m_window.get()); }

void HostWindow::Center() {
    const ScreenSize screen = Screen();
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(m_window.get()), &width, &height);
    gtk_window_move(GTK_WINDOW(m_window.get()), (screen.width - width) / 2,
                    (screen.height - height) / 2);
}

void HostWindow::Navigate(const std::string& url) {
    webkit_web_view_load_uri(m_view.get(), url.c_str());
}

void HostWindow::PostClose() {
    g_idle_add(
        [](gpointer data) -> gboolean {
            static_cast<CBrowserCustomizer*>(data)->OnCloseRequest();
            static_cast<CBrowserCustomizer*>(data)->Release();
            return G_SOURCE_REMOVE;
        },
        (m_owner.AddRef(), &m_owner));
}

void HostWindow::Destroy() {
    if (!m_destroyed) gtk_widget_destroy(m_window.get());
}

gboolean HostWindow::OnDelete(GtkWidget* widget, GdkEvent*, gpointer self) {
    // A window disabled by its modal dialog cannot be closed by the user.
    if (!gtk_widget_is_sensitive(widget)) return TRUE;
    static_cast<HostWindow*>(self)->m_owner.OnCloseRequest();
    return TRUE;  // the window is destroyed by the close path, if at all
}

void HostWindow::OnDestroy(GtkWidget*, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    if (host->m_destroyed) return;
    host->m_destroyed = true;
    host->m_owner.OnWindowDestroyed();
}

gboolean HostWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    // GTK still hands a window disabled by its modal dialog its key events;
    // a disabled window takes none, shortcuts included.
    if (!gtk_widget_is_sensitive(static_cast<HostWindow*>(self)->m_window.get())) return TRUE;
    // The page's menu shortcuts come first. Records name the key, not the
    // character it types, so the key's unshifted keyval is matched.
    guint unshifted = event->keyval;
    gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_display_get_default()),
                                        event->hardware_keycode,
                                        static_cast<GdkModifierType>(event->state & GDK_MOD2_MASK),
                                        event->group, &unshifted, nullptr, nullptr, nullptr);
    if (static_cast<HostWindow*>(self)->m_owner.Menus().TranslateAccelerator(unshifted,
                                                                             event->state))
        return TRUE;
    // Ctrl+O, Ctrl+P, Ctrl+N (and their keypad and F1 twins) would open,
    // print or start a new window: a page application does none of that.
    if (!(event->state & GDK_CONTROL_MASK)) return FALSE;
    switch (gdk_keyval_to_lower(event->keyval)) {
        case GDK_KEY_o:
        case GDK_KEY_KP_Divide:
        case GDK_KEY_p:
        case GDK_KEY_F1:
        case GDK_KEY_n:
        case GDK_KEY_KP_Decimal:
            return TRUE;
        default:
            return FALSE;
    }
}

gboolean HostWindow::OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    WindowSettings& s = host->m_owner.Settings();
    if (host->m_placing || s.state == WindowState::kFullscreen) return FALSE;
    GtkWindow* window = GTK_WINDOW(host->m_window.get());
    const GdkWindowState state =
        gtk_widget_get_window(host->m_window.get())
            ? gdk_window_get_state(gtk_widget_get_window(host->m_window.get()))
            : GdkWindowState{};
    if (state &
        (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN))
        return FALSE;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    gtk_window_get_position(window, &x, &y);
    gtk_window_get_size(window, &width, &height);
    constexpr gint64 kPlacementSettleUs = 500 * 1000;
    if (host->m_requested_at_us) {
        const bool reached = width == host->m_requested_width && height == host->m_requested_height;
        if (!reached && g_get_monotonic_time() - host->m_requested_at_us < kPlacementSettleUs)
            return FALSE;
        host->m_requested_at_us = 0;
    }
    const WindowMetrics& m = host->m_owner.Metrics();
    s.left = static_cast<std::uint32_t>(x * host->m_owner.ScaleX());
    s.top = static_cast<std::uint32_t>(y * host->m_owner.ScaleY());
    s.width = static_cast<std::uint32_t>((width - m.frame_width) / host->m_owner.ScaleX());
    s.height = static_cast<std::uint32_t>((height - m.frame_height) / host->m_owner.ScaleY());
    return FALSE;
}

gboolean HostWindow::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    WindowSettings& s = host->m_owner.Settings();
    const auto changed = event->changed_mask;
    const auto now = event->new_window_state;
    // A minimize or maximize by the user is recorded; a restore is not.
    if ((changed & GDK_WINDOW_STATE_ICONIFIED) && (now & GDK_WINDOW_STATE_ICONIFIED)) {
        s.state = WindowState::kMinimized;
        // A main window that minimizes to the notification area goes there.
        if (host->m_owner.Type() == WindowType::kMain && s.minimize_to_systray)
            host->m_owner.GoToSystray();
    } else if ((changed & GDK_WINDOW_STATE_MAXIMIZED) && (now & GDK_WINDOW_STATE_MAXIMIZED))
        s.state = WindowState::kMaximized;
    return FALSE;
}

void HostWindow::OnTitle(WebKitWebView* view, GParamSpec*, gpointer self) {
    const gchar* title = webkit_web_view_get_title(view);
    // A title that is a URL (the engine's stand-in for an untitled page) is not shown.
    if (!title || std::strstr(title, "://")) return;
    gtk_window_set_title(GTK_WINDOW(static_cast<HostWindow*>(self)->m_window.get()), title);
}

void HostWindow::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    // From the commit on, the page's scripts run and may open dialogs
    // relative to it.
    if (event != WEBKIT_LOAD_COMMITTED && event != WEBKIT_LOAD_FINISHED) return;
    const gchar* uri = webkit_web_view_get_uri(view);
    static_cast<HostWindow*>(self)->m_current_url = uri ? uri : "";
}

void HostWindow::OnViewClose(WebKitWebView*, gpointer self) {
    // window.close() from the page: no onclose, the window goes.
    static_cast<HostWindow*>(self)->m_owner.Exit();
}

GtkWidget* HostWindow::OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer self) {
    return GTK_WIDGET(static_cast<HostWindow*>(self)->m_engine.OpenNewWindow(view));
}

gboolean HostWindow::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
    auto* host = static_cast<HostWindow*>(self);
    const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
    if (type != WEBKIT_SCRIPT_DIALOG_ALERT && type != WEBKIT_SCRIPT_DIALOG_CONFIRM) return FALSE;
    // The page's message box carries the application's name as its title.
    GtkWidget* box = gtk_message_dialog_new(
        GTK_WINDOW(host->m_window.get()), GTK_DIALOG_MODAL,
        type == WEBKIT_SCRIPT_DIALOG_ALERT ? GTK_MESSAGE_WARNING : GTK_MESSAGE_QUESTION,
        type == WEBKIT_SCRIPT_DIALOG_ALERT ? GTK_BUTTONS_OK : GTK_BUTTONS_OK_CANCEL, "%s",
        webkit_script_dialog_get_message(dialog));
    gtk_window_set_title(GTK_WINDOW(box),
                         ToUtf8(host->m_owner.Settings().application_name).c_str());
    const gint answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM)
        webkit_script_dialog_confirm_set_confirmed(dialog, answer == GTK_RESPONSE_OK);
    return TRUE;
}

gboolean HostWindow::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event,
                                   WebKitHitTestResult* hit, gpointer self) {
    // Without a page menu, and over edit fields, the engine's own menu shows.
    ScriptMenus& menus = static_cast<HostWindow*>(self)->m_owner.Menus();
    if (!menus.Has(MenuKind::kContext) || webkit_hit_test_result_context_is_editable(hit))
        return FALSE;
    menus.PopupAtPointer(MenuKind::kContext, event);
    return TRUE;
}

void HostWindow::OnGeometryRequest(GObject*, GParamSpec*, gpointer self) {
    // Pages do not move or size the window: the settings put it back.
    auto* host = static_cast<HostWindow*>(self);
    g_idle_add(
        [](gpointer data) -> gboolean {
            auto* owner = static_cast<CBrowserCustomizer*>(data);
            if (owner->Window()) owner->Window()->PlaceWindow();
            owner->Release();
            return G_SOURCE_REMOVE;
        },
        (host->m_owner.AddRef(), &host->m_owner));
}

}  // namespace nb::shell
