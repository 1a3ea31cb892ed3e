#include "external/audio/transcode_job.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "common/worker_protocol.h"
#include "external/audio/file_io.h"
#include "external/audio/media_source.h"
#include "external/audio/normalise_pass.h"
#include "external/audio/stereo_converter.h"
#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"

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
    DecodingPass(JobChannel& channel, const TranscodeRequest& request, DWORD start_tick)
        : m_channel(channel), m_request(request), m_start_tick(start_tick) {}

    TranscodeStatus Run() {
        if (TranscodeStatus opened = Open(); opened != kTranscodeOk) return opened;
        if (TranscodeStatus read = ReadAll(); read != kTranscodeOk) return read;
        return Finish();
    }

    DWORD pcm_bytes() const { return DataLength(m_pcm_bytes); }
    DWORD peak() const { return m_peak; }

   private:
    TranscodeStatus Open() {
        MediaSource::Opened opened = MediaSource::Open(m_request.input_path);
        if (!opened.source) return StatusOf(opened.failure);
        m_source = std::move(opened.source);
        if (!m_converter.Prepare(m_source->decoder())) return kTranscodeNoConverter;
        m_output = CreateReplacing(m_request.output_path);
        if (!m_output.IsOpen()) return kTranscodeOutputNotCreated;
        if (FAILED(WriteWaveHeader(m_output.Get(), 0, kWaveRateHz, kWaveChannels)))
            return kTranscodeWriteFailed;
        if (m_channel.StopRequested()) return kTranscodeStopped;
        m_total = static_cast<DWORD>(m_source->FileSize());
        m_pcm.reserve(kBlockSamples + kBlockSamples / 4);
        m_channel.SetInteger(kTranscodeValueStatus, kTranscodeDecoding);
        m_channel.SetInteger(kTranscodeValueTotal, static_cast<LONG>(m_total));
        return kTranscodeOk;
    }

    TranscodeStatus ReadAll() {
        const MediaSource::FrameSink sink = Sink();
        while (m_source->ReadPacket()) {
            m_compressed_bytes += static_cast<std::uint64_t>(std::max(m_source->PacketBytes(), 0));
            if (!m_source->IsPacketChosen()) continue;
            if (!m_source->DecodePacket(sink)) return m_failure;
            if (m_channel.StopRequested()) return Stop();
            ReportProgress();
        }
        if (!m_source->DecodeRemaining(sink)) return m_failure;
        m_converter.Drain(m_pcm);
        return WritePending(0);
    }

    // What was decoded before the stop is kept, as the file is.
    TranscodeStatus Stop() {
        static_cast<void>(WritePending(0));
        return kTranscodeStopped;
    }

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
        if (!WriteFully(m_output.Get(), m_pcm.data(), bytes)) return kTranscodeWriteFailed;
        m_pcm_bytes += bytes;
        m_peak = std::max(m_peak, PeakMagnitude(m_pcm));
        m_pcm.clear();
        return kTranscodeOk;
    }

    void ReportProgress() {
        if (!m_channel.IsProgressDue(m_request.interval_ms)) return;
        m_channel.SetInteger(kTranscodeValueDone, static_cast<LONG>(m_compressed_bytes));
        m_channel.SetInteger(kTranscodeValueElapsed, static_cast<LONG>(Elapsed()));
        m_channel.PostProgress();
    }

    TranscodeStatus Finish() {
        if (FAILED(WriteWaveHeader(m_output.Get(), pcm_bytes(), kWaveRateHz, kWaveChannels)))
            return kTranscodeWriteFailed;
        m_output.Reset();
        m_channel.SetInteger(kTranscodeValueDone, static_cast<LONG>(m_total));
        m_channel.SetInteger(kTranscodeValueElapsed, static_cast<LONG>(Elapsed()));
        return kTranscodeOk;
    }

    DWORD Elapsed() const { return GetTickCount() - m_start_tick; }

    JobChannel& m_channel;
    const TranscodeRequest& m_request;
    const DWORD m_start_tick;
    std::unique_ptr<MediaSource> m_source;
    StereoConverter m_converter;
    UniqueFd m_output;
    std::vector<std::int16_t> m_pcm;  // decoded, not yet written
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
    DWORD pcm_bytes = 0;
    DWORD peak = 0;
};

// The decoder and its file are closed before a second pass begins.
TranscodeStatus Decode(JobChannel& channel, const TranscodeRequest& request, DWORD start_tick,
                       DecodedSound& sound) {
    DecodingPass decoding(channel, request, start_tick);
    const TranscodeStatus status = decoding.Run();
    sound = {decoding.pcm_bytes(), decoding.peak()};
    return status;
}

TranscodeStatus Transcode(JobChannel& channel, const TranscodeRequest& request, DWORD start_tick) {
    DecodedSound sound;
    if (TranscodeStatus decoded = Decode(channel, request, start_tick, sound);
        decoded != kTranscodeOk)
        return decoded;
    if (!NeedsNormalising(request, sound.peak)) {
        channel.SetInteger(kTranscodeValueStatus, kTranscodeFinished);
        channel.WaitedCallback();
        return kTranscodeOk;
    }
    // The script hears that decoding ended before the second pass begins.
    channel.WaitedCallback();
    return Normalise(channel, {request.output_path, sound.pcm_bytes, sound.peak,
                               request.interval_ms, start_tick});
}

}  // namespace

DWORD RunTranscode(JobChannel& channel, const TranscodeRequest& request) {
    const DWORD start_tick = GetTickCount();
    if (!channel.PrepareArguments(kTranscodeCallbackValues)) return NB_WORKER_EXIT_NO_ARGUMENTS;
    for (UINT position = 1; position <= kTranscodeCallbackValues; ++position)
        channel.SetInteger(position, 0);
    if (TranscodeStatus status = Transcode(channel, request, start_tick); status != kTranscodeOk)
        channel.Notify(status);
    return NB_WORKER_EXIT_NORMAL;
}

}  // namespace nb::external::audio
