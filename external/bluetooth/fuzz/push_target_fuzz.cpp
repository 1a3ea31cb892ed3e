// Any target text a script passes, and any address bluetoothd announces: a
// Bluetooth address reads back from its own text, and a host and port are
// never empty, the port a number of 1 to 65535 and the host free of spaces.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "external/bluetooth/push_target.h"

using namespace nb::external::bluetooth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    const std::optional<PushTarget> target = ParsePushTarget(text);
    if (!target) return 0;
    if (const auto* bluetooth = std::get_if<BluetoothAddress>(&*target)) {
        if (ParseBluetoothAddress(FormatBluetoothAddress(*bluetooth)) != *bluetooth) std::abort();
        return 0;
    }
    const NetworkAddress& network = std::get<NetworkAddress>(*target);
    const unsigned long port = std::strtoul(network.port.c_str(), nullptr, 10);
    if (network.host.empty() || port < 1 || port > 65535 || std::to_string(port) != network.port)
        std::abort();
    for (const char c : network.host)
        if (c <= ' ' || c >= 0x7F) std::abort();
    return 0;
}
