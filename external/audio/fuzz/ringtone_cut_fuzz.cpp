// A ringtone cut of any input file with any start, length, volume and
// fades: the first 20 bytes are the five numbers, the rest is the file.
// Whatever comes, the cut ends in exactly one report, and a finished cut is
// a canonical wave file holding exactly the samples its header announces,
// none louder than its source when the volume is at most 100 per cent.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "external/audio/make_ringtone_job.h"
#include "external/audio/wave_file.h"

namespace {

using namespace nb::external::audio;
using nb::external::JobChannel;

class QuietChannel final : public JobChannel {
   public:
    int reports = 0;
    DWORD last_status = 0;
    bool PrepareArguments(UINT) override { return true; }
    void SetInteger(UINT position, LONG value) override {
        if (position == kRingtoneLayout.status) m_status = static_cast<DWORD>(value);
    }
    void SetString(UINT, std::u16string_view) override {}
    nb::external::WorkerCommand Command() override { return {}; }
    bool IsProgressDue(DWORD) override { return false; }
    void PostProgress() override {}
    void WaitedCallback() override { Report(m_status); }
    void Notify(DWORD status) override { Report(status); }

   private:
    void Report(DWORD status) {
        ++reports;
        last_status = status;
    }
    DWORD m_status = 0;
};

DWORD Number(const std::uint8_t* data) {
    DWORD value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::vector<std::uint8_t> Contents(int fd) {
    std::vector<std::uint8_t> bytes;
    if (lseek(fd, 0, SEEK_SET) != 0) return bytes;
    std::uint8_t buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

std::string FdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kNumbers = 20;
    if (size < kNumbers) return 0;
    const int input = memfd_create("ringtone_in", 0);
    const int output = memfd_create("ringtone_out", 0);
    if (input < 0 || output < 0) std::abort();
    const std::size_t file_bytes = size - kNumbers;
    if (write(input, data + kNumbers, file_bytes) != static_cast<ssize_t>(file_bytes)) std::abort();

    MakeRingtoneRequest request;
    request.input_path = FdPath(input);
    request.output_path = FdPath(output);
    request.format = kRingtoneWave;
    request.start_ms = Number(data) % 100000;
    request.length_ms = Number(data + 4);
    request.volume_percent = Number(data + 8);
    request.fade_in_ms = Number(data + 12);
    request.fade_out_ms = Number(data + 16);
    QuietChannel channel;
    RunMakeRingtone(channel, request);
    if (channel.reports != 1) std::abort();

    if (channel.last_status == kRingtoneFinished) {
        const std::vector<std::uint8_t> out = Contents(output);
        const WaveHeaderCheck header = CheckWaveHeader(out);
        if (header.status != WaveHeaderStatus::Accepted) std::abort();
        if (header.data_bytes != out.size() - kWaveHeaderBytes || header.data_bytes % 4 != 0)
            std::abort();
        if (request.volume_percent <= 100) {
            // The cut starts at a whole frame of the source's samples.
            const std::uint64_t start =
                2 * static_cast<std::uint64_t>(request.start_ms * 44.1 + 0.5);
            for (std::size_t i = 0; i < header.data_bytes / 2; ++i) {
                std::int16_t in = 0, cut = 0;
                std::memcpy(&in, data + kNumbers + kWaveHeaderBytes + 2 * (start + i), 2);
                std::memcpy(&cut, out.data() + kWaveHeaderBytes + 2 * i, 2);
                if (std::abs(int{cut}) > std::abs(int{in})) std::abort();
                if (cut != 0 && (cut < 0) != (in < 0)) std::abort();
            }
        }
    }
    close(input);
    close(output);
    return 0;
}
