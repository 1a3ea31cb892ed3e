#include "external/bluetooth/obex_packets.h"

#include <cassert>
#include <limits>

namespace nb::external::bluetooth {
namespace {

enum Opcode : std::uint8_t {
    kOpcodeConnect = 0x80,
    kOpcodeDisconnect = 0x81,
    kOpcodePut = 0x02,
    kOpcodePutFinal = 0x82,
};

enum HeaderId : std::uint8_t {
    kHeaderName = 0x01,    // UTF-16 text, null-terminated
    kHeaderLength = 0xC3,  // four-byte number
    kHeaderBody = 0x48,    // bytes
    kHeaderEndOfBody = 0x49,
};

constexpr std::uint8_t kObexVersion = 0x10;  // 1.0
constexpr std::size_t kLongestPacketBytes = std::numeric_limits<std::uint16_t>::max();
// Name and Length headers around the name: identifier, length, terminator;
// identifier and four bytes.
constexpr std::size_t kNameHeaderOverhead = 1 + 2 + 2;
constexpr std::size_t kLengthHeaderBytes = 1 + 4;
// CONNECT's answer: code, length, version, flags, maximum packet length.
constexpr std::size_t kConnectResponseBytes = 7;

void PutWord(PacketBytes& bytes, std::size_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

void PutWord(std::span<std::uint8_t> bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

std::size_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::size_t>(bytes[at]) << 8 | bytes[at + 1];
}

}  // namespace

PacketBytes ConnectRequest() {
    PacketBytes packet = {kOpcodeConnect, 0x00, 0x07, kObexVersion, 0x00};
    PutWord(packet, kClientPacketBytes);
    return packet;
}

PacketBytes DisconnectRequest() { return {kOpcodeDisconnect, 0x00, 0x03}; }

std::optional<PacketBytes> DescriptionRequest(std::u16string_view name, std::uint32_t length,
                                              std::size_t packet_bytes) {
    const std::size_t name_header = kNameHeaderOverhead + 2 * name.size();
    const std::size_t total = kPacketPrefixBytes + name_header + kLengthHeaderBytes;
    if (total > packet_bytes || total > kLongestPacketBytes) return std::nullopt;
    PacketBytes packet = {kOpcodePut};
    packet.reserve(total);
    PutWord(packet, total);
    packet.push_back(kHeaderName);
    PutWord(packet, name_header);
    for (const char16_t unit : name) PutWord(packet, unit);
    PutWord(packet, 0);
    packet.push_back(kHeaderLength);
    for (int shift = 24; shift >= 0; shift -= 8)
        packet.push_back(static_cast<std::uint8_t>(length >> shift));
    return packet;
}

void FrameBodyRequest(std::span<std::uint8_t> packet, BodyPart part) {
    assert(packet.size() >= kBodyPrefixBytes && packet.size() <= kLongestPacketBytes);
    const bool last = part == BodyPart::Last;
    packet[0] = last ? kOpcodePutFinal : kOpcodePut;
    PutWord(packet, 1, packet.size());
    packet[3] = last ? kHeaderEndOfBody : kHeaderBody;
    PutWord(packet, 4, packet.size() - kPacketPrefixBytes);
}

std::size_t AnnouncedLength(std::span<const std::uint8_t> prefix) {
    assert(prefix.size() >= kPacketPrefixBytes);
    return Word(prefix, 1);
}

std::optional<std::size_t> PeerPacketBytes(std::span<const std::uint8_t> response) {
    if (response.size() < kConnectResponseBytes || response[0] != kResponseSuccess)
        return std::nullopt;
    const std::size_t peer = Word(response, 5);
    if (peer < kSmallestPeerPacketBytes) return std::nullopt;
    return peer;
}

std::size_t ResponseReader::Needed() const {
    if (m_packet.size() < kPacketPrefixBytes) return kPacketPrefixBytes - m_packet.size();
    const std::size_t announced = AnnouncedLength(m_packet);
    return announced > m_packet.size() ? announced - m_packet.size() : 0;
}

void ResponseReader::Take(std::span<const std::uint8_t> bytes) {
    assert(bytes.size() <= Needed());
    m_packet.insert(m_packet.end(), bytes.begin(), bytes.end());
}

bool ResponseReader::Malformed() const {
    return m_packet.size() >= kPacketPrefixBytes && AnnouncedLength(m_packet) < kPacketPrefixBytes;
}

}  // namespace nb::external::bluetooth
