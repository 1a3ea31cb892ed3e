// Where EX_BTSend pushes to, as the script writes it: a Bluetooth device's
// address ("00:1A:7D:DA:71:13", as discovery reports it), or a host and port
// ("phone.local:650", "192.0.2.7:650", "[2001:db8::7]:650") of an OBEX
// server reached over TCP, a standard OBEX transport.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace nb::external::bluetooth {

struct BluetoothAddress {
    std::array<std::uint8_t, 6> bytes{};  // most significant first, as written
    bool operator==(const BluetoothAddress&) const = default;
};

struct NetworkAddress {
    std::string host;  // a name or a numeric address, without brackets
    std::string port;  // decimal, 1 to 65535
    bool operator==(const NetworkAddress&) const = default;
};

using PushTarget = std::variant<BluetoothAddress, NetworkAddress>;

// Six two-digit hexadecimal bytes separated by colons, in either case, and
// also inside parentheses as some stacks write them.
std::optional<BluetoothAddress> ParseBluetoothAddress(std::u16string_view text);
// The form discovery reports and ParseBluetoothAddress reads: upper case.
std::u16string FormatBluetoothAddress(const BluetoothAddress& address);

// Nothing when the text is neither form.
std::optional<PushTarget> ParsePushTarget(std::u16string_view text);

}  // namespace nb::external::bluetooth
