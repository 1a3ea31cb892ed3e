// The arithmetic of laying a background under a main sound, one block at a
// time: the background's gain follows the main block's loudness, and the sum
// is kept inside the 16-bit range.
#pragma once

#include <cstdint>
#include <span>

namespace nb::external::audio {

// The background's gain for a main block of block_bytes bytes (its whole
// samples are main_samples): three times the block's mean absolute level as
// a fraction of full scale, kept between 0.2 (under silence) and 1 (from a
// third of full scale up).
double BackgroundGain(std::span<const std::int16_t> main_samples, std::uint32_t block_bytes);

// out = gain x background + 0.85 x main for each position, truncated toward
// zero and clamped to -32767..32767, so that the result never holds -32768.
void MixSamples(std::span<const std::int16_t> main_samples,
                std::span<const std::int16_t> background_samples, double background_gain,
                std::span<std::int16_t> out);

}  // namespace nb::external::audio
