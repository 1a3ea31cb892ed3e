#include "external/audio/normalise_pass.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"
#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

constexpr std::size_t kBlockSamples = kTranscodeBlockBytes / sizeof(std::int16_t);
constexpr int kSampleValues = 65536;

// The scaled value of every possible sample, worked out once: a lookup costs
// far less than the exact division for each sample of the file.
std::vector<std::int16_t> ScaledValues(DWORD peak) {
    std::vector<std::int16_t> values(kSampleValues);
    for (int index = 0; index < kSampleValues; ++index)
        values[index] = NormaliseSample(static_cast<std::int16_t>(index + kSampleMin), peak);
    return values;
}

class NormalisingPass {
   public:
    NormalisingPass(JobReport& report, const NormaliseRequest& request)
        : m_report(report),
          m_request(request),
          m_block(kBlockSamples),
          m_scaled(ScaledValues(request.peak)) {}

    TranscodeStatus Run() {
        if (TranscodeStatus opened = Open(); opened != kTranscodeOk) return opened;
        if (TranscodeStatus copied = CopyScaled(); copied != kTranscodeOk) return copied;
        return Finish();
    }

   private:
    TranscodeStatus Open() {
        m_decoded = OpenForReading(m_request.decoded_path);
        if (!m_decoded.IsOpen()) return kTranscodeTemporaryNotOpened;
        if (::lseek(m_decoded.Get(), static_cast<off_t>(kWaveHeaderBytes), SEEK_SET) !=
            static_cast<off_t>(kWaveHeaderBytes))
            return kTranscodeTemporaryNotSeeked;
        m_output = StagedOutput::Create(m_request.output_path);
        if (!m_output) return kTranscodeOutputNotCreated;
        if (FAILED(
                WriteWaveHeader(m_output->fd(), m_request.pcm_bytes, kWaveRateHz, kWaveChannels)))
            return kTranscodeNormalisedWriteFailed;
        m_report.Begin(kTranscodeNormalising, static_cast<LONG>(m_request.pcm_bytes));
        return kTranscodeOk;
    }

    TranscodeStatus CopyScaled() {
        for (;;) {
            const ReadResult read =
                ReadFully(m_decoded.Get(), m_block.data(), m_block.size() * sizeof(std::int16_t));
            if (read.failed) return kTranscodeTemporaryReadFailed;
            if (read.bytes == 0) return kTranscodeOk;
            const std::size_t samples = read.bytes / sizeof(std::int16_t);
            for (std::size_t i = 0; i < samples; ++i)
                m_block[i] = m_scaled[m_block[i] - kSampleMin];
            if (!WriteFully(m_output->fd(), m_block.data(), read.bytes))
                return kTranscodeNormalisedWriteFailed;
            m_done_bytes += read.bytes;
            if (m_report.StopRequested()) return kTranscodeStopped;
            m_report.Progress(m_done_bytes);
        }
    }

    TranscodeStatus Finish() {
        m_decoded.Reset();
        if (!m_output->CloseFile()) return kTranscodeNormalisedWriteFailed;
        if (!m_output->Commit()) return kTranscodeNotRenamed;
        m_report.Finish(kTranscodeFinished, m_request.pcm_bytes);
        return kTranscodeOk;
    }

    JobReport& m_report;
    const NormaliseRequest& m_request;
    std::vector<std::int16_t> m_block;
    const std::vector<std::int16_t> m_scaled;  // by sample value + 32768
    UniqueFd m_decoded;
    std::optional<StagedOutput> m_output;  // removed unless the pass finished
    std::uint64_t m_done_bytes = 0;
};

}  // namespace

std::int16_t NormaliseSample(std::int16_t sample, DWORD peak) {
    return static_cast<std::int16_t>(sample * std::int64_t{kSampleMax} /
                                     static_cast<std::int64_t>(peak));
}

TranscodeStatus Normalise(JobReport& report, const NormaliseRequest& request) {
    NormalisingPass pass(report, request);
    return pass.Run();
}

}  // namespace nb::external::audio
