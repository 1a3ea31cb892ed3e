// The devices one discovery has found, each reported once: as soon as it
// has a name, or, still nameless, when the discovery ends.
#pragma once

#include <glib.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nb::external::bluetooth {

struct FoundDevice {
    std::u16string address;  // as EX_BTSend takes it
    std::optional<std::u16string> name;
    bool operator==(const FoundDevice&) const = default;
};

class FoundDevices {
   public:
    // A device object with its org.bluez.Device1 properties (a{sv}). One
    // without a usable address, or reachable only by Low Energy (a random
    // address), is left out; a path seen before changes nothing.
    void Add(const std::string& path, GVariant* properties);
    // Properties (a{sv}) that changed on a device added before.
    void Change(const std::string& path, GVariant* changed);

    // The next device with a name not reported yet, in the order they got one.
    std::optional<FoundDevice> TakeNamed();
    // Every device still without a name, in the order they appeared.
    std::vector<FoundDevice> TakeNameless();

   private:
    struct Entry {
        std::u16string address;
        std::optional<std::u16string> name;
        bool reported = false;
    };
    void Named(const std::string& path, Entry& entry, GVariant* properties);

    std::map<std::string, Entry> m_entries;  // by object path
    std::vector<std::string> m_appeared;
    std::deque<std::string> m_named;  // not reported yet
};

}  // namespace nb::external::bluetooth
