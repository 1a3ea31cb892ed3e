// A phone's Object Push server as the tests need one, on any connected
// stream socket: it checks every byte the client sends against the packets
// a client must send, and answers as it is told to: with another packet
// size, refusing the object, with answers cut in pieces or padded with a
// header, or dropping the connection midway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "external/bluetooth/obex_packets.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external::bluetooth::testing {

struct PhoneBehaviour {
    std::size_t packet_bytes = kClientPacketBytes;        // announced in CONNECT's answer
    std::uint8_t description_answer = kResponseContinue;  // 0xC3 (Forbidden) refuses
    std::optional<std::size_t> drop_after_bodies =
        std::nullopt;               // closes unanswered after this many
    bool cut_answers = false;       // each answer written in two pieces, a moment apart
    std::size_t padding_bytes = 0;  // a Description header of this size in every answer
};

// What the phone saw.
struct PhoneRecord {
    std::vector<PacketBytes> requests;  // every request, whole
    std::u16string name;
    std::optional<std::uint32_t> length;
    PacketBytes object;         // the body bytes, in order
    bool disconnected = false;  // DISCONNECT came and was answered
    std::string violation;      // the first thing a client must not send; empty when none
};

class FakePhone {
   public:
    FakePhone(UniqueFd connection, PhoneBehaviour behaviour);
    ~FakePhone();
    FakePhone(const FakePhone&) = delete;
    FakePhone& operator=(const FakePhone&) = delete;

    // Waits until the client has closed the connection (or the phone did).
    const PhoneRecord& Finish();

   private:
    void Serve();
    bool Handle(const PacketBytes& request);
    bool CheckConnect(const PacketBytes& request);
    bool CheckDescription(const PacketBytes& request);
    bool CheckBody(const PacketBytes& request);
    bool Answer(std::uint8_t code, const PacketBytes& fields = {});
    bool Violation(std::string what);

    UniqueFd m_connection;
    PhoneBehaviour m_behaviour;
    PhoneRecord m_record;
    std::size_t m_bodies = 0;
    enum class Stage { Connect, Description, Body, Disconnect, Done } m_stage = Stage::Connect;
    std::thread m_thread;
};

// A socket pair: the client's end and the phone's end.
struct SocketPair {
    UniqueFd client;
    UniqueFd phone;
};
SocketPair MakeSocketPair();

// A TCP listener on the loopback for one phone: its port, and the phone
// serving the first connection it accepts.
class PhoneListener {
   public:
    explicit PhoneListener(PhoneBehaviour behaviour);
    ~PhoneListener();
    std::string Target() const;  // "127.0.0.1:<port>"
    // The phone's record once its client closed; empty when nobody came.
    PhoneRecord Finish();

   private:
    UniqueFd m_listener;
    PhoneBehaviour m_behaviour;
    std::thread m_acceptor;
    std::optional<PhoneRecord> m_record;
};

}  // namespace nb::external::bluetooth::testing
