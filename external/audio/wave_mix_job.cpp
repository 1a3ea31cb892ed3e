#include "external/audio/wave_mix_job.h"

#include <unistd.h>

#include <array>
#include <bit>
#include <cstring>

#include "platform/kernel/fd_io.h"
#include "external/audio/mix_block.h"
#include "external/audio/wave_file.h"

namespace nb::external::audio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "wave samples are read and written in the machine's order");

constexpr std::size_t kBlockSamples = kWaveMixBlockBytes / sizeof(std::int16_t);
// One spare sample, so a block may be handled as bytes without care for
// where its last whole sample ends.
using Block = std::array<std::int16_t, kBlockSamples + 1>;

WaveMixStatus StatusOf(WaveHeaderStatus header) {
    switch (header) {
        case WaveHeaderStatus::Accepted:
            return kWaveMixOk;
        case WaveHeaderStatus::ReadFailure:
            return kWaveMixReadFailed;
        case WaveHeaderStatus::WrongFormat:
            break;
    }
    return kWaveMixWrongFormat;
}

class WaveMix {
   public:
    WaveMix(JobReport& report, const WaveMixRequest& request)
        : m_report(report), m_request(request) {}

    WaveMixStatus OpenFiles() {
        m_main = OpenForReading(m_request.main_path);
        if (!m_main.IsOpen()) return kWaveMixMainNotOpened;
        const WaveHeaderCheck main_header = ReadWaveHeader(m_main.Get());
        if (main_header.status != WaveHeaderStatus::Accepted) return StatusOf(main_header.status);
        m_main_bytes = main_header.data_bytes & ~DWORD{1};
        m_background = OpenForReading(m_request.background_path);
        if (!m_background.IsOpen()) return kWaveMixBackgroundNotOpened;
        const WaveHeaderStatus background_header = ReadWaveHeader(m_background.Get()).status;
        if (background_header != WaveHeaderStatus::Accepted) return StatusOf(background_header);
        m_output = CreateReplacing(m_request.output_path);
        if (!m_output.IsOpen()) return kWaveMixOutputNotCreated;
        if (FAILED(WriteWaveHeader(m_output.Get(), m_main_bytes, kWaveRateHz, kWaveChannels)))
            return kWaveMixWriteFailed;
        return kWaveMixOk;
    }

    // The main file is mixed to its very end, also past the length its
    // header announces; the output's header keeps announcing that length.
    WaveMixStatus MixAll() {
        m_report.Begin(kWaveMixWorking, static_cast<LONG>(m_main_bytes));
        for (;;) {
            const ReadResult main =
                ReadFully(m_main.Get(), m_main_block.data(), kWaveMixBlockBytes);
            if (main.failed) return kWaveMixReadFailed;
            if (main.bytes == 0) return kWaveMixOk;
            if (!ReadBackground(main.bytes)) return kWaveMixReadFailed;
            MixBlock(main.bytes);
            if (!WriteFully(m_output.Get(), m_mixed_block.data(), main.bytes))
                return kWaveMixWriteFailed;
            m_written_bytes += main.bytes;
            if (m_report.StopRequested()) return kWaveMixStopped;
            m_report.Progress(m_written_bytes);
        }
    }

    void CloseFiles() {
        m_main.Reset();
        m_background.Reset();
        m_output.Reset();
    }

   private:
    // Fills the background block with count bytes, starting the background
    // over once when it ends. What a second read still leaves unfilled (a
    // background shorter than a block) is silence.
    bool ReadBackground(std::size_t count) {
        auto* bytes = reinterpret_cast<char*>(m_background_block.data());
        const ReadResult first = ReadFully(m_background.Get(), bytes, count);
        if (first.failed) return false;
        std::size_t filled = first.bytes;
        if (filled < count) {
            if (::lseek(m_background.Get(), static_cast<off_t>(kWaveHeaderBytes), SEEK_SET) < 0)
                return false;
            const std::size_t resume_at = filled & ~std::size_t{1};
            const ReadResult second =
                ReadFully(m_background.Get(), bytes + resume_at, count - filled);
            if (second.failed) return false;
            filled = resume_at + second.bytes;
        }
        std::memset(bytes + filled, 0, sizeof(Block) - filled);
        return true;
    }

    void MixBlock(std::size_t block_bytes) {
        const std::size_t samples = block_bytes / sizeof(std::int16_t);
        const std::span<const std::int16_t> main(m_main_block.data(), samples);
        const double gain = BackgroundGain(main, static_cast<std::uint32_t>(block_bytes));
        MixSamples(main, std::span(m_background_block.data(), samples), gain,
                   std::span(m_mixed_block.data(), samples));
        // A main file ending in half a sample gets half a silent one.
        m_mixed_block[samples] = 0;
    }

    JobReport& m_report;
    const WaveMixRequest& m_request;
    UniqueFd m_main;
    UniqueFd m_background;
    UniqueFd m_output;
    DWORD m_main_bytes = 0;
    std::uint64_t m_written_bytes = 0;
    Block m_main_block{};
    Block m_background_block{};
    Block m_mixed_block{};
};

}  // namespace

DWORD RunWaveMix(JobChannel& channel, const WaveMixRequest& request) {
    JobReport report(channel, kWaveMixLayout, request.interval_ms);
    WaveMix mix(report, request);
    WaveMixStatus status = mix.OpenFiles();
    if (status == kWaveMixOk) {
        if (!report.Prepare()) return report.End(status);
        status = mix.MixAll();
    }
    mix.CloseFiles();
    // The mix ends with a status call, not a final callback.
    return report.End(status == kWaveMixOk ? kWaveMixFinished : status);
}

}  // namespace nb::external::audio
