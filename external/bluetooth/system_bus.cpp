#include "external/bluetooth/system_bus.h"

namespace nb::external::bluetooth {
namespace {

// A bus that takes longer to let us in, or a service longer to answer, is
// taken as absent.
constexpr gint64 kConnectTimeoutUs = 5'000'000;
constexpr int kCallTimeoutMs = 3000;
constexpr unsigned kConnectPollMs = 50;

struct PendingConnection {
    glib::Object<GDBusConnection> connection;
    bool done = false;
};

void OnConnected(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<PendingConnection*>(data);
    pending->connection.reset(g_dbus_connection_new_for_address_finish(result, nullptr));
    pending->done = true;
}

gboolean EndWait(gpointer) { return G_SOURCE_REMOVE; }

}  // namespace

std::unique_ptr<SystemBus> SystemBus::Connect() {
    glib::MainContext context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    std::unique_ptr<SystemBus> bus(new SystemBus(std::move(context)));
    const glib::Text address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr));
    if (!address) return nullptr;
    // Asynchronous, so that a bus that accepts but never answers is given up.
    PendingConnection pending;
    const glib::Object<GCancellable> cancellable(g_cancellable_new());
    g_dbus_connection_new_for_address(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable.get(), OnConnected, &pending);
    const gint64 deadline = g_get_monotonic_time() + kConnectTimeoutUs;
    // The callback comes in any case, at the latest once cancelled.
    while (!pending.done) {
        if (g_get_monotonic_time() >= deadline) g_cancellable_cancel(cancellable.get());
        bus->Serve(kConnectPollMs);
    }
    if (!pending.connection) return nullptr;
    g_dbus_connection_set_exit_on_close(pending.connection.get(), FALSE);
    bus->m_connection = std::move(pending.connection);
    return bus;
}

SystemBus::~SystemBus() {
    if (m_connection) {
        for (const guint id : m_subscriptions)
            g_dbus_connection_signal_unsubscribe(m_connection.get(), id);
        g_dbus_connection_close_sync(m_connection.get(), nullptr, nullptr);
        m_connection.reset();
    }
    // Signals still queued are dropped with the context, never dispatched.
    g_main_context_pop_thread_default(m_context.get());
}

glib::Variant SystemBus::Call(const Method& method, GVariant* parameters,
                              const GVariantType* reply_type) {
    return glib::Take(g_dbus_connection_call_sync(
        m_connection.get(), method.service, method.path, method.interface, method.name, parameters,
        reply_type, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr));
}

void SystemBus::Subscribe(const char* sender, const char* interface, const char* member,
                          const char* path, GDBusSignalCallback callback, gpointer data) {
    m_subscriptions.push_back(g_dbus_connection_signal_subscribe(
        m_connection.get(), sender, interface, member, path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        callback, data, nullptr));
}

void SystemBus::Serve(unsigned wait_ms) {
    const glib::Source timer(g_timeout_source_new(wait_ms));
    g_source_set_callback(timer.get(), EndWait, nullptr, nullptr);
    g_source_attach(timer.get(), m_context.get());
    g_main_context_iteration(m_context.get(), TRUE);
    while (g_main_context_iteration(m_context.get(), FALSE)) {
    }
    g_source_destroy(timer.get());
}

}  // namespace nb::external::bluetooth
