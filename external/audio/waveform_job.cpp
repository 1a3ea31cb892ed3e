#include "external/audio/waveform_job.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>

#include "external/audio/wave_file.h"
#include "external/audio/waveform_columns.h"
#include "external/audio/waveform_png.h"
#include "external/audio/waveform_shape.h"

namespace nb::external::audio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "wave samples are read in the machine's order");

WaveformStatus StatusOf(WaveHeaderStatus header) {
    switch (header) {
        case WaveHeaderStatus::Accepted:
            return kWaveformOk;
        case WaveHeaderStatus::ReadFailure:
            return kWaveformReadFailed;
        case WaveHeaderStatus::WrongFormat:
            break;
    }
    return kWaveformWrongFormat;
}

class WaveformBuilder {
   public:
    WaveformBuilder(JobReport& report, const BuildWaveformsRequest& request)
        : m_report(report), m_request(request) {}

    // Reads the sound once and leaves every level's columns shaped.
    WaveformStatus ReadSound() {
        auto input =
            JobInput::Open(m_request.input_path, StreamInputs::Accepted, m_report.channel());
        if (!input)
            return input.error() == JobInput::OpenFailure::Stopped ? kWaveformStopped
                                                                   : kWaveformInputNotOpened;
        m_input_identity = input->identity();
        const WaveHeaderCheck header = ReadWaveHeader(*input);
        if (input->Stopped()) return kWaveformStopped;
        if (header.status != WaveHeaderStatus::Accepted) return StatusOf(header.status);
        m_columns.emplace(static_cast<int>(m_request.targets.size()), header.data_bytes / 2);
        m_report.Begin(kWaveformReading, static_cast<LONG>(header.data_bytes));
        if (m_report.StopRequested()) return kWaveformStopped;
        if (WaveformStatus read = ReadBlocks(*input, header.data_bytes); read != kWaveformOk)
            return read;
        m_columns->Finish();
        for (int track = 0; track < m_columns->tracks(); ++track)
            ShapeColumns(m_columns->Columns(track), track == 0 ? BandBoost::On : BandBoost::Off);
        return kWaveformOk;
    }

    // One picture per level, each reported once it is in place.
    WaveformStatus WritePictures() {
        const auto levels = static_cast<LONG>(m_request.targets.size());
        m_report.Begin(kWaveformWriting, levels);
        m_report.Set(kWaveformLayout.done, 0);
        for (LONG level = 0; level < levels; ++level) {
            if (WaveformStatus written = WritePicture(level); written != kWaveformOk)
                return written;
            if (m_report.StopRequested()) return kWaveformStopped;
            m_report.Set(kWaveformLayout.done, level + 1);
            m_report.Set(kWaveformLayout.elapsed, m_report.ElapsedMs());
            m_report.channel().PostProgress();
        }
        m_report.Finish(kWaveformFinished, static_cast<std::uint64_t>(levels));
        return kWaveformFinished;
    }

   private:
    // The sound is what the header announces: bytes after it (another
    // chunk, a tag) are no samples, and the columns have room for no more.
    WaveformStatus ReadBlocks(JobInput& input, DWORD data_bytes) {
        const std::uint64_t sound_bytes = data_bytes & ~DWORD{1};
        m_block.resize(kWaveformBlockBytes / sizeof(std::int16_t));
        std::uint64_t read = 0;
        while (read < sound_bytes) {
            const std::size_t wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(kWaveformBlockBytes, sound_bytes - read));
            const ReadResult got = input.Read(m_block.data(), wanted);
            if (input.Stopped()) return kWaveformStopped;
            if (got.failed) return kWaveformReadFailed;
            m_columns->Add(std::span(m_block.data(), got.bytes / sizeof(std::int16_t)));
            read += got.bytes;
            if (m_report.StopRequested()) return kWaveformStopped;
            m_report.Progress(read);
            // A file shorter than announced ends the sound early.
            if (got.bytes < wanted) break;
        }
        return kWaveformOk;
    }

    WaveformStatus WritePicture(LONG level) {
        const std::optional<std::string>& target =
            m_request.targets[static_cast<std::size_t>(level)];
        // A picture never takes the place of the sound it shows.
        if (!target || IsOneOfTheInputs(*target, {m_input_identity}))
            return kWaveformTargetNotCreated;
        std::optional<StagedOutput> output = StagedOutput::Create(*target);
        if (!output) return kWaveformTargetNotCreated;
        const WaveformPicture picture{
            .height = WaveformHeight(static_cast<int>(level)),
            .columns = m_columns->Columns(WaveformTrack(static_cast<int>(level)))};
        if (!WriteWaveformPng(output->fd(), picture) || !output->Commit())
            return kWaveformPngFailed;
        return kWaveformOk;
    }

    JobReport& m_report;
    const BuildWaveformsRequest& m_request;
    std::optional<FileIdentity> m_input_identity;
    std::optional<WaveformColumns> m_columns;
    std::vector<std::int16_t> m_block;
};

WaveformStatus BuildWaveforms(JobReport& report, const BuildWaveformsRequest& request) {
    WaveformBuilder builder(report, request);
    if (WaveformStatus read = builder.ReadSound(); read != kWaveformOk) return read;
    return builder.WritePictures();
}

}  // namespace

DWORD RunBuildWaveforms(JobChannel& channel, const BuildWaveformsRequest& request) {
    JobReport report(channel, kWaveformLayout, request.interval_ms);
    if (!report.Prepare()) return report.End(0);
    return report.End(BuildWaveforms(report, request));
}

}  // namespace nb::external::audio
