// The player's stretch of any input file with any start, length, volume and
// fades: the first 20 bytes are the five numbers, the rest is the file.
// Whatever comes, an accepted stretch lies inside the sound with its fades
// inside the stretch, and every pass reads whole frames, no more than the
// stretch holds, none louder than its source at a volume of at most 100.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "external/audio/playback_stretch.h"
#include "external/audio/wave_file.h"

namespace {

using namespace nb::external::audio;
using nb::external::JobChannel;

class NoCommands final : public JobChannel {
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

DWORD Number(const std::uint8_t* data) {
    DWORD value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::int16_t SourceSample(const std::uint8_t* file, std::uint64_t index) {
    std::int16_t sample = 0;
    std::memcpy(&sample, file + kWaveHeaderBytes + 2 * index, 2);
    return sample;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kNumbers = 20;
    if (size < kNumbers) return 0;
    const int input = memfd_create("playback_in", 0);
    if (input < 0) std::abort();
    const std::uint8_t* file = data + kNumbers;
    const std::size_t file_bytes = size - kNumbers;
    if (write(input, file, file_bytes) != static_cast<ssize_t>(file_bytes)) std::abort();

    PlaybackRequest request;
    request.path = "/proc/self/fd/" + std::to_string(input);
    request.start_ms = Number(data) % 100000;
    request.length_ms = Number(data + 4);
    request.volume_percent = Number(data + 8) % 101;
    request.fade_in_ms = Number(data + 12);
    request.fade_out_ms = Number(data + 16);
    NoCommands channel;
    auto reader = StretchReader::Open(request, channel);
    if (reader) {
        const StretchPlan& plan = reader->plan();
        const WaveHeaderCheck header = CheckWaveHeader({file, file_bytes});
        if (plan.start % 2 != 0 || plan.length % 2 != 0 || plan.length == 0 ||
            plan.start + plan.length > header.data_bytes / 2 ||
            plan.shape.fade_in_samples + plan.shape.fade_out_samples > plan.length)
            std::abort();
        const std::uint64_t in_file =
            file_bytes > kWaveHeaderBytes ? (file_bytes - kWaveHeaderBytes) / 2 : 0;
        std::vector<std::int16_t> block(kPlaybackBufferSamples);
        for (int pass = 0; pass < 2; ++pass) {
            if (!reader->Rewind()) std::abort();
            std::uint64_t read = 0;
            while (const std::size_t got = reader->Read(block, request.volume_percent)) {
                if (got % 2 != 0 || got > block.size()) std::abort();
                for (std::size_t i = 0; i < got; ++i) {
                    const std::int16_t in = SourceSample(file, plan.start + read + i);
                    if (std::abs(int{block[i]}) > std::abs(int{in})) std::abort();
                }
                read += got;
            }
            if (read > plan.length || plan.start + read > in_file) std::abort();
        }
    }
    close(input);
    return 0;
}
