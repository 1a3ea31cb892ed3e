#include "external/bluetooth/found_devices.h"

#include "external/bluetooth/push_target.h"
#include "platform/text/code_pages.h"

namespace nb::external::bluetooth {
namespace {

std::optional<std::string> TextProperty(GVariant* properties, const char* key) {
    const char* text = nullptr;
    if (!g_variant_lookup(properties, key, "&s", &text)) return std::nullopt;
    return std::string(text);
}

}  // namespace

void FoundDevices::Add(const std::string& path, GVariant* properties) {
    if (m_entries.count(path)) return;
    const std::optional<std::string> address = TextProperty(properties, "Address");
    if (!address) return;
    const std::optional<BluetoothAddress> parsed = ParseBluetoothAddress(ToUtf16(*address));
    if (!parsed || TextProperty(properties, "AddressType") == "random") return;
    Entry& entry = m_entries[path];
    entry.address = FormatBluetoothAddress(*parsed);
    m_appeared.push_back(path);
    Named(path, entry, properties);
}

void FoundDevices::Change(const std::string& path, GVariant* changed) {
    const auto found = m_entries.find(path);
    if (found != m_entries.end()) Named(path, found->second, changed);
}

void FoundDevices::Named(const std::string& path, Entry& entry, GVariant* properties) {
    if (entry.name || entry.reported) return;
    const std::optional<std::string> name = TextProperty(properties, "Name");
    if (!name) return;
    entry.name = ToUtf16(*name);
    m_named.push_back(path);
}

std::optional<FoundDevice> FoundDevices::TakeNamed() {
    if (m_named.empty()) return std::nullopt;
    Entry& entry = m_entries.at(m_named.front());
    m_named.pop_front();
    entry.reported = true;
    return FoundDevice{entry.address, entry.name};
}

std::vector<FoundDevice> FoundDevices::TakeNameless() {
    std::vector<FoundDevice> nameless;
    for (const std::string& path : m_appeared) {
        Entry& entry = m_entries.at(path);
        if (entry.reported || entry.name) continue;
        entry.reported = true;
        nameless.push_back({entry.address, std::nullopt});
    }
    return nameless;
}

}  // namespace nb::external::bluetooth
