#include "external/bluetooth/obex_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace nb::external::bluetooth {
namespace {

// Between two stop checks: well within the shortest report interval.
constexpr int kStopCheckMs = 50;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

ObexStream::Ready ObexStream::WaitFor(short events) {
    for (;;) {
        if (m_channel.StopRequested()) return Ready::Stopped;
        pollfd descriptor{m_fd, events, 0};
        const int ready = ::poll(&descriptor, 1, kStopCheckMs);
        if (ready < 0 && errno != EINTR) return Ready::Failed;
        // A hang-up or an error is what the next transfer reports.
        if (ready > 0) return Ready::Yes;
    }
}

Exchange ObexStream::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        // Never SIGPIPE: a peer that went away fails the send, not the program.
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && !WouldBlock(errno)) return Exchange::Failed;
        const Ready ready = WaitFor(POLLOUT);
        if (ready != Ready::Yes)
            return ready == Ready::Stopped ? Exchange::Stopped : Exchange::Failed;
    }
    return Exchange::Answered;
}

Exchange ObexStream::Read() {
    m_response.Reset();
    std::uint8_t buffer[kClientPacketBytes];
    while (!m_response.Complete()) {
        if (m_response.Malformed()) return Exchange::Failed;
        const std::size_t wanted = std::min(m_response.Needed(), sizeof buffer);
        const ssize_t got = ::recv(m_fd, buffer, wanted, MSG_DONTWAIT);
        if (got > 0) {
            m_response.Take({buffer, static_cast<std::size_t>(got)});
            continue;
        }
        if (got == 0 || !WouldBlock(errno)) return Exchange::Failed;
        const Ready ready = WaitFor(POLLIN);
        if (ready != Ready::Yes)
            return ready == Ready::Stopped ? Exchange::Stopped : Exchange::Failed;
    }
    return Exchange::Answered;
}

Exchange ObexStream::Send(std::span<const std::uint8_t> request) {
    const Exchange written = Write(request);
    return written == Exchange::Answered ? Read() : written;
}

}  // namespace nb::external::bluetooth
