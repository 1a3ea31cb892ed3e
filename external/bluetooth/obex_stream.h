// One OBEX conversation on a connected stream socket (RFCOMM, TCP, a socket
// pair): a request is sent whole and its response read whole, one at a time.
// Every wait checks the job's stop, so a peer that goes quiet never holds the
// job past a stop.
#pragma once

#include <span>

#include "external/bluetooth/obex_packets.h"
#include "external/frame/job_channel.h"

namespace nb::external::bluetooth {

enum class Exchange {
    Answered,
    Failed,   // a socket error, the connection closed, or a malformed answer
    Stopped,  // a stop came while the peer was waited on
};

class ObexStream {
   public:
    ObexStream(int fd, JobChannel& channel) : m_fd(fd), m_channel(channel) {}

    Exchange Send(std::span<const std::uint8_t> request);

    // The answer to the last request that was Answered.
    std::uint8_t ResponseCode() const { return m_response.Code(); }
    std::span<const std::uint8_t> Response() const { return m_response.Packet(); }

   private:
    enum class Ready { Yes, Failed, Stopped };
    Ready WaitFor(short events);
    Exchange Write(std::span<const std::uint8_t> bytes);
    Exchange Read();

    int m_fd;
    JobChannel& m_channel;
    ResponseReader m_response;
};

}  // namespace nb::external::bluetooth
