#include "shell/host/tray/notification_area.h"

#include <cstdio>
#include <utility>

#include "platform/text/code_pages.h"

// GtkStatusIcon is deprecated in GTK 3 but is its only tray icon that reports
// clicks; its declarations are used in this file alone.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace nb::shell {
namespace {

constexpr char kFallbackIconName[] = "application-x-executable";

}  // namespace

NotificationArea::NotificationArea(std::string icon_file, TrayIconEvents events)
    : m_icon_file(std::move(icon_file)), m_events(std::move(events)) {}

NotificationArea::~NotificationArea() { Remove(); }

bool NotificationArea::Add(std::u16string_view application_name) {
    if (m_icon) return false;
    m_icon = g_file_test(m_icon_file.c_str(), G_FILE_TEST_IS_REGULAR)
                 ? gtk_status_icon_new_from_file(m_icon_file.c_str())
                 : gtk_status_icon_new_from_icon_name(kFallbackIconName);
    const std::string name = ToUtf8(application_name);
    gtk_status_icon_set_title(m_icon, name.c_str());
    gtk_status_icon_set_tooltip_text(m_icon,
                                     ToUtf8(CutUnits(application_name, kTrayTipUnits)).c_str());
    g_signal_connect(m_icon, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(m_icon, "button-release-event", G_CALLBACK(OnButtonRelease), this);
    gtk_status_icon_set_visible(m_icon, TRUE);
    return true;
}

void NotificationArea::Remove() {
    if (!m_icon) return;
    CloseBalloon();
    GtkStatusIcon* icon = m_icon;
    m_icon = nullptr;
    g_signal_handlers_disconnect_by_data(icon, this);
    gtk_status_icon_set_visible(icon, FALSE);
    // A click on the icon may be what removes it: the icon is let go once
    // its event handling is over, not from inside it.
    g_idle_add(
        [](gpointer data) -> gboolean {
            g_object_unref(data);
            return G_SOURCE_REMOVE;
        },
        icon);
}

bool NotificationArea::ShowBalloon(const BalloonRequest& request,
                                   std::u16string_view application_name) {
    if (!m_icon) return false;
    if (request.text.empty()) {
        CloseBalloon();
        return true;
    }
    const std::string app = ToUtf8(application_name);
    if (!notify_is_initted() && !notify_init(app.c_str())) {
        std::fprintf(stderr, "NbBrowser: no notification service for the balloon\n");
        return true;
    }
    const std::string title = ToUtf8(request.title);
    const std::string text = ToUtf8(request.text);
    const std::string icon(BalloonIconName(request.icon));
    if (!m_balloon)
        m_balloon = glib::Take(notify_notification_new(title.c_str(), nullptr, nullptr));
    // Properties rather than notify_notification_update, which refuses the
    // empty title a balloon may have. The same notification is shown again,
    // so the daemon replaces the earlier balloon, as a modified icon would.
    g_object_set(m_balloon.get(), "summary", title.c_str(), "body", text.c_str(), "icon-name",
                 icon.empty() ? nullptr : icon.c_str(), nullptr);
    notify_notification_set_app_name(m_balloon.get(), app.c_str());
    notify_notification_set_timeout(m_balloon.get(), request.timeout_ms);
    glib::Error error;
    if (!notify_notification_show(m_balloon.get(), glib::Out(error)))
        std::fprintf(stderr, "NbBrowser: the balloon was not shown: %s\n",
                     error ? error->message : "");
    return true;
}

bool NotificationArea::HideBalloon() {
    if (!m_icon) return false;
    CloseBalloon();
    return true;
}

void NotificationArea::CloseBalloon() {
    if (!m_balloon) return;
    // Closing a notification the daemon already dropped only reports an
    // error; there is nothing left to close either way.
    glib::Error ignored;
    notify_notification_close(m_balloon.get(), glib::Out(ignored));
    // A fresh notification next time: the closed one's id is spent.
    m_balloon.reset();
}

gboolean NotificationArea::OnButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer self) {
    auto* area = static_cast<NotificationArea*>(self);
    if (event->type == GDK_2BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY) {
        if (area->m_events.activate) area->m_events.activate();
    }
    // Presses do nothing else: the icon acts on releases, as the system's does.
    return TRUE;
}

gboolean NotificationArea::OnButtonRelease(GtkStatusIcon*, GdkEventButton* event, gpointer self) {
    auto* area = static_cast<NotificationArea*>(self);
    if (event->button == GDK_BUTTON_PRIMARY) {
        if (area->m_events.activate) area->m_events.activate();
    } else if (event->button == GDK_BUTTON_SECONDARY) {
        if (area->m_events.menu) area->m_events.menu();
    }
    return TRUE;
}

}  // namespace nb::shell

G_GNUC_END_IGNORE_DEPRECATIONS
