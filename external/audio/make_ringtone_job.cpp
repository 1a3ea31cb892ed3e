#include "external/audio/make_ringtone_job.h"

#include <unistd.h>

#include <array>
#include <bit>
#include <optional>

#include "external/audio/ringtone_shape.h"
#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"
#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "wave samples are read and written in the machine's order");

constexpr DWORD kGoOn = 0;  // nothing to report yet

class WaveOutput final : public RingtoneOutput {
   public:
    explicit WaveOutput(StagedOutput& file) : m_file(file) {}

    DWORD Write(std::span<const std::int16_t> block) override {
        return WriteFully(m_file.fd(), block.data(), block.size_bytes()) ? kGoOn
                                                                         : kRingtoneWriteFailed;
    }
    // Data the disk could not take may show only when the file is closed.
    DWORD Finish() override { return m_file.CloseFile() ? kGoOn : kRingtoneWriteFailed; }

   private:
    StagedOutput& m_file;
};

class MakeRingtone {
   public:
    MakeRingtone(JobReport& report, const MakeRingtoneRequest& request)
        : m_report(report), m_request(request) {}

    // kRingtoneFinished once the final callback ran, or the status to report.
    DWORD Run() {
        if (const DWORD prepared = Prepare(); prepared != kGoOn) return prepared;
        if (IsOneOfTheInputs(m_request.output_path, {m_input->identity()}))
            return kRingtoneOutputNotCreated;
        m_file = StagedOutput::Create(m_request.output_path);
        if (!m_file) return kRingtoneOutputNotCreated;
        // The 3GP writer writes its file by name.
        const bool three_gp = m_request.format == kRingtoneThreeGp;
        if (three_gp && !m_file->CloseFile()) return kRingtoneOutputNotCreated;
        RingtoneOutputResult created =
            three_gp ? CreateThreeGpOutput(m_file->path()) : CreateWaveOutput(*m_file, m_count);
        if (!created) return created.error();
        m_output = std::move(*created);
        if (m_report.StopRequested()) return kRingtoneStopped;
        m_report.Begin(kRingtoneWorking, static_cast<LONG>(m_count * 2));
        return CutAll();
    }

   private:
    // The input may be a stream when the cut reads on from its start.
    DWORD Prepare() {
        auto input =
            JobInput::Open(m_request.input_path, StreamInputs::Accepted, m_report.channel());
        if (!input)
            return input.error() == JobInput::OpenFailure::Stopped ? kRingtoneStopped
                                                                   : kRingtoneInputNotOpened;
        m_input.emplace(std::move(*input));
        const WaveHeaderCheck header = ReadWaveHeader(*m_input);
        if (m_input->Stopped()) return kRingtoneStopped;
        if (header.status == WaveHeaderStatus::ReadFailure) return kRingtoneReadFailed;
        if (header.status == WaveHeaderStatus::WrongFormat) return kRingtoneWrongFormat;
        // Whole frames only: a stray half frame at the end is not sound.
        const std::uint64_t total = (header.data_bytes / 2) & ~std::uint64_t{1};

        DWORD length_ms = m_request.length_ms;
        if (length_ms == 0) length_ms = SamplesToMilliseconds(static_cast<DWORD>(total));
        const FadeLengths fades =
            FitFades(length_ms, {m_request.fade_in_ms, m_request.fade_out_ms});
        const std::uint64_t start = MillisecondsToFrameSamples(m_request.start_ms);
        // Without a length the cut is the rest of the sound to its last
        // frame, not a round trip through whole milliseconds that would
        // leave up to a millisecond off its end.
        m_count = m_request.length_ms == 0 ? total : MillisecondsToFrameSamples(length_ms);
        m_shape.volume_percent = RingtoneVolume(m_request.volume_percent);
        m_shape.fade_in_samples = MillisecondsToFrameSamples(fades.fade_in_ms);
        m_shape.fade_out_samples = MillisecondsToFrameSamples(fades.fade_out_ms);

        // After the header the input is at the first sample already, so a
        // cut from the start reads on (from a pipe, too).
        if (start != 0 &&
            ::lseek(m_input->fd(), static_cast<off_t>(SampleBytePosition(start)), SEEK_SET) < 0)
            return kRingtoneSeekFailed;
        // A start past the end finds no sound to read.
        if (start > total) return kRingtoneReadFailed;
        if (start + m_count > total) {
            if (start == total) return kRingtoneStartAtEnd;
            m_count = total - start;
        }
        // The fade-out ends with the cut as it really is, also where the
        // sound ends before the length asked for.
        m_shape.fade_out_start = static_cast<std::int64_t>(m_count) -
                                 static_cast<std::int64_t>(m_shape.fade_out_samples);
        return kGoOn;
    }

    DWORD CutAll() {
        std::uint64_t done = 0;
        for (;;) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(kRingtoneBlockSamples, m_count - done));
            if (n == 0) return Finish();
            const std::span<std::int16_t> block(m_block.data(), n);
            const ReadResult read = m_input->Read(block.data(), block.size_bytes());
            if (m_input->Stopped()) return kRingtoneStopped;
            if (read.failed || read.bytes < block.size_bytes()) return kRingtoneReadFailed;
            ShapeBlock(block, done, m_shape);
            if (const DWORD written = m_output->Write(block); written != kGoOn) return written;
            done += n;
            if (m_report.StopRequested()) return kRingtoneStopped;
            m_report.Progress(done * 2);
        }
    }

    DWORD Finish() {
        if (const DWORD finished = m_output->Finish(); finished != kGoOn) return finished;
        if (!m_file->Commit()) return kRingtoneOutputNotCreated;
        m_report.Finish(kRingtoneFinished, m_count * 2);
        return kRingtoneFinished;
    }

    JobReport& m_report;
    const MakeRingtoneRequest& m_request;
    std::optional<JobInput> m_input;
    std::optional<StagedOutput> m_file;  // removed unless the cut finished
    std::unique_ptr<RingtoneOutput> m_output;
    std::uint64_t m_count = 0;
    RingtoneShape m_shape;
    std::array<std::int16_t, kRingtoneBlockSamples> m_block{};
};

}  // namespace

RingtoneOutputResult CreateWaveOutput(StagedOutput& file, std::uint64_t sample_count) {
    if (FAILED(WriteWaveHeader(file.fd(), static_cast<DWORD>(sample_count * 2), kWaveRateHz,
                               kWaveChannels)))
        return Unexpected(DWORD{kRingtoneWriteFailed});
    return std::unique_ptr<RingtoneOutput>(std::make_unique<WaveOutput>(file));
}

DWORD RunMakeRingtone(JobChannel& channel, const MakeRingtoneRequest& request) {
    JobReport report(channel, kRingtoneLayout, request.interval_ms);
    if (!report.Prepare()) return report.End(0);
    MakeRingtone job(report, request);
    return report.End(job.Run());
}

}  // namespace nb::external::audio
