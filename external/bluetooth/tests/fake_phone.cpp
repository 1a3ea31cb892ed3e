#include "external/bluetooth/tests/fake_phone.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace nb::external::bluetooth::testing {
namespace {

constexpr std::uint8_t kConnect[] = {0x80, 0x00, 0x07, 0x10, 0x00, 0x14, 0x00};
constexpr std::uint8_t kDisconnect[] = {0x81, 0x00, 0x03};

std::size_t WordAt(const PacketBytes& bytes, std::size_t at) {
    return static_cast<std::size_t>(bytes[at]) << 8 | bytes[at + 1];
}

bool ReadExactly(int fd, std::uint8_t* buffer, std::size_t count) {
    while (count > 0) {
        const ssize_t got = ::recv(fd, buffer, count, 0);
        if (got <= 0) return false;
        buffer += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteExactly(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

// One request, whole, by the length it announces; nothing at the end.
std::optional<PacketBytes> ReadRequest(int fd) {
    PacketBytes packet(3);
    if (!ReadExactly(fd, packet.data(), 3)) return std::nullopt;
    const std::size_t length = WordAt(packet, 1);
    if (length < 3) return packet;
    packet.resize(length);
    if (!ReadExactly(fd, packet.data() + 3, length - 3)) return std::nullopt;
    return packet;
}

}  // namespace

FakePhone::FakePhone(UniqueFd connection, PhoneBehaviour behaviour)
    : m_connection(std::move(connection)), m_behaviour(behaviour), m_thread([this] { Serve(); }) {}

FakePhone::~FakePhone() {
    if (m_thread.joinable()) {
        ::shutdown(m_connection.Get(), SHUT_RDWR);
        m_thread.join();
    }
}

const PhoneRecord& FakePhone::Finish() {
    if (m_thread.joinable()) m_thread.join();
    return m_record;
}

void FakePhone::Serve() {
    while (const std::optional<PacketBytes> request = ReadRequest(m_connection.Get())) {
        m_record.requests.push_back(*request);
        if (!Handle(*request)) break;
    }
    ::shutdown(m_connection.Get(), SHUT_RDWR);
}

bool FakePhone::Violation(std::string what) {
    if (m_record.violation.empty())
        m_record.violation = what + " (request " + std::to_string(m_record.requests.size()) + ")";
    return false;
}

bool FakePhone::Handle(const PacketBytes& request) {
    if (request.size() < 3 || WordAt(request, 1) != request.size())
        return Violation("a packet shorter than its prefix");
    switch (m_stage) {
        case Stage::Connect:
            return CheckConnect(request);
        case Stage::Description:
            return CheckDescription(request);
        case Stage::Body:
            if (request[0] == 0x81) break;
            return CheckBody(request);
        case Stage::Disconnect:
            break;
        case Stage::Done:
            return Violation("a request after DISCONNECT");
    }
    if (request != PacketBytes(std::begin(kDisconnect), std::end(kDisconnect)))
        return Violation("not DISCONNECT");
    m_stage = Stage::Done;
    m_record.disconnected = true;
    return Answer(kResponseSuccess);
}

bool FakePhone::CheckConnect(const PacketBytes& request) {
    if (request != PacketBytes(std::begin(kConnect), std::end(kConnect)))
        return Violation("not the CONNECT request");
    m_stage = Stage::Description;
    const std::size_t size = m_behaviour.packet_bytes;
    // Version 1.0, no flags, the largest packet it takes.
    return Answer(kResponseSuccess, {0x10, 0x00, static_cast<std::uint8_t>(size >> 8),
                                     static_cast<std::uint8_t>(size)});
}

bool FakePhone::CheckDescription(const PacketBytes& request) {
    if (request[0] != 0x02) return Violation("the first PUT is not PUT, not final");
    if (request.size() < 13 || request[3] != 0x01) return Violation("no Name header first");
    const std::size_t name_length = WordAt(request, 4);
    if (name_length < 5 || name_length % 2 != 1 || 3 + name_length + 5 != request.size())
        return Violation("the Name header's length does not fit the packet");
    const std::size_t end = 3 + name_length;  // just past the terminator
    if (request[end - 2] != 0 || request[end - 1] != 0) return Violation("no name terminator");
    for (std::size_t at = 6; at + 2 < end; at += 2)
        m_record.name += static_cast<char16_t>(WordAt(request, at));
    if (request[end] != 0xC3) return Violation("no Length header after the name");
    m_record.length =
        static_cast<std::uint32_t>(WordAt(request, end + 1) << 16 | WordAt(request, end + 3));
    if (m_behaviour.description_answer == kResponseContinue) m_stage = Stage::Body;
    return Answer(m_behaviour.description_answer);
}

bool FakePhone::CheckBody(const PacketBytes& request) {
    const bool last = request[0] == 0x82;
    if (!last && request[0] != 0x02) return Violation("a body packet that is no PUT");
    if (request.size() < 6 || request[3] != (last ? 0x49 : 0x48))
        return Violation(last ? "the final PUT without End-of-Body" : "a PUT without Body");
    if (WordAt(request, 4) != request.size() - 3) return Violation("a body header's length");
    if (!last && request.size() != m_behaviour.packet_bytes)
        return Violation("a body packet not of the phone's packet size");
    if (request.size() > m_behaviour.packet_bytes)
        return Violation("a packet over the phone's size");
    if (last && request.size() == 6) return Violation("an empty final PUT");
    m_record.object.insert(m_record.object.end(), request.begin() + 6, request.end());
    ++m_bodies;
    if (m_behaviour.drop_after_bodies && m_bodies == *m_behaviour.drop_after_bodies) return false;
    if (last) {
        if (!m_record.length || m_record.object.size() != *m_record.length)
            return Violation("an object of another length than announced");
        m_stage = Stage::Disconnect;
        return Answer(kResponseSuccess);
    }
    return Answer(kResponseContinue);
}

bool FakePhone::Answer(std::uint8_t code, const PacketBytes& fields) {
    PacketBytes answer = {code, 0, 0};
    answer.insert(answer.end(), fields.begin(), fields.end());
    if (m_behaviour.padding_bytes >= 3) {
        // A Description header (0x05, text), zeros as its content.
        answer.push_back(0x05);
        answer.push_back(static_cast<std::uint8_t>(m_behaviour.padding_bytes >> 8));
        answer.push_back(static_cast<std::uint8_t>(m_behaviour.padding_bytes));
        answer.resize(answer.size() + m_behaviour.padding_bytes - 3, 0);
    }
    answer[1] = static_cast<std::uint8_t>(answer.size() >> 8);
    answer[2] = static_cast<std::uint8_t>(answer.size());
    if (!m_behaviour.cut_answers)
        return WriteExactly(m_connection.Get(), answer.data(), answer.size());
    if (!WriteExactly(m_connection.Get(), answer.data(), 1)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return WriteExactly(m_connection.Get(), answer.data() + 1, answer.size() - 1);
}

SocketPair MakeSocketPair() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return {};
    return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

PhoneListener::PhoneListener(PhoneBehaviour behaviour) : m_behaviour(behaviour) {
    m_listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener.Get(), 1) != 0)
        m_listener.Reset();
    m_acceptor = std::thread([this] {
        UniqueFd connection(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.IsOpen()) return;
        FakePhone phone(std::move(connection), m_behaviour);
        m_record = phone.Finish();
    });
}

PhoneListener::~PhoneListener() { Finish(); }

std::string PhoneListener::Target() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

PhoneRecord PhoneListener::Finish() {
    if (m_acceptor.joinable()) {
        // Wakes an accept still waiting: nobody came. (A client that came
        // was accepted before it could end.)
        ::shutdown(m_listener.Get(), SHUT_RDWR);
        m_acceptor.join();
    }
    return m_record.value_or(PhoneRecord{});
}

}  // namespace nb::external::bluetooth::testing
