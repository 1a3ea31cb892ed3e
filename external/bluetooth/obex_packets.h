// The OBEX packets of an Object Push client: the requests it sends, byte for
// byte, and the reading of the answers. Every number is big-endian; a length
// counts the whole packet or header, its own opcode and length field included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace nb::external::bluetooth {

using PacketBytes = std::vector<std::uint8_t>;

// The largest packet this client accepts, announced in its CONNECT.
inline constexpr std::size_t kClientPacketBytes = 5120;
// The smallest maximum an OBEX peer may announce.
inline constexpr std::size_t kSmallestPeerPacketBytes = 255;
// A packet's opcode (or response code) and its length.
inline constexpr std::size_t kPacketPrefixBytes = 3;
// What a body packet holds before its data: the prefix, the header's
// identifier and the header's length.
inline constexpr std::size_t kBodyPrefixBytes = 6;

enum ResponseCode : std::uint8_t {
    kResponseContinue = 0x90,
    kResponseSuccess = 0xA0,
};

PacketBytes ConnectRequest();
PacketBytes DisconnectRequest();

// The first PUT, describing the object: its Name and Length headers.
// Nothing when it would not fit into a packet of packet_bytes.
std::optional<PacketBytes> DescriptionRequest(std::u16string_view name, std::uint32_t length,
                                              std::size_t packet_bytes);

enum class BodyPart { More, Last };

// Writes the prefix of a body PUT (or, for the last part, of the final PUT
// with End-of-Body) into the first kBodyPrefixBytes of packet, whose data
// already follows them. The packet must not exceed 65535 bytes.
void FrameBodyRequest(std::span<std::uint8_t> packet, BodyPart part);

// The length a packet announces in its first three bytes.
std::size_t AnnouncedLength(std::span<const std::uint8_t> prefix);

// The largest packet a peer's answer to CONNECT allows: nothing unless it is
// Success and holds a valid maximum.
std::optional<std::size_t> PeerPacketBytes(std::span<const std::uint8_t> response);

// Gathers one response from a stream, however the stream cuts it: Needed()
// says how many bytes to read next, so that nothing past the response is
// ever taken from the stream.
class ResponseReader {
   public:
    // Bytes still missing: the prefix first, then the rest it announces.
    std::size_t Needed() const;
    // Takes bytes read from the stream, at most Needed() of them.
    void Take(std::span<const std::uint8_t> bytes);
    bool Complete() const { return !Malformed() && Needed() == 0; }
    // The prefix announces a length shorter than the prefix itself.
    bool Malformed() const;
    // The whole response once Complete().
    std::span<const std::uint8_t> Packet() const { return m_packet; }
    std::uint8_t Code() const { return m_packet.empty() ? 0 : m_packet[0]; }
    void Reset() { m_packet.clear(); }

   private:
    PacketBytes m_packet;
};

}  // namespace nb::external::bluetooth
