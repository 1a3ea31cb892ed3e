#pragma once
// One channel's coded frame (an individual_channel_stream): window choice, band layout,
// scalefactors, codebooks and quantised spectrum, ready to be counted or written.
#include <array>
#include <cstdint>
#include <span>

#include "heaac/tables_swb.h"

namespace heaac {

enum class WindowSequence : std::uint8_t {
    kOnlyLong = 0,
    kLongStart = 1,
    kEightShort = 2,
    kLongStop = 3
};
enum class WindowShape : std::uint8_t { kSine = 0, kKaiserBessel = 1 };

inline constexpr int kMaxBands = 51;
inline constexpr int kMaxGroups = 8;
inline constexpr int kSfOffset = 100;  // decoder gain is 2^((sf - 100) / 4)
// Perceptual noise substitution: a band of this codebook carries no lines, only its energy;
// the decoder fills it with noise of that energy, sum x^2 = 2^(energy / 2). Its energy sits
// in `scalefactor` and is coded in its own difference chain, starting at global_gain - 90.
inline constexpr int kNoiseCodebook = 13;
inline constexpr int kNoiseEnergyOffset = 90;
// Per-band noise choices handed to the quantiser.
inline constexpr std::uint8_t kNoiseBand = 1;
inline constexpr std::uint8_t kNoiseWhereSilent = 2;

struct ChannelFrame {
    WindowSequence sequence = WindowSequence::kOnlyLong;
    WindowShape shape = WindowShape::kSine;
    int max_sfb = 0;
    int group_count = 1;
    std::array<int, kMaxGroups> group_length{1};
    // Band edges of one window (long or short layout) and the band count of that layout.
    std::span<const std::uint16_t> band_offsets;
    int band_count = 0;
    // Per group and band, index group * kMaxBands + band.
    std::array<int, kMaxGroups * kMaxBands> scalefactor{};
    std::array<int, kMaxGroups * kMaxBands> codebook{};
    // 1 where the band is sent as noise (its codebook is then kNoiseCodebook).
    std::array<std::uint8_t, kMaxGroups * kMaxBands> noise{};
    // Quantised values in coding order: group by group, band by band, and inside a band
    // window by window (the interleaving of ISO/IEC 14496-3 for grouped short windows).
    std::array<int, kLongWindowLines> quantized{};

    [[nodiscard]] bool is_short() const { return sequence == WindowSequence::kEightShort; }
    // Start of band `band` of group `group` in `quantized`, and its length.
    [[nodiscard]] int band_start(int group, int band) const;
    [[nodiscard]] int band_length(int group, int band) const;
    [[nodiscard]] std::span<const int> band_values(int group, int band) const;
};

}  // namespace heaac
