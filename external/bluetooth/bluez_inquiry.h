// One discovery on bluetoothd's default adapter, through its D-Bus API: the
// devices it knows already and those it finds, until the adapter stops
// discovering, goes away, or bluetoothd does. Everything happens on the
// calling thread, inside Serve.
#pragma once

#include <memory>
#include <string>

#include "external/bluetooth/found_devices.h"
#include "external/bluetooth/system_bus.h"

namespace nb::external::bluetooth {

class BluezInquiry {
   public:
    // The first adapter bluetoothd offers, and the devices it knows; nothing
    // when there is no system bus, no bluetoothd or no adapter.
    static std::unique_ptr<BluezInquiry> Open();
    // Stops the discovery this object started.
    ~BluezInquiry();
    BluezInquiry(const BluezInquiry&) = delete;
    BluezInquiry& operator=(const BluezInquiry&) = delete;

    // Asks the adapter to discover devices over BR/EDR, as an inquiry does;
    // false when it refuses (powered off, for one).
    bool Start();
    // Handles news from bluetoothd, waiting up to wait_ms for it.
    void Serve(unsigned wait_ms) { m_bus->Serve(wait_ms); }
    // False once the adapter stopped discovering, went away, or bluetoothd did.
    bool Running() const { return m_running; }
    FoundDevices& devices() { return m_devices; }

   private:
    explicit BluezInquiry(std::unique_ptr<SystemBus> bus) : m_bus(std::move(bus)) {}

    void Subscribe();
    bool LoadObjects();
    void AddObject(const char* path, GVariant* interfaces);
    static void OnSignal(GDBusConnection* connection, const gchar* sender, const gchar* path,
                         const gchar* interface, const gchar* member, GVariant* parameters,
                         gpointer data);
    void OnInterfacesAdded(GVariant* parameters);
    void OnInterfacesRemoved(GVariant* parameters);
    void OnPropertiesChanged(const gchar* path, GVariant* parameters);
    void OnOwnerChanged(GVariant* parameters);

    FoundDevices m_devices;  // declared before the bus, whose signals fill it
    std::unique_ptr<SystemBus> m_bus;
    std::string m_adapter;  // its object path
    bool m_started = false;
    bool m_running = true;
};

}  // namespace nb::external::bluetooth
