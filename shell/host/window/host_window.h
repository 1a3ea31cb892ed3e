// The GTK window of a shell window and the WebKitWebView inside it: applies
// the settings record, answers the engine's host questions (context menu,
// page dialogs, keys, window requests) and reports title, navigation and
// close events to its CBrowserCustomizer.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/glib/owned.h"
#include "shell/settings/window_settings.h"

namespace nb::shell {

class CBrowserCustomizer;
class WebEngine;

enum class Placing { kKeep, kPlace };

class HostWindow {
   public:
    // related: the view of the opening page for a window.open window.
    [[nodiscard]] static std::unique_ptr<HostWindow> Create(CBrowserCustomizer& owner,
                                                            WebEngine& engine,
                                                            WebKitWebView* related = nullptr);
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow();

    static ScreenSize Screen();
    static ScreenSize WorkArea();
    static std::uint32_t ScreenDpi();

    std::uint64_t PageId() const;
    WebKitWebView* View() const { return m_view.get(); }
    GtkWindow* Window() const { return GTK_WINDOW(m_window.get()); }
    const std::string& CurrentUrl() const { return m_current_url; }
    // The GTK window was destroyed (the object lives on until its owner goes).
    bool Destroyed() const { return m_destroyed; }

    void ComputeMetrics();
    void ApplySettings(Placing placing);
    void PlaceWindow();
    // The scroll-bar and text-selection rules of the page.
    void ApplyPageStyle();
    void ShowByState();
    void Hide();
    void Center();
    void Navigate(const std::string& url);
    // Close handling later from the loop, as a close message would.
    void PostClose();
    void Destroy();

   private:
    HostWindow(CBrowserCustomizer& owner, WebEngine& engine) : m_owner(owner), m_engine(engine) {}

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static void OnDestroy(GtkWidget*, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self);
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
    static void OnTitle(WebKitWebView* view, GParamSpec*, gpointer self);
    static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static void OnViewClose(WebKitWebView*, gpointer self);
    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer self);
    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
    static void OnGeometryRequest(GObject*, GParamSpec*, gpointer self);
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                  WebKitHitTestResult* hit, gpointer self);

    CBrowserCustomizer& m_owner;
    WebEngine& m_engine;
    // Released in this order's reverse: the window before its view.
    glib::Object<WebKitUserContentManager> m_content;
    glib::Object<WebKitWebView> m_view;
    glib::Object<GtkWidget> m_window;
    std::string m_current_url;
    bool m_placing = false;
    // The size place-window last asked for, until the window reports it (or
    // half a second passes): configure events of earlier sizes that arrive
    // meanwhile are not the user's doing and are not recorded.
    int m_requested_width = 0;
    int m_requested_height = 0;
    gint64 m_requested_at_us = 0;
    bool m_destroyed = false;
};

}  // namespace nb::shell
