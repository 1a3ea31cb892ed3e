#include "external/bluetooth/send_job.h"

#include <sys/stat.h>

#include <limits>
#include <optional>

#include "external/bluetooth/connections.h"
#include "platform/text/code_pages.h"

namespace nb::external::bluetooth {
namespace {

// The Length header has four bytes: a larger file cannot be announced.
constexpr std::uint64_t kLargestObjectBytes = std::numeric_limits<std::uint32_t>::max();

std::optional<std::uint32_t> SizeOf(const JobInput& input) {
    struct stat info {};
    if (::fstat(input.fd(), &info) != 0 || info.st_size <= 0 ||
        static_cast<std::uint64_t>(info.st_size) > kLargestObjectBytes)
        return std::nullopt;
    return static_cast<std::uint32_t>(info.st_size);
}

// A script that gives no name (null or empty) has the file keep its own.
std::u16string ObjectName(const SendRequest& request) {
    if (!request.object_name.empty()) return request.object_name;
    const std::size_t slash = request.path.rfind('/');
    return ToUtf16(slash == std::string::npos ? request.path : request.path.substr(slash + 1));
}

SendStatus StatusOf(ConnectFailure failure) {
    switch (failure) {
        case ConnectFailure::NoSocket:
            return kSendNoSocket;
        case ConnectFailure::Stopped:
            return kSendRefusedOrStopped;
        case ConnectFailure::NotConnected:
            break;
    }
    return kSendNotConnected;
}

// The address is read before a socket is made: its form decides which kind
// of socket that is.
SendStatus Send(JobReport& report, const SendRequest& request) {
    auto input = JobInput::Open(request.path, StreamInputs::Refused, report.channel());
    if (!input) return kSendFileNotOpened;
    const std::optional<std::uint32_t> size = SizeOf(*input);
    if (!size) return kSendFileSizeUnavailable;
    const std::optional<PushTarget> target = ParsePushTarget(request.target);
    if (!target) return kSendBadAddress;
    auto connection = ConnectToTarget(*target, report.channel());
    if (!connection) return StatusOf(connection.error());
    const PushedFile file{*input, *size, ObjectName(request), request.interval_ms};
    return PushObject(report, connection->Get(), file);
}

}  // namespace

DWORD RunSend(JobChannel& channel, const SendRequest& request) {
    JobReport report(channel, kSendLayout, request.interval_ms);
    return report.End(Send(report, request));
}

}  // namespace nb::external::bluetooth
