// Arithmetic on the samples of a canonical wave file. A sample is one signed
// 16-bit value of one channel; every count here counts those, so a frame is
// two samples and a millisecond is 88.2 of them.
#pragma once

#include <cstdint>
#include <span>

#include "platform/automation/wintypes.h"

namespace nb::external::audio {

constexpr double kSamplesPerMillisecond = 88.2;
constexpr std::int16_t kSampleMax = 32767;
constexpr std::int16_t kSampleMin = -32768;

// round(ms x 44.1 x 2), rounding by adding a half and truncating.
std::uint64_t MillisecondsToSamples(DWORD milliseconds);
// The same without the half: the player counts this way.
std::uint64_t MillisecondsToSamplesTruncated(DWORD milliseconds);
// samples / 88.2, truncated.
DWORD SamplesToMilliseconds(DWORD samples);
// Where sample index lies in the file: after the header, two bytes each.
std::uint64_t SampleBytePosition(std::uint64_t sample_index);

// sample x gain in double precision, truncated toward zero. Products beyond
// the 16-bit range (gains above 1) saturate at -32768 and 32767 instead of
// wrapping round into the opposite sign, which would be a loud click.
std::int16_t ApplyGain(std::int16_t sample, double gain);
void ApplyGain(std::span<std::int16_t> samples, double gain);

// The sum of the absolute values of a block's samples.
std::uint64_t AbsoluteSum(std::span<const std::int16_t> samples);
// The level of a block: the mean absolute value, by integer division; 0 for
// an empty block.
DWORD BlockLevel(std::span<const std::int16_t> samples);

// The largest absolute sample value of a block (32768 for -32768).
DWORD PeakMagnitude(std::span<const std::int16_t> samples);

}  // namespace nb::external::audio
