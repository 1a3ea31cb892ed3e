#include "external/audio/mix_block.h"

#include <algorithm>

#include "external/audio/wave_samples.h"

namespace nb::external::audio {
namespace {

constexpr double kLevelToGain = 3.0;
constexpr double kQuietestGain = 0.2;
constexpr double kLoudestGain = 1.0;
constexpr double kMainGain = 0.85;
constexpr double kMixLimit = 32767.0;

}  // namespace

double BackgroundGain(std::span<const std::int16_t> main_samples, std::uint32_t block_bytes) {
    // Full scale over the block's samples: a 32-bit product, halved as the
    // byte count is twice the sample count.
    const std::uint32_t full_scale_sum = (block_bytes * std::uint32_t{32767}) >> 1;
    if (full_scale_sum == 0) return kQuietestGain;
    const double gain = kLevelToGain * static_cast<double>(AbsoluteSum(main_samples)) /
                        static_cast<double>(full_scale_sum);
    return std::clamp(gain, kQuietestGain, kLoudestGain);
}

void MixSamples(std::span<const std::int16_t> main_samples,
                std::span<const std::int16_t> background_samples, double background_gain,
                std::span<std::int16_t> out) {
    for (std::size_t i = 0; i < main_samples.size(); ++i) {
        const double mixed = background_gain * background_samples[i] + kMainGain * main_samples[i];
        // Truncation first, then the clamp: both bounds are whole numbers.
        const double truncated = static_cast<double>(static_cast<std::int32_t>(mixed));
        out[i] = static_cast<std::int16_t>(std::clamp(truncated, -kMixLimit, kMixLimit));
    }
}

}  // namespace nb::external::audio
