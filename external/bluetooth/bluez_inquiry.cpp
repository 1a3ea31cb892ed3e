#include "external/bluetooth/bluez_inquiry.h"

#include <cstring>
#include <string_view>

namespace nb::external::bluetooth {
namespace {

constexpr const char* kService = "org.bluez";
constexpr const char* kAdapterInterface = "org.bluez.Adapter1";
constexpr const char* kDeviceInterface = "org.bluez.Device1";
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// Adapters by index, as bluetoothd numbers them: hci2 before hci10.
bool ComesBefore(std::string_view path, std::string_view other) {
    return path.size() != other.size() ? path.size() < other.size() : path < other;
}

bool IsOfType(GVariant* value, const char* type) {
    return g_variant_is_of_type(value, G_VARIANT_TYPE(type));
}

bool IsAdapter(GVariant* interfaces) {
    return static_cast<bool>(
        glib::Take(g_variant_lookup_value(interfaces, kAdapterInterface, nullptr)));
}

}  // namespace

std::unique_ptr<BluezInquiry> BluezInquiry::Open() {
    std::unique_ptr<SystemBus> bus = SystemBus::Connect();
    if (!bus) return nullptr;
    std::unique_ptr<BluezInquiry> inquiry(new BluezInquiry(std::move(bus)));
    // Listening first, so that nothing between the list and the discovery is missed.
    inquiry->Subscribe();
    if (!inquiry->LoadObjects()) return nullptr;
    return inquiry;
}

BluezInquiry::~BluezInquiry() {
    if (m_started && m_running)
        m_bus->Call({kService, m_adapter.c_str(), kAdapterInterface, "StopDiscovery"}, nullptr,
                    nullptr);
}

void BluezInquiry::Subscribe() {
    m_bus->Subscribe(kService, kObjectManager, "InterfacesAdded", "/", OnSignal, this);
    m_bus->Subscribe(kService, kObjectManager, "InterfacesRemoved", "/", OnSignal, this);
    m_bus->Subscribe(kService, kProperties, "PropertiesChanged", nullptr, OnSignal, this);
    m_bus->Subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                     "/org/freedesktop/DBus", OnSignal, this);
}

bool BluezInquiry::LoadObjects() {
    const glib::Variant reply = m_bus->Call({kService, "/", kObjectManager, "GetManagedObjects"},
                                            nullptr, G_VARIANT_TYPE("(a{oa{sa{sv}}})"));
    if (!reply) return false;
    const glib::Variant objects = glib::Take(g_variant_get_child_value(reply.get(), 0));
    GVariantIter iter;
    const char* path = nullptr;
    GVariant* interfaces = nullptr;
    g_variant_iter_init(&iter, objects.get());
    while (g_variant_iter_loop(&iter, "{&o@a{sa{sv}}}", &path, &interfaces))
        if (IsAdapter(interfaces) && (m_adapter.empty() || ComesBefore(path, m_adapter)))
            m_adapter = path;
    if (m_adapter.empty()) return false;
    g_variant_iter_init(&iter, objects.get());
    while (g_variant_iter_loop(&iter, "{&o@a{sa{sv}}}", &path, &interfaces))
        AddObject(path, interfaces);
    return true;
}

// A device object of this adapter joins the devices found.
void BluezInquiry::AddObject(const char* path, GVariant* interfaces) {
    const glib::Variant device =
        glib::Take(g_variant_lookup_value(interfaces, kDeviceInterface, G_VARIANT_TYPE("a{sv}")));
    if (!device) return;
    const char* adapter = nullptr;
    if (g_variant_lookup(device.get(), "Adapter", "&o", &adapter) && m_adapter == adapter)
        m_devices.Add(path, device.get());
}

bool BluezInquiry::Start() {
    // Object Push needs BR/EDR; an adapter without filters discovers anyway.
    GVariantBuilder filter;
    g_variant_builder_init(&filter, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&filter, "{sv}", "Transport", g_variant_new_string("bredr"));
    m_bus->Call({kService, m_adapter.c_str(), kAdapterInterface, "SetDiscoveryFilter"},
                g_variant_new("(a{sv})", &filter), nullptr);
    m_started = static_cast<bool>(m_bus->Call(
        {kService, m_adapter.c_str(), kAdapterInterface, "StartDiscovery"}, nullptr, nullptr));
    return m_started;
}

void BluezInquiry::OnSignal(GDBusConnection*, const gchar*, const gchar* path, const gchar*,
                            const gchar* member, GVariant* parameters, gpointer data) {
    auto* inquiry = static_cast<BluezInquiry*>(data);
    if (std::strcmp(member, "InterfacesAdded") == 0)
        inquiry->OnInterfacesAdded(parameters);
    else if (std::strcmp(member, "InterfacesRemoved") == 0)
        inquiry->OnInterfacesRemoved(parameters);
    else if (std::strcmp(member, "PropertiesChanged") == 0)
        inquiry->OnPropertiesChanged(path, parameters);
    else
        inquiry->OnOwnerChanged(parameters);
}

void BluezInquiry::OnInterfacesAdded(GVariant* parameters) {
    if (!IsOfType(parameters, "(oa{sa{sv}})")) return;
    const char* path = nullptr;
    GVariant* interfaces = nullptr;
    g_variant_get(parameters, "(&o@a{sa{sv}})", &path, &interfaces);
    AddObject(path, interfaces);
    g_variant_unref(interfaces);
}

void BluezInquiry::OnInterfacesRemoved(GVariant* parameters) {
    if (!IsOfType(parameters, "(oas)")) return;
    const char* path = nullptr;
    GVariantIter* removed = nullptr;
    g_variant_get(parameters, "(&oas)", &path, &removed);
    const char* interface = nullptr;
    while (g_variant_iter_loop(removed, "&s", &interface))
        if (m_adapter == path && std::strcmp(interface, kAdapterInterface) == 0) m_running = false;
    g_variant_iter_free(removed);
}

void BluezInquiry::OnPropertiesChanged(const gchar* path, GVariant* parameters) {
    if (!IsOfType(parameters, "(sa{sv}as)")) return;
    const char* interface = nullptr;
    GVariant* changed = nullptr;
    g_variant_get(parameters, "(&s@a{sv}@as)", &interface, &changed, nullptr);
    if (std::strcmp(interface, kDeviceInterface) == 0) {
        m_devices.Change(path, changed);
    } else if (m_adapter == path && std::strcmp(interface, kAdapterInterface) == 0) {
        gboolean discovering = TRUE;
        if (g_variant_lookup(changed, "Discovering", "b", &discovering) && !discovering)
            m_running = false;
    }
    g_variant_unref(changed);
}

void BluezInquiry::OnOwnerChanged(GVariant* parameters) {
    if (!IsOfType(parameters, "(sss)")) return;
    const char* name = nullptr;
    const char* owner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, nullptr, &owner);
    if (std::strcmp(name, kService) == 0 && owner[0] == '\0') m_running = false;
}

}  // namespace nb::external::bluetooth
