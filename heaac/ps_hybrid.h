#pragma once
// Finer frequency resolution for the lowest stereo bands: the three lowest subbands are split
// along time with short complex band-pass filters (our own Hann-windowed design), four ways
// for subband 0 and two ways for subbands 1 and 2, giving stereo bands 0 to 7.
#include <array>
#include <span>

#include "heaac/sbr_qmf.h"

namespace heaac {

inline constexpr int kLowStereoBands = 8;
inline constexpr int kHybridTaps = 13;
inline constexpr int kHybridMarginSlots = (kHybridTaps - 1) / 2;

struct LowBandStatistics {
    std::array<double, kLowStereoBands> left{};
    std::array<double, kLowStereoBands> right{};
    std::array<double, kLowStereoBands> cross{};  // real part of sum left * conj(right)
};

// `left` and `right` hold a frame's slots with kHybridMarginSlots more on either side; the
// statistics cover the frame's slots.
[[nodiscard]] LowBandStatistics analyse_low_stereo_bands(std::span<const QmfSlot> left,
                                                         std::span<const QmfSlot> right);

}  // namespace heaac
