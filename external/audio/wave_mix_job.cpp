#include "external/audio/wave_mix_job.h"

#include <unistd.h>

#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "external/audio/mix_block.h"
#include "external/audio/wave_file.h"
#include "platform/kernel/fd_io.h"

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

    // The main sound may come from a stream; the background starts over
    // when it ends, so it must be a file.
    WaveMixStatus OpenFiles() {
        auto main = JobInput::Open(m_request.main_path, StreamInputs::Accepted, m_report.channel());
        if (!main)
            return main.error() == JobInput::OpenFailure::Stopped ? kWaveMixStopped
                                                                  : kWaveMixMainNotOpened;
        m_main.emplace(std::move(*main));
        const WaveHeaderCheck main_header = ReadWaveHeader(*m_main);
        if (m_main->Stopped()) return kWaveMixStopped;
        if (main_header.status != WaveHeaderStatus::Accepted) return StatusOf(main_header.status);
        m_main_bytes = main_header.data_bytes & ~DWORD{1};
        auto background =
            JobInput::Open(m_request.background_path, StreamInputs::Refused, m_report.channel());
        if (!background) return kWaveMixBackgroundNotOpened;
        m_background.emplace(std::move(*background));
        const WaveHeaderStatus background_header = ReadWaveHeader(m_background->fd()).status;
        if (background_header != WaveHeaderStatus::Accepted) return StatusOf(background_header);
        if (IsOneOfTheInputs(m_request.output_path, {m_main->identity(), m_background->identity()}))
            return kWaveMixOutputNotCreated;
        m_output = StagedOutput::Create(m_request.output_path);
        if (!m_output) return kWaveMixOutputNotCreated;
        if (FAILED(WriteWaveHeader(m_output->fd(), m_main_bytes, kWaveRateHz, kWaveChannels)))
            return kWaveMixWriteFailed;
        return kWaveMixOk;
    }

    // The finished mix takes the output's place.
    WaveMixStatus Commit() {
        m_main.reset();
        m_background.reset();
        return m_output->Commit() ? kWaveMixFinished : kWaveMixWriteFailed;
    }

    // The main file is mixed to its very end, also past the length its
    // header announces; the output's header keeps announcing that length.
    WaveMixStatus MixAll() {
        m_report.Begin(kWaveMixWorking, static_cast<LONG>(m_main_bytes));
        for (;;) {
            const ReadResult main = m_main->Read(m_main_block.data(), kWaveMixBlockBytes);
            if (m_main->Stopped()) return kWaveMixStopped;
            if (main.failed) return kWaveMixReadFailed;
            if (main.bytes == 0) return kWaveMixOk;
            if (!ReadBackground(main.bytes)) return kWaveMixReadFailed;
            MixBlock(main.bytes);
            if (!WriteFully(m_output->fd(), m_mixed_block.data(), main.bytes))
                return kWaveMixWriteFailed;
            m_written_bytes += main.bytes;
            if (m_report.StopRequested()) return kWaveMixStopped;
            m_report.Progress(m_written_bytes);
        }
    }

   private:
    // Fills the background block with count bytes, starting the background
    // over once when it ends. What a second read still leaves unfilled (a
    // background shorter than a block) is silence.
    bool ReadBackground(std::size_t count) {
        auto* bytes = reinterpret_cast<char*>(m_background_block.data());
        const int background = m_background->fd();
        const ReadResult first = ReadFully(background, bytes, count);
        if (first.failed) return false;
        std::size_t filled = first.bytes;
        if (filled < count) {
            if (::lseek(background, static_cast<off_t>(kWaveHeaderBytes), SEEK_SET) < 0)
                return false;
            const std::size_t resume_at = filled & ~std::size_t{1};
            const ReadResult second = ReadFully(background, bytes + resume_at, count - filled);
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
    std::optional<JobInput> m_main;
    std::optional<JobInput> m_background;
    std::optional<StagedOutput> m_output;  // removed unless the mix finished
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
    if (status == kWaveMixOk) status = mix.Commit();
    // The mix ends with a status call, not a final callback.
    return report.End(status);
}

}  // namespace nb::external::audio
