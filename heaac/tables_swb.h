#pragma once
// Scalefactor band layout and sampling frequency indices of AAC.
#include <cstdint>
#include <optional>
#include <span>

namespace heaac {

inline constexpr int kLongWindowLines = 1024;
inline constexpr int kShortWindowLines = 128;
inline constexpr int kShortWindowsPerFrame = 8;

struct BandLayout {
    // Offsets of the band edges in spectral lines, one more than the band count.
    std::span<const std::uint16_t> long_offsets;
    std::span<const std::uint16_t> short_offsets;
    int sampling_frequency_index;
};

// The band layout for a sampling rate, or nothing for a rate this encoder does not support.
std::optional<BandLayout> band_layout_for_rate(int rate_hz);

}  // namespace heaac
