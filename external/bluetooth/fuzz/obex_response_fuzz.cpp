// Anything a peer may answer. The reader gathers each response whole,
// however the bytes are cut, never past its announced length; and the whole
// client, pushing a small file to a peer whose answers are these bytes,
// ends with one of its statuses without reading out of bounds or hanging.
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "external/bluetooth/obex_packets.h"
#include "external/bluetooth/object_push.h"

namespace {

using namespace nb::external::bluetooth;
using nb::external::JobChannel;

class QuietChannel final : public JobChannel {
   public:
    bool PrepareArguments(UINT) override { return true; }
    void SetInteger(UINT, LONG) override {}
    void SetString(UINT, std::u16string_view) override {}
    nb::external::WorkerCommand Command() override { return {}; }
    bool IsProgressDue(DWORD) override { return false; }
    void PostProgress() override {}
    void WaitedCallback() override {}
    void Notify(DWORD) override {}
};

// The bytes cut in pieces of 1 to 7 bytes, as a stream might deliver them.
void ReadResponses(std::span<const std::uint8_t> bytes) {
    ResponseReader reader;
    std::size_t cut = 0;
    while (!bytes.empty()) {
        const std::size_t piece = std::min({bytes.size(), reader.Needed(), cut % 7 + 1});
        reader.Take(bytes.first(piece));
        bytes = bytes.subspan(piece);
        ++cut;
        if (reader.Malformed()) return;
        if (!reader.Complete()) continue;
        const std::span<const std::uint8_t> packet = reader.Packet();
        if (packet.size() != AnnouncedLength(packet) || packet[0] != reader.Code()) std::abort();
        if (const auto peer = PeerPacketBytes(packet))
            if (*peer < kSmallestPeerPacketBytes || packet[0] != kResponseSuccess) std::abort();
        reader.Reset();
    }
}

// A file of 3000 bytes: with a peer of 255-byte packets, a dozen bodies.
std::string SmallFile() {
    static const std::string path = [] {
        const int fd = memfd_create("obex_object", 0);
        const std::vector<std::uint8_t> bytes(3000, 0x5A);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != 3000) std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void PushAgainst(std::span<const std::uint8_t> answers) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
    // Every answer is there before the client asks, then the peer closes:
    // the client's requests wait unread in the peer's buffer.
    const bool written =
        write(ends[1], answers.data(), answers.size()) == static_cast<ssize_t>(answers.size());
    shutdown(ends[1], SHUT_WR);
    QuietChannel channel;
    auto input =
        nb::external::JobInput::Open(SmallFile(), nb::external::StreamInputs::Refused, channel);
    if (written && input) {
        nb::external::JobReport report(channel, kSendLayout, 200);
        const PushedFile file{*input, 3000, u"fuzz.bin", 200};
        const SendStatus status = PushObject(report, ends[0], file);
        if (status < kSendConnectFailed || status > kSendDelivered) std::abort();
    }
    close(ends[0]);
    close(ends[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    ReadResponses(bytes);
    // The socket buffer holds them all at once.
    if (size <= 65536) PushAgainst(bytes);
    return 0;
}
