#include "external/audio/make_mp3_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <utility>
#include <vector>

#include "external/audio/lame_enc_library.h"
#include "external/audio/wave_file.h"
#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "wave samples are handed to the encoder in the machine's order");

constexpr DWORD kGoOn = 0;  // nothing to report yet

struct RatePair {
    DWORD requested_kbps;
    DWORD minimum_kbps;
};
constexpr std::array<RatePair, 6> kVbrRates = {
    {{32, 24}, {64, 32}, {96, 64}, {128, 96}, {192, 128}, {256, 192}}};

// Every field not set here stays 0.
LameEncConfig MakeConfig(DWORD bit_rate_kbps) {
    LameEncConfig config{};
    config.config_kind = LAME_ENC_CONFIG_LAME;
    config.struct_version = LAME_ENC_CONFIG_VERSION;
    config.struct_size = LAME_ENC_CONFIG_SIZE;
    config.sample_rate_hz = kWaveRateHz;
    config.mode = LAME_ENC_MODE_JOINT_STEREO;
    config.bit_rate_kbps = VbrMinimumKbps(static_cast<LONG>(bit_rate_kbps)).value_or(0);
    config.max_bit_rate_kbps = bit_rate_kbps;
    config.preset = LAME_ENC_PRESET_HIGH;
    config.mpeg_version = LAME_ENC_MPEG_1;
    config.crc = 1;
    config.original = 1;
    config.write_vbr_header = 1;
    config.enable_vbr = 1;
    config.no_bit_reservoir = 1;
    return config;
}

// An open stream of the loaded library, closed when it goes unless the tag
// step closed it.
class StreamGuard {
   public:
    explicit StreamGuard(const LameEncCalls& calls) : m_calls(calls) {}
    ~StreamGuard() { Close(); }
    StreamGuard(const StreamGuard&) = delete;
    StreamGuard& operator=(const StreamGuard&) = delete;

    LameEncStream** Out() { return &m_stream; }
    LameEncStream* Get() const { return m_stream; }
    LameEncStream* Release() { return std::exchange(m_stream, nullptr); }
    void Close() {
        if (m_stream) m_calls.close_stream(Release());
    }

   private:
    const LameEncCalls& m_calls;
    LameEncStream* m_stream = nullptr;
};

class MakeMp3 {
   public:
    MakeMp3(JobReport& report, const MakeMp3Request& request)
        : m_report(report), m_request(request) {}

    // kMakeMp3Finished once the final callback ran, or the status to report.
    DWORD Run() {
        if (const DWORD loaded = LoadEncoder(); loaded != kGoOn) return loaded;
        if (const DWORD opened = OpenFiles(); opened != kGoOn) return opened;
        StreamGuard stream(m_library->calls());
        if (const DWORD started = StartStream(stream); started != kGoOn) return started;
        if (lseek(m_input->fd(), static_cast<off_t>(kWaveHeaderBytes), SEEK_SET) < 0)
            return kMakeMp3SeekFailed;
        if (!m_report.Prepare()) return kGoOn;
        m_report.Begin(kMakeMp3Working, m_total_bytes);
        return EncodeAll(stream);
    }

   private:
    DWORD LoadEncoder() {
        LameEncLibrary::Loaded loaded = LameEncLibrary::Load(m_request.library_path);
        if (!loaded)
            return loaded.error() == LameEncLibrary::LoadFailure::CallMissing
                       ? kMakeMp3CallMissing
                       : kMakeMp3LibraryNotLoaded;
        m_library = std::move(*loaded);
        return kGoOn;
    }

    // The header is neither read nor checked: all that follows byte 44 is
    // taken as sound, so a file shorter than that has a negative length.
    // The length comes from the file's size, so a stream is refused.
    DWORD OpenFiles() {
        auto input =
            JobInput::Open(m_request.input_path, StreamInputs::Refused, m_report.channel());
        struct stat info {};
        if (!input || fstat(input->fd(), &info) != 0) return kMakeMp3InputNotOpened;
        m_input.emplace(std::move(*input));
        m_total_bytes = static_cast<LONG>(info.st_size - static_cast<off_t>(kWaveHeaderBytes));
        if (IsOneOfTheInputs(m_request.output_path, {m_input->identity()}))
            return kMakeMp3OutputNotCreated;
        m_output = StagedOutput::Create(m_request.output_path);
        return m_output ? kGoOn : DWORD{kMakeMp3OutputNotCreated};
    }

