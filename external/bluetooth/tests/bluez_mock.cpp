#include "external/bluetooth/tests/bluez_mock.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

extern char** environ;

namespace nb::external::bluetooth::testing {
namespace {

constexpr int kStartRounds = 200;  // of 50 ms: ten seconds to come up
constexpr useconds_t kStartPauseUs = 50000;
constexpr int kCallTimeoutMs = 5000;

// Starts a program of ours; its output goes to log.
pid_t Spawn(std::vector<std::string> command, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> arguments;
    for (std::string& part : command) arguments.push_back(part.data());
    arguments.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

template <typename Condition>
bool WaitFor(Condition condition) {
    for (int round = 0; round < kStartRounds; ++round) {
        if (condition()) return true;
        ::usleep(kStartPauseUs);
    }
    return false;
}

GVariant* Text(const std::string& text) { return g_variant_new_string(text.c_str()); }

// The properties the template gives a device, less those a test leaves out.
GVariant* DeviceProperties(const std::string& adapter, const std::string& address,
                           const char* address_type, const std::string* name) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "Address", Text(address));
    g_variant_builder_add(&properties, "{sv}", "AddressType", g_variant_new_string(address_type));
    if (name) g_variant_builder_add(&properties, "{sv}", "Name", Text(*name));
    g_variant_builder_add(&properties, "{sv}", "Alias", Text(name ? *name : address));
    g_variant_builder_add(&properties, "{sv}", "Adapter",
                          g_variant_new_object_path(("/org/bluez/" + adapter).c_str()));
    g_variant_builder_add(&properties, "{sv}", "Paired", g_variant_new_boolean(FALSE));
    g_variant_builder_add(&properties, "{sv}", "RSSI", g_variant_new_int16(-60));
    return g_variant_builder_end(&properties);
}

}  // namespace

std::string DevicePath(const std::string& adapter, const std::string& address) {
    std::string name = address;
    std::replace(name.begin(), name.end(), ':', '_');
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    return "/org/bluez/" + adapter + "/dev_" + name;
}

PrivateSystemBus::PrivateSystemBus() {
    const std::string socket = m_folder / "system_bus";
    const std::string address = "unix:path=" + socket;
    m_daemon = Spawn({"dbus-daemon", "--config-file=/usr/share/dbus-1/session.conf",
                      "--address=" + address, "--nofork", "--nopidfile"},
                     m_folder / "dbus-daemon.log");
    if (m_daemon < 0) return;
    // The socket's file exists a moment before the daemon listens on it.
    WaitFor([&] {
        if (!std::filesystem::exists(socket)) return false;
        m_connection.reset(g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr));
        return static_cast<bool>(m_connection);
    });
    if (m_connection) m_address.emplace("DBUS_SYSTEM_BUS_ADDRESS", address);
}

PrivateSystemBus::~PrivateSystemBus() {
    if (m_connection) g_dbus_connection_close_sync(m_connection.get(), nullptr, nullptr);
    m_connection.reset();
    m_address.reset();
    Stop(m_daemon);
}

bool PrivateSystemBus::HasOwner(const char* name) const {
    const glib::Variant reply = glib::Take(g_dbus_connection_call_sync(
        m_connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, nullptr));
    gboolean owned = FALSE;
    if (reply) g_variant_get(reply.get(), "(b)", &owned);
    return owned;
}

BluezMock::BluezMock(PrivateSystemBus& bus) : m_bus(bus) {
    if (!bus.ready()) return;
    // Debian's python3-dbusmock belongs to the system's interpreter.
    m_mock = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "bluez5"},
                   "/dev/null");
    if (m_mock > 0) WaitFor([&] { return bus.HasOwner("org.bluez"); });
}

bool BluezMock::ready() const { return m_mock > 0 && m_bus.HasOwner("org.bluez"); }

void BluezMock::Quit() { Stop(m_mock); }

glib::Variant BluezMock::Call(const std::string& path, const char* interface, const char* method,
                              GVariant* parameters) const {
    GError* error = nullptr;
    glib::Variant reply = glib::Take(g_dbus_connection_call_sync(
        m_bus.connection(), "org.bluez", path.c_str(), interface, method, parameters, nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error));
    if (error) {
        ADD_FAILURE() << method << " on " << path << ": " << error->message;
        g_error_free(error);
    }
    return reply;
}

void BluezMock::AddAdapter(const std::string& name) {
    Call("/", "org.bluez.Mock", "AddAdapter", g_variant_new("(ss)", name.c_str(), "Test computer"));
}

