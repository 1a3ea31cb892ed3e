#include "external/audio/transcode_job.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "external/audio/media_source.h"
#include "external/audio/normalise_pass.h"
#include "external/audio/stereo_converter.h"
#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"
#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

constexpr std::size_t kBlockSamples = kTranscodeBlockBytes / sizeof(std::int16_t);
// The header's length field has 32 bits; a longer sound announces the most
// it can rather than a wrapped-round small length.
constexpr std::uint64_t kLongestDataBytes = std::numeric_limits<DWORD>::max() - 1;

TranscodeStatus StatusOf(SourceFailure failure) {
    switch (failure) {
        case SourceFailure::NotMedia:
            return kTranscodeNotMedia;
        case SourceFailure::NoStreamInfo:
            return kTranscodeNoStreamInfo;
        case SourceFailure::NoAudioStream:
            return kTranscodeNoAudioStream;
        case SourceFailure::NoDecoder:
            return kTranscodeNoDecoder;
        case SourceFailure::DecoderNotOpened:
        case SourceFailure::None:
            break;
    }
    return kTranscodeDecoderNotOpened;
}

DWORD DataLength(std::uint64_t bytes) {
    return static_cast<DWORD>(std::min(bytes, kLongestDataBytes));
}

// The first pass: the chosen stream decoded into the output file.
class DecodingPass {
   public:
    DecodingPass(JobReport& report, const TranscodeRequest& request)
        : m_report(report), m_request(request) {}

    TranscodeStatus Run() {
        if (TranscodeStatus opened = Open(); opened != kTranscodeOk) return opened;
        if (TranscodeStatus read = ReadAll(); read != kTranscodeOk) return read;
        return Finish();
    }

    // The decoded file, still under its temporary name.
    std::optional<StagedOutput> TakeOutput() { return std::move(m_output); }
    DWORD pcm_bytes() const { return DataLength(m_pcm_bytes); }
    DWORD peak() const { return m_peak; }
    DWORD total() const { return m_total; }

   private:
    TranscodeStatus Open() {
        auto input =
            JobInput::Open(m_request.input_path, StreamInputs::Accepted, m_report.channel());
        if (!input)
            return input.error() == JobInput::OpenFailure::Stopped ? kTranscodeStopped
                                                                   : kTranscodeNotMedia;
        const FileIdentity input_identity = input->identity();
        MediaSource::Opened opened = MediaSource::Open(std::move(*input), m_request.input_path);
        if (!opened) return m_report.StopRequested() ? kTranscodeStopped : StatusOf(opened.error());
        m_source = std::move(*opened);
        if (!m_converter.Prepare(m_source->decoder())) return kTranscodeNoConverter;
        if (IsOneOfTheInputs(m_request.output_path, {input_identity}))
            return kTranscodeOutputNotCreated;
        m_output = StagedOutput::Create(m_request.output_path);
        if (!m_output) return kTranscodeOutputNotCreated;
        if (FAILED(WriteWaveHeader(m_output->fd(), 0, kWaveRateHz, kWaveChannels)))
            return kTranscodeWriteFailed;
        if (m_report.StopRequested()) return kTranscodeStopped;
        m_total = static_cast<DWORD>(m_source->FileSize());
        m_pcm.reserve(kBlockSamples + kBlockSamples / 4);
        m_report.Begin(kTranscodeDecoding, static_cast<LONG>(m_total));
        return kTranscodeOk;
    }

    TranscodeStatus ReadAll() {
        const MediaSource::FrameSink sink = Sink();
        while (m_source->ReadPacket()) {
            m_compressed_bytes += static_cast<std::uint64_t>(std::max(m_source->PacketBytes(), 0));
            if (!m_source->IsPacketChosen()) continue;
            if (!m_source->DecodePacket(sink)) return m_failure;
            if (m_report.StopRequested()) return Stop();
            m_report.Progress(m_compressed_bytes);
        }
        // A stop that came while the input was read ends the reading too.
        if (m_source->Stopped()) return kTranscodeStopped;
        if (!m_source->DecodeRemaining(sink)) return m_failure;
        m_converter.Drain(m_pcm);
        return WritePending(0);
    }

