#include "external/audio/playback_stretch.h"

#include <unistd.h>

#include <algorithm>
#include <bit>

#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"

namespace nb::external::audio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "wave samples are read in the machine's order");

constexpr double kFramesPerMillisecond = 44.1;
constexpr DWORD kHighestVolume = 200;
constexpr std::uint64_t kFrameSamples = 2;

std::uint64_t WholeFrames(std::uint64_t samples) { return samples & ~(kFrameSamples - 1); }

// The fades are fitted in samples (whole frames, as the length is). A fade
// longer than the stretch is cut to it first, which the fitting would do
// anyway, so that the counts fit its 32 bits.
FadeLengths FittedFades(std::uint64_t length, const PlaybackRequest& request) {
    const auto capped = [length](DWORD ms) {
        return static_cast<DWORD>(std::min(PlaybackSamples(ms), length));
    };
    return FitFades(static_cast<DWORD>(length),
                    {capped(request.fade_in_ms), capped(request.fade_out_ms)});
}

}  // namespace

DWORD PlaybackVolume(DWORD requested_percent) {
    return std::min(requested_percent, kHighestVolume);
}

std::uint64_t PlaybackSamples(DWORD milliseconds) {
    return kFrameSamples * static_cast<std::uint64_t>(milliseconds * kFramesPerMillisecond);
}

Expected<StretchPlan, DWORD> PlanStretch(const PlaybackRequest& request, std::uint64_t total) {
    total = WholeFrames(total);
    StretchPlan plan;
    plan.start = PlaybackSamples(request.start_ms);
    // A start past the end would leave a negative length: nothing to play,
    // as at the end itself.
    if (plan.start >= total) return Unexpected(DWORD{kPlaybackStartAtEnd});
    plan.length = request.length_ms == 0
                      ? total - plan.start
                      : std::min(PlaybackSamples(request.length_ms), total - plan.start);
    const FadeLengths fades = FittedFades(plan.length, request);
    plan.shape.volume_percent = PlaybackVolume(request.volume_percent);
    plan.shape.fade_in_samples = fades.fade_in_ms;
    plan.shape.fade_out_samples = fades.fade_out_ms;
    plan.shape.fade_out_start =
        static_cast<std::int64_t>(plan.length) - static_cast<std::int64_t>(fades.fade_out_ms);
    return plan;
}

Expected<StretchReader, DWORD> StretchReader::Open(const PlaybackRequest& request,
                                                   JobChannel& channel) {
    auto input = JobInput::Open(request.path, StreamInputs::Refused, channel);
    if (!input) return Unexpected(DWORD{kPlaybackNotOpened});
    const WaveHeaderCheck header = ReadWaveHeader(*input);
    if (header.status == WaveHeaderStatus::ReadFailure)
        return Unexpected(DWORD{kPlaybackHeaderShort});
    if (header.status == WaveHeaderStatus::WrongFormat)
        return Unexpected(DWORD{kPlaybackWrongFormat});
    Expected<StretchPlan, DWORD> plan = PlanStretch(request, header.data_bytes / 2);
    if (!plan) return Unexpected(plan.error());
    return StretchReader(std::move(*input), *plan);
}

DWORD StretchReader::LengthMs() const {
    return SamplesToMilliseconds(static_cast<DWORD>(m_plan.length));
}

bool StretchReader::Rewind() {
    m_read = 0;
    m_ended = false;
    return ::lseek(m_input.fd(), static_cast<off_t>(SampleBytePosition(m_plan.start)), SEEK_SET) >=
           0;
}

std::size_t StretchReader::Read(std::span<std::int16_t> block, DWORD volume_percent) {
    if (m_ended) return 0;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(WholeFrames(block.size()), m_plan.length - m_read));
    if (wanted == 0) return 0;
    const ReadResult read = m_input.Read(block.data(), wanted * sizeof(std::int16_t));
    const std::size_t got =
        static_cast<std::size_t>(WholeFrames(read.bytes / sizeof(std::int16_t)));
    if (read.failed || got < wanted) m_ended = true;
    if (got == 0) return 0;
    const std::span<std::int16_t> samples = block.first(got);
    RingtoneShape shape = m_plan.shape;
    shape.volume_percent = volume_percent;
    ShapeBlock(samples, m_read, shape);
    m_read += got;
    return got;
}

}  // namespace nb::external::audio
