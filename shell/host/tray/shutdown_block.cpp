#include "shell/host/tray/shutdown_block.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <cstdio>

#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

// The call runs on the UI thread inside a script call, so a logind that does
// not answer must not hold the window for the bus's default 25 seconds.
constexpr int kInhibitTimeoutMs = 3000;

// The inhibitor descriptor, or -1 with the reason on stderr.
int TakeInhibitor(const std::string& who, const std::string& why) {
    glib::Error error;
    const auto bus = glib::Take(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, glib::Out(error)));
    if (!bus) {
        std::fprintf(stderr, "NbBrowser: no system bus for the shutdown block: %s\n",
                     error->message);
        return -1;
    }
    // The list closes its own copies; the descriptor taken from it is a duplicate.
    glib::Object<GUnixFDList> descriptors;
    const auto reply = glib::Take(g_dbus_connection_call_with_unix_fd_list_sync(
        bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
        "org.freedesktop.login1.Manager", "Inhibit",
        g_variant_new("(ssss)", "shutdown", who.c_str(), why.c_str(), "block"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE, kInhibitTimeoutMs, nullptr,
        glib::Out(descriptors), nullptr, glib::Out(error)));
    if (!reply) {
        std::fprintf(stderr, "NbBrowser: logind refused the shutdown block: %s\n", error->message);
        return -1;
    }
    gint32 index = -1;
    g_variant_get(reply.get(), "(h)", &index);
    if (!descriptors) return -1;
    const int fd = g_unix_fd_list_get(descriptors.get(), index, glib::Out(error));
    if (fd < 0)
        std::fprintf(stderr, "NbBrowser: no shutdown-block descriptor: %s\n", error->message);
    return fd;
}

}  // namespace

void ShutdownBlock::Block(std::u16string_view who, std::u16string_view reason) {
    Release();
    m_reason = std::u16string(reason);
    m_lock.Reset(TakeInhibitor(ToUtf8(who), ToUtf8(reason)));
}

void ShutdownBlock::Release() {
    m_lock.Reset();
    m_reason.reset();
}

}  // namespace nb::shell
