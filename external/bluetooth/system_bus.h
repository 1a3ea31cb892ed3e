// A connection of its own to the system bus, served on a main context of the
// calling thread's own: signals are handled only inside Serve, on this
// thread, and no call waits without bound. Closing it ends whatever the
// daemons keep for this client (a discovery, for one).
#pragma once

#include <gio/gio.h>

#include <memory>
#include <vector>

#include "platform/glib/owned.h"

namespace nb::external::bluetooth {

class SystemBus {
   public:
    // Connects within a few seconds; nothing when no bus answers. The
    // object must go on the thread that made it.
    static std::unique_ptr<SystemBus> Connect();
    ~SystemBus();
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    struct Method {
        const char* service;
        const char* path;
        const char* interface;
        const char* name;
    };
    // The reply of a call answered within a few seconds; nothing on an error
    // or no answer. parameters (floating or null) is consumed.
    glib::Variant Call(const Method& method, GVariant* parameters, const GVariantType* reply_type);

    // callback runs inside Serve for every signal that matches (null
    // matches anything), until the bus goes.
    void Subscribe(const char* sender, const char* interface, const char* member, const char* path,
                   GDBusSignalCallback callback, gpointer data);

    // Handles what has arrived, waiting up to wait_ms for the first of it.
    void Serve(unsigned wait_ms);

   private:
    explicit SystemBus(glib::MainContext context) : m_context(std::move(context)) {}

    glib::MainContext m_context;  // the thread's default while the bus lives
    glib::Object<GDBusConnection> m_connection;
    std::vector<guint> m_subscriptions;
};

}  // namespace nb::external::bluetooth
