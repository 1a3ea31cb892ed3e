#include "external/bluetooth/connections.h"

#include <poll.h>

#include <cerrno>

#include "platform/kernel/kernel.h"

namespace nb::external::bluetooth {
namespace {

constexpr DWORD kStopCheckMs = 50;

// False when a stop came during the pause.
bool PauseUnlessStopped(DWORD milliseconds, JobChannel& channel) {
    for (DWORD paused = 0; paused < milliseconds; paused += kStopCheckMs) {
        if (channel.StopRequested()) return false;
        Sleep(kStopCheckMs);
    }
    return !channel.StopRequested();
}

Attempt ConnectOnce(const PushTarget& target, JobChannel& channel) {
    if (const auto* bluetooth = std::get_if<BluetoothAddress>(&target))
        return ConnectRfcomm(*bluetooth, channel);
    return ConnectTcp(std::get<NetworkAddress>(target), channel);
}

}  // namespace

Expected<UniqueFd, ConnectFailure> ConnectToTarget(const PushTarget& target, JobChannel& channel) {
    for (int attempt = 1;; ++attempt) {
        Attempt connected = ConnectOnce(target, channel);
        if (connected) return std::move(*connected);
        switch (connected.error()) {
            case AttemptFailure::NoSocket:
                return Unexpected(ConnectFailure::NoSocket);
            case AttemptFailure::Stopped:
                return Unexpected(ConnectFailure::Stopped);
            case AttemptFailure::Failed:
                break;
        }
        if (attempt == kConnectAttempts) return Unexpected(ConnectFailure::NotConnected);
        if (!PauseUnlessStopped(kConnectRetryPauseMs, channel))
            return Unexpected(ConnectFailure::Stopped);
    }
}

Attempt ConnectSocket(UniqueFd socket, const sockaddr* address, socklen_t length,
                      JobChannel& channel) {
    if (::connect(socket.Get(), address, length) == 0) return socket;
    if (errno != EINPROGRESS && errno != EINTR) return Unexpected(AttemptFailure::Failed);
    for (;;) {
        if (channel.StopRequested()) return Unexpected(AttemptFailure::Stopped);
        pollfd descriptor{socket.Get(), POLLOUT, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(kStopCheckMs));
        if (ready < 0 && errno != EINTR) return Unexpected(AttemptFailure::Failed);
        if (ready > 0) break;
    }
    int error = 0;
    socklen_t error_length = sizeof error;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &error_length) != 0 || error != 0)
        return Unexpected(AttemptFailure::Failed);
    return socket;
}

}  // namespace nb::external::bluetooth
