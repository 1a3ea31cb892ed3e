// The connected stream an object is pushed over: an RFCOMM socket to the
// device's Object Push service, or a TCP connection. Either is tried ten
// times, 200 ms apart, before the job gives up; every wait checks the stop.
#pragma once

#include <sys/socket.h>

#include "external/bluetooth/push_target.h"
#include "external/frame/job_channel.h"
#include "platform/kernel/expected.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external::bluetooth {

enum class ConnectFailure {
    NoSocket,      // the system has no such sockets (no Bluetooth at all)
    NotConnected,  // every attempt failed
    Stopped,
};

inline constexpr int kConnectAttempts = 10;
inline constexpr DWORD kConnectRetryPauseMs = 200;

Expected<UniqueFd, ConnectFailure> ConnectToTarget(const PushTarget& target, JobChannel& channel);

// One attempt, for each kind of target.
enum class AttemptFailure { NoSocket, Failed, Stopped };
using Attempt = Expected<UniqueFd, AttemptFailure>;

Attempt ConnectTcp(const NetworkAddress& address, JobChannel& channel);
Attempt ConnectRfcomm(const BluetoothAddress& address, JobChannel& channel);

// Connects socket, made non-blocking, to address, waiting until the system
// answers or a stop comes.
Attempt ConnectSocket(UniqueFd socket, const sockaddr* address, socklen_t length,
                      JobChannel& channel);

}  // namespace nb::external::bluetooth
