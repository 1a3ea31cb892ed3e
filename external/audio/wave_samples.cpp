#include "external/audio/wave_samples.h"

#include <algorithm>
#include <cstdlib>

#include "external/audio/wave_file.h"

namespace nb::external::audio {
namespace {

constexpr double kTwoChannelsRate_kHz = 44.1;

std::int16_t Saturate(double value) {
    if (value >= kSampleMax) return kSampleMax;
    if (value <= kSampleMin) return kSampleMin;
    return static_cast<std::int16_t>(value);  // truncates toward zero
}

}  // namespace

std::uint64_t MillisecondsToSamples(DWORD milliseconds) {
    return static_cast<std::uint64_t>(milliseconds * kTwoChannelsRate_kHz * 2 + 0.5);
}

std::uint64_t MillisecondsToSamplesTruncated(DWORD milliseconds) {
    return static_cast<std::uint64_t>(milliseconds * kTwoChannelsRate_kHz * 2);
}

DWORD SamplesToMilliseconds(DWORD samples) {
    return static_cast<DWORD>(samples / kSamplesPerMillisecond);
}

std::uint64_t SampleBytePosition(std::uint64_t sample_index) {
    return kWaveHeaderBytes + 2 * sample_index;
}

std::int16_t ApplyGain(std::int16_t sample, double gain) { return Saturate(sample * gain); }

void ApplyGain(std::span<std::int16_t> samples, double gain) {
    for (std::int16_t& sample : samples) sample = Saturate(sample * gain);
}

std::uint64_t AbsoluteSum(std::span<const std::int16_t> samples) {
    std::uint64_t sum = 0;
    for (const std::int16_t sample : samples) sum += static_cast<std::uint64_t>(std::abs(sample));
    return sum;
}

DWORD BlockLevel(std::span<const std::int16_t> samples) {
    if (samples.empty()) return 0;
    return static_cast<DWORD>(AbsoluteSum(samples) / samples.size());
}

DWORD PeakMagnitude(std::span<const std::int16_t> samples) {
    DWORD peak = 0;
    for (const std::int16_t sample : samples)
        peak = std::max(peak, static_cast<DWORD>(std::abs(sample)));
    return peak;
}

}  // namespace nb::external::audio