void BluezMock::RemoveAdapter(const std::string& name) {
    Call("/", "org.bluez.Mock", "RemoveAdapter", g_variant_new("(s)", name.c_str()));
}

void BluezMock::AddRefusingAdapter(const std::string& name) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "Address", Text("00:00:00:00:00:01"));
    g_variant_builder_add(&properties, "{sv}", "Powered", g_variant_new_boolean(FALSE));
    g_variant_builder_add(&properties, "{sv}", "Discovering", g_variant_new_boolean(FALSE));
    GVariantBuilder methods;
    g_variant_builder_init(&methods, G_VARIANT_TYPE("a(ssss)"));
    g_variant_builder_add(&methods, "(ssss)", "StartDiscovery", "", "",
                          "raise dbus.exceptions.DBusException('Not Ready', "
                          "name='org.bluez.Error.NotReady')");
    g_variant_builder_add(&methods, "(ssss)", "StopDiscovery", "", "", "");
    g_variant_builder_add(&methods, "(ssss)", "SetDiscoveryFilter", "a{sv}", "", "");
    Call("/", "org.freedesktop.DBus.Mock", "AddObject",
         g_variant_new("(ssa{sv}a(ssss))", ("/org/bluez/" + name).c_str(), "org.bluez.Adapter1",
                       &properties, &methods));
}

void BluezMock::AddDevice(const std::string& adapter, const std::string& address,
                          const std::string& name) {
    Call("/", "org.bluez.Mock", "AddDevice",
         g_variant_new("(sss)", adapter.c_str(), address.c_str(), name.c_str()));
}

void BluezMock::AddNamelessDevice(const std::string& adapter, const std::string& address,
                                  const char* address_type) {
    AddDeviceObject(adapter, address, DeviceProperties(adapter, address, address_type, nullptr));
}

void BluezMock::AddDeviceObject(const std::string& adapter, const std::string& address,
                                GVariant* properties) {
    const std::string path = DevicePath(adapter, address);
    const glib::Variant kept = glib::Take(properties);
    Call("/", "org.freedesktop.DBus.Mock", "AddObject",
         g_variant_new("(ss@a{sv}@a(ssss))", path.c_str(), "org.bluez.Device1", kept.get(),
                       g_variant_new_array(G_VARIANT_TYPE("(ssss)"), nullptr, 0)));
    // Objects added this way are announced by hand, as bluetoothd announces them.
    GVariantBuilder interfaces;
    g_variant_builder_init(&interfaces, G_VARIANT_TYPE("a{sa{sv}}"));
    g_variant_builder_add(&interfaces, "{s@a{sv}}", "org.bluez.Device1", kept.get());
    GVariant* arguments[] = {g_variant_new_variant(g_variant_new_object_path(path.c_str())),
                             g_variant_new_variant(g_variant_builder_end(&interfaces))};
    Call("/", "org.freedesktop.DBus.Mock", "EmitSignal",
         g_variant_new("(sss@av)", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                       "oa{sa{sv}}", g_variant_new_array(G_VARIANT_TYPE_VARIANT, arguments, 2)));
}

void BluezMock::NameDevice(const std::string& adapter, const std::string& address,
                           const std::string& name) {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", "Name", Text(name));
    GVariant* arguments[] = {g_variant_new_variant(g_variant_new_string("org.bluez.Device1")),
                             g_variant_new_variant(g_variant_builder_end(&changed)),
                             g_variant_new_variant(g_variant_new_strv(nullptr, 0))};
    Call(DevicePath(adapter, address), "org.freedesktop.DBus.Mock", "EmitSignal",
         g_variant_new("(sss@av)", "org.freedesktop.DBus.Properties", "PropertiesChanged",
                       "sa{sv}as", g_variant_new_array(G_VARIANT_TYPE_VARIANT, arguments, 3)));
}

bool BluezMock::Discovering(const std::string& adapter) const {
    const glib::Variant reply = glib::Take(g_dbus_connection_call_sync(
        m_bus.connection(), "org.bluez", ("/org/bluez/" + adapter).c_str(),
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.bluez.Adapter1", "Discovering"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr));
    if (!reply) return false;
    glib::Variant value;
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    value.reset(inner);
    return g_variant_is_of_type(inner, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(inner);
}

void BluezMock::StopDiscovery(const std::string& adapter) {
    Call("/org/bluez/" + adapter, "org.bluez.Adapter1", "StopDiscovery", nullptr);
}

}  // namespace nb::external::bluetooth::testing
