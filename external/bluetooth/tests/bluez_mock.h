// bluetoothd as python3-dbusmock's bluez5 template plays it, on a private
// system bus the test starts: DBUS_SYSTEM_BUS_ADDRESS names that bus while
// the object lives. The test drives the mock as bluetoothd's adapter and
// devices would behave: adapters and devices appear, names arrive late, the
// inquiry ends, the adapter or the daemon goes.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

#include "external/frame/tests/test_environment.h"
#include "platform/glib/owned.h"

namespace nb::external::bluetooth::testing {

// A dbus-daemon of its own; the system bus for this process while it lives.
class PrivateSystemBus {
   public:
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool ready() const { return static_cast<bool>(m_connection); }
    // The test's own connection to it.
    GDBusConnection* connection() const { return m_connection.get(); }
    bool HasOwner(const char* name) const;

   private:
    nb::external::testing::TemporaryFolder m_folder;
    pid_t m_daemon = -1;
    std::optional<nb::external::testing::ScopedVariable> m_address;
    glib::Object<GDBusConnection> m_connection;
};

class BluezMock {
   public:
    // Starts the mock on the bus; ready() once it owns org.bluez.
    explicit BluezMock(PrivateSystemBus& bus);
    ~BluezMock() { Quit(); }
    BluezMock(const BluezMock&) = delete;
    BluezMock& operator=(const BluezMock&) = delete;

    bool ready() const;
    // bluetoothd ends: its name leaves the bus.
    void Quit();

    void AddAdapter(const std::string& name);  // "hci0"
    void RemoveAdapter(const std::string& name);
    // An adapter that refuses to discover, as a powered-off one does.
    void AddRefusingAdapter(const std::string& name);
    // A device found with its name, as the template adds one.
    void AddDevice(const std::string& adapter, const std::string& address, const std::string& name);
    // A device found without a name, or with a random (Low Energy) address.
    void AddNamelessDevice(const std::string& adapter, const std::string& address,
                           const char* address_type = "public");
    // The name of a device found earlier arrives.
    void NameDevice(const std::string& adapter, const std::string& address,
                    const std::string& name);

    bool Discovering(const std::string& adapter) const;
    // The adapter's inquiry ends, as when bluetoothd stops discovering.
    void StopDiscovery(const std::string& adapter);

   private:
    glib::Variant Call(const std::string& path, const char* interface, const char* method,
                       GVariant* parameters) const;
    void AddDeviceObject(const std::string& adapter, const std::string& address,
                         GVariant* properties);

    PrivateSystemBus& m_bus;
    pid_t m_mock = -1;
};

std::string DevicePath(const std::string& adapter, const std::string& address);

}  // namespace nb::external::bluetooth::testing
