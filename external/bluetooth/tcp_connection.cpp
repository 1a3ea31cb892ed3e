// OBEX over TCP: a host and port, each of the addresses the name resolves to
// tried in turn.
#include <netdb.h>

#include <memory>

#include "external/bluetooth/connections.h"

namespace nb::external::bluetooth {

Attempt ConnectTcp(const NetworkAddress& address, JobChannel& channel) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    // A name that does not resolve now may resolve at the next attempt.
    if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0)
        return Unexpected(AttemptFailure::Failed);
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    bool socket_made = false;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        UniqueFd socket(::socket(entry->ai_family,
                                 entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                 entry->ai_protocol));
        if (!socket.IsOpen()) continue;
        socket_made = true;
        Attempt connected =
            ConnectSocket(std::move(socket), entry->ai_addr, entry->ai_addrlen, channel);
        if (connected || connected.error() == AttemptFailure::Stopped) return connected;
    }
    return Unexpected(socket_made ? AttemptFailure::Failed : AttemptFailure::NoSocket);
}

}  // namespace nb::external::bluetooth
