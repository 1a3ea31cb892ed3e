#include "external/bluetooth/push_target.h"

#include <algorithm>

namespace nb::external::bluetooth {
namespace {

constexpr std::size_t kAddressTextLength = 17;  // "XX:XX:XX:XX:XX:XX"
constexpr unsigned kLargestPort = 65535;
constexpr std::size_t kLongestPortDigits = 5;

std::optional<std::uint8_t> HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return static_cast<std::uint8_t>(c - u'0');
    if (c >= u'a' && c <= u'f') return static_cast<std::uint8_t>(c - u'a' + 10);
    if (c >= u'A' && c <= u'F') return static_cast<std::uint8_t>(c - u'A' + 10);
    return std::nullopt;
}

std::u16string_view WithoutParentheses(std::u16string_view text) {
    if (text.size() >= 2 && text.front() == u'(' && text.back() == u')')
        return text.substr(1, text.size() - 2);
    return text;
}

// Printable ASCII without spaces: what a host name or numeric address is
// made of; getaddrinfo judges the rest.
bool IsHostText(std::u16string_view host) {
    return !host.empty() &&
           std::all_of(host.begin(), host.end(), [](char16_t c) { return c > u' ' && c < 0x7F; });
}

std::optional<std::string> PortText(std::u16string_view digits) {
    if (digits.empty() || digits.size() > kLongestPortDigits) return std::nullopt;
    unsigned port = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        port = port * 10 + static_cast<unsigned>(c - u'0');
    }
    if (port == 0 || port > kLargestPort) return std::nullopt;
    return std::to_string(port);
}

std::optional<NetworkAddress> ParseNetworkAddress(std::u16string_view text) {
    const std::size_t colon = text.rfind(u':');
    if (colon == std::u16string_view::npos) return std::nullopt;
    std::u16string_view host = text.substr(0, colon);
    const std::optional<std::string> port = PortText(text.substr(colon + 1));
    if (!port) return std::nullopt;
    // A numeric IPv6 address has colons of its own and comes in brackets.
    if (host.size() >= 2 && host.front() == u'[' && host.back() == u']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(u':') != std::u16string_view::npos)
        return std::nullopt;
    if (!IsHostText(host)) return std::nullopt;
    return NetworkAddress{std::string(host.begin(), host.end()), *port};
}

}  // namespace

std::optional<BluetoothAddress> ParseBluetoothAddress(std::u16string_view text) {
    text = WithoutParentheses(text);
    if (text.size() != kAddressTextLength) return std::nullopt;
    BluetoothAddress address;
    for (std::size_t i = 0; i < address.bytes.size(); ++i) {
        const std::size_t at = 3 * i;
        if (i > 0 && text[at - 1] != u':') return std::nullopt;
        const auto high = HexDigit(text[at]);
        const auto low = HexDigit(text[at + 1]);
        if (!high || !low) return std::nullopt;
        address.bytes[i] = static_cast<std::uint8_t>(*high << 4 | *low);
    }
    return address;
}

std::u16string FormatBluetoothAddress(const BluetoothAddress& address) {
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    for (const std::uint8_t byte : address.bytes) {
        if (!text.empty()) text += u':';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::optional<PushTarget> ParsePushTarget(std::u16string_view text) {
    if (auto bluetooth = ParseBluetoothAddress(text)) return PushTarget(*bluetooth);
    if (auto network = ParseNetworkAddress(text)) return PushTarget(*network);
    return std::nullopt;
}

}  // namespace nb::external::bluetooth
