// Object push: a 1 MiB file pushed over TCP on the loopback to openobex's
// obex_tcp, which writes it to a folder, against copying the same bytes
// through a plain TCP socket to a receiver that writes them to a file, all
// in this run:
//
//   - the push job alone (the OBEX client EX_BTSend runs: packets of the
//     1 KiB obex_tcp asks for, one in flight at a time);
//   - EX_BTSend through the extension bridge, as a page calls it.
//
// Every pushed copy is compared with the file. (obex_tcp's own client is no
// reference: obex_tcp as a server takes no object from it.) Run without
// arguments.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "external/bluetooth/send_job.h"
#include "external/bluetooth/tests/obex_server.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"

namespace {

using namespace nb::bench;
using nb::external::bluetooth::testing::ObexServer;
namespace fs = std::filesystem;

constexpr int kRepeats = 5;
constexpr std::size_t kFileBytes = 1 << 20;
constexpr LONG kPushing = 3300;
constexpr LONG kDelivered = 3302;
constexpr std::size_t kCopyBufferBytes = 64 * 1024;
// What obex_tcp takes in one packet: 1024 bytes less the packet's six.
constexpr std::size_t kObexTcpDataBytes = 1018;

class QuietChannel final : public nb::external::JobChannel {
   public:
    DWORD status = 0;
    bool PrepareArguments(UINT) override { return true; }
    void SetInteger(UINT, LONG) override {}
    void SetString(UINT, std::u16string_view) override {}
    nb::external::WorkerCommand Command() override { return {}; }
    bool IsProgressDue(DWORD) override { return false; }
    void PostProgress() override {}
    void WaitedCallback() override {}
    void Notify(DWORD code) override { status = code; }
};

std::vector<char> Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The reference: the bytes through one TCP connection on the loopback, the
// receiver writing them to a file as obex_tcp does.
bool PlainCopy(const std::string& source, const std::string& destination) {
    nb::UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.Get(), 1) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    bool received = false;
    std::thread receiver([&] {
        nb::UniqueFd connection(::accept(listener.Get(), nullptr, nullptr));
        nb::UniqueFd file = nb::CreateReplacing(destination);
        std::vector<char> buffer(kCopyBufferBytes);
        for (ssize_t got; (got = ::read(connection.Get(), buffer.data(), buffer.size())) > 0;)
            if (!nb::WriteFully(file.Get(), buffer.data(), static_cast<std::size_t>(got))) return;
        received = file.Close();
    });
    nb::UniqueFd sender(::socket(AF_INET, SOCK_STREAM, 0));
    bool sent = ::connect(sender.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0;
    nb::UniqueFd input = nb::OpenForReading(source);
    std::vector<char> buffer(kCopyBufferBytes);
    for (ssize_t got; sent && (got = ::read(input.Get(), buffer.data(), buffer.size())) > 0;)
        sent = nb::WriteFully(sender.Get(), buffer.data(), static_cast<std::size_t>(got));
    sender.Reset();
    receiver.join();
    return sent && received;
}

template <typename Work>
std::optional<double> Seconds(Work work) {
    const auto start = Clock::now();
    if (!work()) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Row {
    const char* name;
    double best = 1e300;
    bool failed = false;
    void Add(std::optional<double> seconds) {
        if (seconds)
            best = std::min(best, *seconds);
        else
            failed = true;
    }
};

class Bench {
   public:
    explicit Bench(const std::string& folder)
        : m_folder(folder), m_file(folder + "/object.bin"), m_inbox(folder + "/inbox") {}

    bool MakeFile() {
        std::mt19937 random(1);
        std::vector<char> bytes(kFileBytes);
        for (char& byte : bytes) byte = static_cast<char>(random());
        std::ofstream(m_file, std::ios::binary)
            .write(bytes.data(), static_cast<long>(bytes.size()));
        m_bytes = Contents(m_file);
        fs::create_directories(m_inbox);
        return m_bytes.size() == kFileBytes;
    }

    // The runs alternate, so a change in the machine's load meets them all.
    void Run() {
        for (int repeat = 0; repeat < kRepeats; ++repeat) {
            const std::string copy = m_folder + "/copy.bin";
            m_plain.Add(Seconds([&] { return PlainCopy(m_file, copy); }));
            if (!Same(copy)) m_plain.failed = true;
            m_job.Add(PushJob());
            m_bridge.Add(PushThroughBridge());
        }
    }

    void Print() const {
        std::printf("1 MiB over TCP on the loopback, best of %d runs each\n", kRepeats);
        std::printf("%-44s %9s %10s %7s\n", "", "seconds", "MB/s", "ratio");
        for (const Row* row : {&m_plain, &m_job, &m_bridge}) {
            const double rate = static_cast<double>(kFileBytes) / row->best / 1e6;
            std::printf("%-44s %9.4f %10.2f %7.2f%s\n", row->name, row->best, rate,
                        row->best / m_plain.best, row->failed ? "  (a run failed)" : "");
        }
        const std::size_t packets = (kFileBytes + kObexTcpDataBytes - 1) / kObexTcpDataBytes;
        std::printf("push job: %zu body packets, %.1f us for each packet and its answer\n", packets,
                    m_job.best / static_cast<double>(packets) * 1e6);
        std::printf(
            "(ratio: seconds against the plain TCP copy. Through the bridge: the worker\n"
            " start's 100 ms pause, and each progress callback, waited for as every\n"
            " callback of this worker is, holds the push until the worker's next 50 ms\n"
            " look at the shell's answer)\n");
    }

   private:
    bool Same(const std::string& path) const { return Contents(path) == m_bytes; }
    bool Received(const std::string& name) const { return Same(m_inbox + "/" + name); }
    void Clear(const std::string& name) const { fs::remove(m_inbox + "/" + name); }

    std::optional<double> PushJob() {
        Clear("job.bin");
        ObexServer server(m_inbox);
        QuietChannel channel;
        const nb::external::bluetooth::SendRequest request{u"127.0.0.1:650", m_file, u"job.bin",
                                                           200};
        const auto seconds = Seconds([&] {
            nb::external::bluetooth::RunSend(channel, request);
            return channel.status == kDelivered;
        });
        return server.WaitForEnd() && Received("job.bin") ? seconds : std::nullopt;
    }

    std::optional<double> PushThroughBridge() {
        Clear("bridge.bin");
        ObexServer server(m_inbox);
        nb::Variant list;
        if (!TextList(list, {"127.0.0.1:650", m_file, "bridge.bin"})) return std::nullopt;
        const auto seconds =
            m_host.TimedRun("BTSend", list, "onBluetooth", kPushing, kDelivered, 1);
        return server.WaitForEnd() && Received("bridge.bin") ? seconds : std::nullopt;
    }

    std::string m_folder, m_file, m_inbox;
    std::vector<char> m_bytes;
    BridgeHost m_host;
    Row m_plain{"plain TCP copy (reference)"};
    Row m_job{"push job (EX_BTSend's OBEX client)"};
    Row m_bridge{"EX_BTSend through the bridge"};
};

}  // namespace

int main() {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    std::string pattern = (fs::temp_directory_path() / "btbench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    {
        Bench bench(pattern);
        if (!bench.MakeFile()) return 1;
        bench.Run();
        bench.Print();
    }
    fs::remove_all(pattern);
    return 0;
}
