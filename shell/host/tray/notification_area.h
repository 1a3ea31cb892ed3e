// The notification-area icon of the main window and its balloon.
//
// The icon is a GtkStatusIcon, an XEMBED tray icon, rather than a
// StatusNotifierItem (libayatana-appindicator3): the window needs a left
// click and a left double click to bring it back and a right click for its
// menu, and the indicator API reports no click at all, only its own menu.
// The balloon is a desktop notification through libnotify, replaced in place
// while the icon is in the area and closed with it.
#pragma once

#include <gtk/gtk.h>
#include <libnotify/notify.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/glib/owned.h"
#include "shell/host/tray/tray_arguments.h"

namespace nb::shell {

struct TrayIconEvents {
    std::function<void()> activate;  // left button up, left double click
    std::function<void()> menu;      // right button up
};

class NotificationArea {
   public:
    // icon_file: the application's icon beside the program; a theme icon
    // stands in when the file does not exist.
    NotificationArea(std::string icon_file, TrayIconEvents events);
    NotificationArea(const NotificationArea&) = delete;
    NotificationArea& operator=(const NotificationArea&) = delete;
    ~NotificationArea();

    bool InArea() const { return m_icon != nullptr; }
    // Adds the icon with the application's name (its tip is the first 63
    // units). False when it is already in the area, which changes nothing.
    bool Add(std::u16string_view application_name);
    // Removes the icon and closes its balloon; nothing when not in the area.
    void Remove();

    // A balloon belongs to the icon: without the icon in the area nothing is
    // shown (false). An empty text hides the balloon, as the system does.
    bool ShowBalloon(const BalloonRequest& request, std::u16string_view application_name);
    // Closes the balloon; false when the icon is not in the area.
    bool HideBalloon();

   private:
    static gboolean OnButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer self);
    static gboolean OnButtonRelease(GtkStatusIcon*, GdkEventButton* event, gpointer self);
    void CloseBalloon();

    std::string m_icon_file;
    TrayIconEvents m_events;
    GtkStatusIcon* m_icon = nullptr;
    glib::Object<NotifyNotification> m_balloon;
};

}  // namespace nb::shell
