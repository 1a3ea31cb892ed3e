#include "external/bluetooth/object_push.h"

#include <algorithm>
#include <optional>

#include "external/bluetooth/obex_stream.h"
#include "platform/kernel/kernel.h"

namespace nb::external::bluetooth {
namespace {

class Push {
   public:
    Push(JobReport& report, int fd, const PushedFile& file)
        : m_report(report), m_stream(fd, report.channel()), m_file(file) {}

    SendStatus Run() {
        if (SendStatus connected = Connect(); connected != kSendOk) return connected;
        if (SendStatus described = Describe(); described != kSendOk) return described;
        if (!m_report.Prepare()) return kSendRefusedOrStopped;  // the job ends with 405
        m_report.Begin(kSendProgress, static_cast<LONG>(m_file.size));
        m_report.WaitedCallback();
        if (SendStatus sent = SendBody(); sent != kSendOk) return sent;
        return Disconnect();
    }

   private:
    // The status of an exchange that did not get the answer it needs.
    static SendStatus Unanswered(Exchange exchange, SendStatus failure) {
        return exchange == Exchange::Stopped ? kSendRefusedOrStopped : failure;
    }

    SendStatus Connect() {
        const Exchange exchange = m_stream.Send(ConnectRequest());
        if (exchange != Exchange::Answered) return Unanswered(exchange, kSendConnectFailed);
        const std::optional<std::size_t> peer = PeerPacketBytes(m_stream.Response());
        if (!peer) return kSendConnectFailed;
        m_packet.resize(*peer);
        return kSendOk;
    }

    SendStatus Describe() {
        const auto request = DescriptionRequest(m_file.name, m_file.size, m_packet.size());
        if (!request) return kSendDescriptionFailed;
        const Exchange exchange = m_stream.Send(*request);
        if (exchange != Exchange::Answered) return Unanswered(exchange, kSendDescriptionFailed);
        // A peer that declines the object and a stop end alike.
        if (m_stream.ResponseCode() != kResponseContinue || m_report.StopRequested())
            return kSendRefusedOrStopped;
        return kSendOk;
    }

    SendStatus SendBody() {
        const std::size_t data_bytes = m_packet.size() - kBodyPrefixBytes;
        std::uint32_t sent = 0;
        while (sent < m_file.size) {
            const std::size_t left = m_file.size - sent;
            const std::size_t part = std::min(data_bytes, left);
            const BodyPart kind = part == left ? BodyPart::Last : BodyPart::More;
            const std::span<std::uint8_t> packet(m_packet.data(), kBodyPrefixBytes + part);
            // A file that shrank or cannot be read fails: the peer was told
            // its length, and a short object is no delivery.
            const ReadResult read = m_file.input.Read(packet.data() + kBodyPrefixBytes, part);
            if (m_file.input.Stopped()) return kSendRefusedOrStopped;
            if (read.failed || read.bytes != part) return kSendBodyFailed;
            FrameBodyRequest(packet, kind);
            const Exchange exchange = m_stream.Send(packet);
            if (exchange != Exchange::Answered) return Unanswered(exchange, kSendBodyFailed);
            const std::uint8_t expected =
                kind == BodyPart::Last ? kResponseSuccess : kResponseContinue;
            if (m_stream.ResponseCode() != expected) return kSendBodyFailed;
            sent += static_cast<std::uint32_t>(part);
            if (m_report.StopRequested()) return kSendRefusedOrStopped;
            ReportWhenDue(sent);
        }
        return kSendOk;
    }

    // Every report is waited for; the first follows the first body packet.
    void ReportWhenDue(std::uint32_t sent) {
        const DWORD now = GetTickCount();
        if (m_last_report && now - *m_last_report < m_file.interval_ms) return;
        m_report.Set(kSendLayout.done, static_cast<LONG>(sent));
        m_report.WaitedCallback();
        m_last_report = now;
    }

    SendStatus Disconnect() {
        const Exchange exchange = m_stream.Send(DisconnectRequest());
        if (exchange != Exchange::Answered) return Unanswered(exchange, kSendDisconnectFailed);
        return m_stream.ResponseCode() == kResponseSuccess ? kSendDelivered : kSendDisconnectFailed;
    }

    JobReport& m_report;
    ObexStream m_stream;
    const PushedFile& m_file;
    PacketBytes m_packet;  // one body packet: the peer's largest
    std::optional<DWORD> m_last_report;
};

}  // namespace

SendStatus PushObject(JobReport& report, int fd, const PushedFile& file) {
    return Push(report, fd, file).Run();
}

}  // namespace nb::external::bluetooth