    // A stopped transcode leaves no output: the decoded part is removed.
    TranscodeStatus Stop() { return kTranscodeStopped; }

    MediaSource::FrameSink Sink() {
        return [this](const AVFrame& frame) {
            if (!m_converter.Append(frame, m_pcm)) {
                m_failure = kTranscodeNoConverter;
                return false;
            }
            m_failure = WritePending(kBlockSamples);
            return m_failure == kTranscodeOk;
        };
    }

    // Writes what is pending once at least at_least samples are.
    TranscodeStatus WritePending(std::size_t at_least) {
        if (m_pcm.empty() || m_pcm.size() < at_least) return kTranscodeOk;
        const std::size_t bytes = m_pcm.size() * sizeof(std::int16_t);
        if (!WriteFully(m_output->fd(), m_pcm.data(), bytes)) return kTranscodeWriteFailed;
        m_pcm_bytes += bytes;
        m_peak = std::max(m_peak, PeakMagnitude(m_pcm));
        m_pcm.clear();
        return kTranscodeOk;
    }

    TranscodeStatus Finish() {
        if (FAILED(WriteWaveHeader(m_output->fd(), pcm_bytes(), kWaveRateHz, kWaveChannels)) ||
            !m_output->CloseFile())
            return kTranscodeWriteFailed;
        m_report.Set(kTranscodeLayout.done, static_cast<LONG>(m_total));
        m_report.Set(kTranscodeLayout.elapsed, m_report.ElapsedMs());
        return kTranscodeOk;
    }

    JobReport& m_report;
    const TranscodeRequest& m_request;
    std::unique_ptr<MediaSource> m_source;
    StereoConverter m_converter;
    std::optional<StagedOutput> m_output;  // removed unless it reaches its place
    std::vector<std::int16_t> m_pcm;       // decoded, not yet written
    std::uint64_t m_compressed_bytes = 0;
    std::uint64_t m_pcm_bytes = 0;
    DWORD m_peak = 0;
    DWORD m_total = 0;
    TranscodeStatus m_failure = kTranscodeOk;  // why the frame sink refused
};

bool NeedsNormalising(const TranscodeRequest& request, DWORD peak) {
    return request.normalise && peak != static_cast<DWORD>(kSampleMax) && peak != 0;
}

struct DecodedSound {
    std::optional<StagedOutput> file;  // the decoded wave, under its temporary name
    DWORD pcm_bytes = 0;
    DWORD peak = 0;
    DWORD compressed_total = 0;  // the input file's size
};

// The decoder and the input are closed before a second pass begins.
TranscodeStatus Decode(JobReport& report, const TranscodeRequest& request, DecodedSound& sound) {
    DecodingPass decoding(report, request);
    const TranscodeStatus status = decoding.Run();
    sound = {decoding.TakeOutput(), decoding.pcm_bytes(), decoding.peak(), decoding.total()};
    return status;
}

// kTranscodeFinished once the final callback ran, or the status to report.
TranscodeStatus Transcode(JobReport& report, const TranscodeRequest& request) {
    DecodedSound sound;
    if (TranscodeStatus decoded = Decode(report, request, sound); decoded != kTranscodeOk)
        return decoded;
    if (!NeedsNormalising(request, sound.peak)) {
        if (!sound.file->Commit()) return kTranscodeOutputNotCreated;
        report.Finish(kTranscodeFinished, sound.compressed_total);
        return kTranscodeFinished;
    }
    // The script hears that decoding ended before the second pass begins.
    report.WaitedCallback();
    const TranscodeStatus normalised =
        Normalise(report, {sound.file->path(), request.output_path, sound.pcm_bytes, sound.peak});
    return normalised == kTranscodeOk ? kTranscodeFinished : normalised;
}

}  // namespace

DWORD RunTranscode(JobChannel& channel, const TranscodeRequest& request) {
    JobReport report(channel, kTranscodeLayout, request.interval_ms);
    if (!report.Prepare()) return report.End(0);
    return report.End(Transcode(report, request));
}

}  // namespace nb::external::audio