    DWORD StartStream(StreamGuard& stream) {
        const LameEncConfig config = MakeConfig(m_request.bit_rate_kbps);
        std::uint32_t samples_per_chunk = 0;
        std::uint32_t mp3_buffer_bytes = 0;
        if (m_library->calls().init_stream(&config, &samples_per_chunk, &mp3_buffer_bytes,
                                           stream.Out()) != LAME_ENC_OK)
            return kMakeMp3InitFailed;
        // One spare sample and one spare byte beyond what the library asks for.
        m_chunk_samples = samples_per_chunk;
        m_pcm.resize(std::size_t{samples_per_chunk} + 1);
        m_mp3.resize(std::size_t{mp3_buffer_bytes} + 1);
        return kGoOn;
    }

    DWORD EncodeAll(StreamGuard& stream) {
        const std::size_t chunk_bytes = std::size_t{m_chunk_samples} * sizeof(std::int16_t);
        for (;;) {
            if (m_report.StopRequested()) return kMakeMp3Stopped;
            const ReadResult read = ReadFully(m_input->fd(), m_pcm.data(), chunk_bytes);
            if (read.failed) return kMakeMp3ReadFailed;
            if (read.bytes == 0) return Finish(stream);
            std::uint32_t mp3_bytes = 0;
            const auto samples = static_cast<std::uint32_t>(read.bytes / sizeof(std::int16_t));
            if (m_library->calls().encode_chunk(stream.Get(), samples, m_pcm.data(), m_mp3.data(),
                                                &mp3_bytes) != LAME_ENC_OK)
                return kMakeMp3EncodeFailed;
            if (!WriteFully(m_output->fd(), m_mp3.data(), mp3_bytes)) return kMakeMp3WriteFailed;
            m_read_bytes += read.bytes;
            m_report.Progress(m_read_bytes);
        }
    }

    DWORD Finish(StreamGuard& stream) {
        std::uint32_t mp3_bytes = 0;
        if (m_library->calls().deinit_stream(stream.Get(), m_mp3.data(), &mp3_bytes) != LAME_ENC_OK)
            return kMakeMp3FlushFailed;
        if (mp3_bytes && !WriteFully(m_output->fd(), m_mp3.data(), mp3_bytes))
            return kMakeMp3WriteFailed;
        if (!m_output->CloseFile()) return kMakeMp3WriteFailed;
        WriteInfoTag(stream);
        if (!m_output->Commit()) return kMakeMp3OutputNotCreated;
        m_report.Finish(kMakeMp3Finished, static_cast<std::uint64_t>(m_total_bytes));
        return kMakeMp3Finished;
    }

    // The library rewrites the file's first frame by name, so every byte is
    // in the file and the file closed first. Its answer is not a failure of
    // the encoding: the sound is complete without the tag.
    void WriteInfoTag(StreamGuard& stream) {
        const LameEncCalls& calls = m_library->calls();
        const char* name = m_output->path().c_str();
        if (calls.write_info_tag) {
            calls.write_info_tag(stream.Release(), name);
            return;
        }
        stream.Close();
        calls.write_vbr_header(name);
    }

    JobReport& m_report;
    const MakeMp3Request& m_request;
    std::unique_ptr<LameEncLibrary> m_library;
    std::optional<JobInput> m_input;
    std::optional<StagedOutput> m_output;  // removed unless the encoding finished
    LONG m_total_bytes = 0;
    std::uint64_t m_read_bytes = 0;
    std::uint32_t m_chunk_samples = 0;
    std::vector<std::int16_t> m_pcm;
    std::vector<std::uint8_t> m_mp3;
};

}  // namespace

std::optional<DWORD> VbrMinimumKbps(LONG requested_kbps) {
    for (const RatePair& pair : kVbrRates)
        if (static_cast<LONG>(pair.requested_kbps) == requested_kbps) return pair.minimum_kbps;
    return std::nullopt;
}

DWORD RunMakeMp3(JobChannel& channel, const MakeMp3Request& request) {
    JobReport report(channel, kMakeMp3Layout, request.interval_ms);
    MakeMp3 job(report, request);
    return report.End(job.Run());
}

}  // namespace nb::external::audio
